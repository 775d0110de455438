// The writer's and saver's files are decoded here byte by byte, or through the container's own
// readers (tested on builder-made input), never through the version loaders.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "base/exceptions.h"
#include "container/markersloader.h"
#include "container/metadataextractor.h"
#include "container/metadataloader.h"
#include "container/recfilelayout.h"
#include "platform/storage/cfbformat.h"
#include "support/fakeowner.h"
#include "support/memfilesystem.h"
#include "support/peerprograms.h"
#include "support/propvarianttext.h"
#include "support/recbuilder.h"
#include "support/tempdir.h"
#include "writing/recordingwriter.h"

namespace {

using namespace recfilereader;
using namespace rectest;
using Bytes = std::vector<std::uint8_t>;

struct Block {
  std::uint64_t offset;
  RecBlockHeader header;
  Bytes payload;
  std::uint64_t Next() const { return offset + header.TotalSize(); }
};

// Every block of `file`, checking on the way that the blocks chain as a writer lays them down:
// each back link names the block before, each system block links to the next one.
std::vector<Block> Blocks(const Bytes& file) {
  std::vector<Block> blocks;
  for (std::uint64_t at = 0; at < file.size();) {
    const RecBlockHeader h = RecBlockHeader::DecodeFrom(file.data() + at);
    EXPECT_EQ(h.PrevSize, blocks.empty() ? 0 : blocks.back().header.TotalSize()) << at;
    blocks.push_back({at, h, Bytes(file.begin() + at + 32, file.begin() + at + h.TotalSize())});
    at += h.TotalSize();
  }
  std::uint64_t next_system = kRecEndMark;
  for (auto b = blocks.rbegin(); b != blocks.rend(); ++b) {
    if (b->header.Type == kBlockData) continue;
    EXPECT_EQ(b->header.Link, next_system) << b->offset;
    next_system = b->offset;
  }
  return blocks;
}

std::vector<std::uint16_t> Types(const std::vector<Block>& blocks, std::size_t from = 0) {
  std::vector<std::uint16_t> types;
  for (auto b = blocks.begin() + from; b != blocks.end(); ++b) types.push_back(b->header.Type);
  return types;
}

GUID FormatOf(const Block& block) { return cfb::DecodeGuid(block.payload.data()); }

PropertyMap Device(const wchar_t* name, ULONG handle) {
  return {{L"Name", Lpwstr(name)}, {L"Handle", UI4(handle)}, {L"Class", Lpstr("Camera")}};
}

std::map<std::wstring, std::string> Described(const PropertyMap& map) {
  std::map<std::wstring, std::string> out;
  for (const auto& [name, value] : map) out[name] = Describe(value.get());
  return out;
}

class WriterTest : public ::testing::Test {
 protected:
  WriterTest() { owner.settings.SetUI4(L"CacheMemoryLimit", 0); }
  CachingFileReaderPlatform Platform() {
    CachingFileReaderPlatform platform;
    platform.files = &files;
    platform.start_worker = false;
    return platform;
  }
  std::unique_ptr<CRecStream> OpenStream() {
    auto stream = std::make_unique<CRecStream>(&owner, Platform());
    stream->OpenFile(L"r.rec");
    return stream;
  }
  // A finished recording with sources, markers and properties through the saver.
  void WriteTables(CRecordingSaver& saver, const MarkerSet& markers) {
    CPropManager recording, system;
    recording.Put(L"Description", Lpwstr(L"test drive").get());
    system.Put(L"Station", UI4(7).get());
    saver.SetSources({Device(L"front", 1), Device(L"rear", 2)});
    saver.SetMarkers(markers);
    saver.SetRecordingProperties(recording);
    saver.SetSystemProperties(system);
  }

  FakeOwner owner;
  MemFileSystem files;
};

TEST_F(WriterTest, EmptyRecordingHasItsSectionsInOrderSignedByTheMode) {
  for (const DWORD mode : {0u, 1u, 2u}) {
    SCOPED_TRACE(mode);
    const std::wstring path = L"r" + std::to_wstring(mode) + L".rec";
    CRecordingWriter writer(&owner, Platform());
    writer.Open(path.c_str(), mode);
    EXPECT_TRUE(writer.Close());
    EXPECT_FALSE(writer.Close());  // harmless once closed
    const auto blocks = Blocks(files.Bytes(path));
    ASSERT_EQ(Types(blocks), (std::vector<std::uint16_t>{kBlockFileHeader, kBlockSectionIndex21, kBlockConfiguration,
                                                          kBlockNavigation, kBlockMetadataTable, kBlockEnd}));
    const GUID format = mode == 2 ? kRecFormatSecond : kRecFormatFirst;
    EXPECT_EQ(FormatOf(blocks[0]), format);
    EXPECT_EQ(FormatOf(blocks[5]), format);
    EXPECT_EQ(blocks[5].payload.size(), kEndBlockPayloadSize);
    std::vector<std::uint64_t> slots(16, kRecEndMark);
    slots[0] = blocks[2].offset, slots[1] = blocks[3].offset, slots[2] = slots[3] = blocks[4].offset;
    EXPECT_EQ(DecodeSectionIndex(blocks[1].payload), slots);
    EXPECT_EQ(blocks[3].header.DataLength + blocks[4].header.DataLength, 0u);
    DeviceList devices;  // an empty document
    CFileConfigParser().ParseConfigInfo(blocks[2].payload, devices, nullptr);
    EXPECT_TRUE(devices.empty());
  }
}

TEST_F(WriterTest, PackagesAreStoredWholeAndIndexedByTheWritersRule) {
  struct Package { std::uint64_t timestamp; ULONG flags; ULONG data_size; ULONG extra_size; };
  // 51,000 is exactly 50,000 past the indexed 1,000: not indexed; a step back always is; the
  // last package closes the table.
  const std::vector<Package> packages = {
      {1000, 0, 10, 0}, {51000, 0x10, 5, 3}, {51001, 0x20, 0, 0}, {500, 0, 1, 4}, {60000, 0x03, 7, 0}};
  const Bytes bytes = PlainPayload(64, 9);
  CRecordingWriter writer(&owner, Platform());
  writer.Open(L"r.rec", 2);
  for (const Package& p : packages) {
    writer.AppendDataPackage({.SourceHandle = 3, .Reserved = 0, .Timestamp = p.timestamp, .DataSize = p.data_size,
                              .Data = const_cast<std::uint8_t*>(bytes.data()), .Info1 = 11, .Info2 = 12,
                              .ExtraSize = p.extra_size, .ExtraData = const_cast<std::uint8_t*>(bytes.data() + 40),
                              .Descriptor = {0, 0, 0, p.flags, 0, 0, 0, 0}});
  }
  ASSERT_TRUE(writer.Close());
  const auto blocks = Blocks(files.Bytes(L"r.rec"));
  for (std::size_t i = 0; i < packages.size(); ++i) {
    SCOPED_TRACE(i);
    const Package& p = packages[i];
    const std::uint32_t stored = p.data_size + ((p.flags & 0x30) ? 8 : 0);
    Bytes payload;  // the record as a 32-bit host lays it out, pointers zero, then its buffers
    for (const auto& [value, size] : std::vector<std::pair<std::uint64_t, std::size_t>>{
             {3, 4}, {0, 4}, {p.timestamp, 8}, {stored, 4}, {0, 4}, {11, 4}, {12, 4}, {p.extra_size, 4},
             {0, 4}, {0, 8}, {0, 4}, {p.flags, 4}, {0, 8}, {0, 8}}) {
      AppendLe(payload, value, size);
    }
    payload.insert(payload.end(), bytes.begin(), bytes.begin() + stored);
    payload.insert(payload.end(), bytes.begin() + 40, bytes.begin() + 40 + p.extra_size);
    const RecBlockHeader& h = blocks[3 + i].header;  // after the head's configuration block
    EXPECT_EQ(std::tuple(h.Type, h.Sequence, h.Link, h.Tag), std::tuple(kBlockData, i, p.timestamp, kTagExtendedPackage));
    EXPECT_EQ(blocks[3 + i].payload, payload);
  }
  NavigationMap expected, navigation;
  for (std::size_t i : {0, 2, 3, 4}) expected.Add(packages[i].timestamp, blocks[3 + i].offset);
  expected.Normalize();
  ReadNavigationData(*OpenStream(), DecodeSectionIndex(blocks[1].payload)[kSlotNavigation], navigation);
  EXPECT_EQ(navigation, expected);
}

TEST_F(WriterTest, SourcesMarkersAndPropertiesReadBackThroughTheContainerReadersAndOlefile) {
  CRecordingSaver saver(&owner, Platform());
  saver.CreateNewRecording(L"r.rec", 0);
  MarkerSet described = {{100, {}}, {200, {}}};
  described[100][L"Description"] = Lpwstr(L"first");
  WriteTables(saver, described);
  ASSERT_TRUE(saver.FinishRecording());
  const auto blocks = Blocks(files.Bytes(L"r.rec"));
  const std::vector<std::uint64_t> slots = DecodeSectionIndex(blocks[1].payload);
  DeviceList devices;
  CFileConfigParser().ParseConfigInfo(blocks[2].payload, devices, nullptr);
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(Described(devices[0]), Described(Device(L"rear", 2)));  // shorter names first
  EXPECT_EQ(Described(devices[1]), Described(Device(L"front", 1)));

  auto stream = OpenStream();
  MarkerSet markers_back;
  CMarkersLoader(&owner, *stream, markers_back).LoadMarkersData(slots[kSlotMarkers]);
  EXPECT_EQ(markers_back.size(), 2u);
  MetadataList list;
  CMetadataLoader().Load(*stream, slots[kSlotMetadata], list);
  CMetadataExtractor extractor(&owner);
  CPropManager recording, system;
  extractor.ExtractRecProperties(list, recording, 0x3FF);
  extractor.ExtractSysProperties(list, system);
  extractor.ExtractMarkerProperties(list, markers_back);
  EXPECT_EQ(Describe(*recording.Find(L"Description")), Describe(Lpwstr(L"test drive").get()));
  EXPECT_EQ(Describe(*system.Find(L"Station")), Describe(UI4(7).get()));
  EXPECT_EQ(Described(markers_back[100]), Described(described[100]));

  const std::string python = PythonWithOlefile();  // the configuration document, strictly read
  if (python.empty()) GTEST_SKIP() << "python3-olefile is not installed";
  TempDir dir;
  WriteFileBytes(dir / "config", blocks[2].payload);
  EXPECT_EQ(RunCapture(python + " -c \"import olefile,sys; o=olefile.OleFileIO(sys.argv[1], "
                       "raise_defects=olefile.DEFECT_INCORRECT); print(sorted(p[0] for p in o.listdir(storages=True)))\" " +
                       (dir / "config").string()),
            "['front', 'front', 'rear', 'rear']\n");  // each storage and its property set
}

Bytes Built(const std::vector<BlockSpec>& blocks) {
  RecBuilder rec;
  for (const BlockSpec& block : blocks) rec.Add(block);
  return rec.bytes();
}

// A 2.0 recording as another writer left it: a filler before the index, two data blocks and an
// old tail that attaching at the end of the data replaces.
Bytes Version20File(std::uint16_t index_type = kBlockSectionIndex20, std::size_t index_size = 32,
                    const GUID& format = kRecFormatFirst) {
  return Built({{.type = kBlockFileHeader, .payload = RecFileHeader::Encode(format)},
                {.type = kBlockFiller},
                {.type = index_type, .payload = Bytes(index_size, 0xE0)},
                {.type = kBlockData, .sequence = 0, .link = 10, .tag = 1, .payload = PlainPayload(40, 1)},
                {.type = kBlockData, .sequence = 1, .link = 20, .tag = 1, .payload = PlainPayload(50, 2)},
                {.type = kBlockConfiguration, .payload = PlainPayload(300, 3)},
                {.type = kBlockEnd, .payload = Bytes(40, 0)}});
}

TEST_F(WriterTest, AttachingRefusesWhatItCannotSaveAndLeavesTheFileAlone) {
  const struct { const char* name; Bytes file; const char* text; } cases[] = {
      {"1.0", Built({{.type = kBlockFileHeader, .payload = RecFileHeader::Encode(kRecFormatThird)},
                     {.type = kBlockConfiguration, .payload = PlainPayload(20, 1)}}),
       "Saving data to rec file version 1.0 is not supported"},
      {"no header", Built({{.type = kBlockFiller, .payload = Bytes(48, 0)}}), "Not a valid recording"},
      {"signature", Version20File(kBlockSectionIndex20, 32, kSampleGuid), "Invalid recording signature"},
      {"2.0 index of 128 bytes", Version20File(kBlockSectionIndex20, 128), "Recording corrupted"},
      {"unknown version block", Version20File(kBlockNavigation), "Recording corrupted"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    files.Add(L"r.rec", c.file);
    auto stream = OpenStream();
    stream->SetPosition(stream->GetFileSize());
    CRecordingSaver saver(&owner, Platform());
    try {
      saver.AttachToRecording(*stream, 0);
      ADD_FAILURE() << "attached";
    } catch (const wexception& e) {
      EXPECT_STREQ(e.what(), c.text);
    }
    EXPECT_EQ(saver.state(), CRecordingSaver::kIdle);
    EXPECT_EQ(stream->GetPosition(), c.file.size());
    EXPECT_EQ(files.Bytes(L"r.rec"), c.file);
  }
}

TEST_F(WriterTest, WrongStatesRaiseEFailAndRefusedOrFailedPackagesLeaveNoTrace) {
  const auto e_fail = testing::Throws<com_error>(testing::Property(&com_error::Error, E_FAIL));
  CRecordingWriter writer(&owner, Platform());
  DataPackageRecord record{};
  EXPECT_THAT([&] { writer.AppendDataPackage(record); }, e_fail);
  writer.Open(L"r.rec", 0);
  EXPECT_THAT([&] { writer.Open(L"s.rec", 0); }, e_fail);
  const std::size_t head = files.Bytes(L"r.rec").size();
  record.DataSize = kMaxDataLength - 72 - 7;  // 8 trailing bytes make it one too many
  record.Descriptor.PackageFlags = 0x10;
  record.Data = &record;  // never read
  EXPECT_THROW(writer.AppendDataPackage(record), exception_rt);
  EXPECT_EQ(files.Bytes(L"r.rec").size(), head);
  record = {};
  files.FailWrite(2, {EIO, 0});  // the payload: the next package takes the block's place
  EXPECT_THROW(writer.AppendDataPackage(record), exception_rt);
  writer.AppendDataPackage(record);
  EXPECT_TRUE(writer.Close());
  const auto blocks = Blocks(files.Bytes(L"r.rec"));
  EXPECT_EQ(std::tuple(blocks[2].header.Type, blocks[3].header.Type, blocks[3].header.Sequence, blocks[4].header.Type),
            std::tuple(kBlockConfiguration, kBlockData, 0ull, kBlockConfiguration));
  CRecordingSaver saver(&owner, Platform());
  saver.CreateNewRecording(L"s.rec", 0);
  EXPECT_THAT([&] { saver.CreateNewRecording(L"t.rec", 0); }, e_fail);
  EXPECT_TRUE(saver.FinishRecording());
  EXPECT_THAT([&] { saver.FinishRecording(); }, e_fail);
  CachingFileReaderPlatform no_memory = Platform();
  no_memory.memory_status = [] { return std::optional<std::uint64_t>(100); };
  CRecordingSaver starved(&owner, no_memory);  // cannot back up what it would overwrite
  starved.CreateNewRecording(L"u.rec", 0);
  const Bytes head_only = files.Bytes(L"u.rec");
  EXPECT_THROW(starved.FinishRecording(), exception_rt);
  EXPECT_EQ(starved.state(), CRecordingSaver::kCreated);
  EXPECT_EQ(files.Bytes(L"u.rec"), head_only);
}

// Saving into a 2.0 file and into one our writer made, at the end of their data, while every
// write of the save fails in turn, by an error or by stopping short: each time the failure
// reaches the host with severity 4 and the file is byte for byte what it was. Then the save
// that no fault reaches: the data untouched, the new tail, the index filled in place. A repair
// attaches at the first block it cannot read, torn by the end of the file: the block before
// it is found by scanning.
TEST_F(WriterTest, SavingRestoresTheFileOnAnyFailedWriteAndElseRewritesTheTail) {
  {
    CRecordingWriter writer(&owner, Platform());
    writer.Open(L"new.rec", 0);
    DataPackageRecord record{};
    for (record.Timestamp = 10; record.Timestamp < 40; record.Timestamp += 10) writer.AppendDataPackage(record);
  }  // the destructor finishes the file
  // The index block, the block that ends the data and the tail a save writes there.
  const struct {
    const char* name;
    Bytes whole;
    std::size_t index, end;
    std::vector<std::uint16_t> tail;
    std::size_t torn = 0;  // when not 0: the file ends this far into the block at `end`
  } cases[] = {
      {"2.0", Version20File(), 2, 5, {kBlockConfiguration, kBlockNavigation, kBlockMarker, kBlockEnd}},
      {"2.0_torn", Version20File(), 2, 5, {kBlockConfiguration, kBlockNavigation, kBlockMarker, kBlockEnd}, 7},
      {"2.1", files.Bytes(L"new.rec"), 1, 6, {kBlockConfiguration, kBlockNavigation, kBlockMarker, kBlockMetadata,
                                           kBlockMetadata, kBlockMetadata, kBlockMetadata, kBlockMetadataTable, kBlockEnd}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<Block> before = Blocks(c.whole);
    const Bytes original(c.whole.begin(), c.torn ? c.whole.begin() + before[c.end].offset + c.torn : c.whole.end());
    int covered = 0;
    for (const Fault fault : {Fault{EIO, 0}, Fault{0, 5}}) {
      for (int nth = 1;; ++nth) {
        SCOPED_TRACE(nth);
        files.Add(L"r.rec", original);
        auto stream = OpenStream();
        stream->SetPosition(before[c.end].offset);
        CRecordingSaver saver(&owner, Platform());
        saver.AttachToRecording(*stream, 2);
        saver.SetNavigation({{10, before[c.end - 2].offset}, {20, before[c.end - 1].offset}});
        WriteTables(saver, {{15, {}}});
        files.FailWrite(nth, fault);
        const std::size_t reports = owner.Reports().size();
        if (saver.FinishRecording()) break;
        ++covered;
        EXPECT_EQ(saver.state(), CRecordingSaver::kIdle);
        ASSERT_GT(owner.Reports().size(), reports);
        EXPECT_EQ(std::tuple(owner.Reports()[reports].severity, owner.Reports()[reports].id), std::tuple(4u, 0u));
        stream.reset();
        ASSERT_EQ(files.Bytes(L"r.rec"), original);
      }
    }
    RecordProperty(std::string("write_points_covered_") + c.name, covered);
    EXPECT_GT(covered, 10);
    const Bytes after = files.Bytes(L"r.rec");
    const std::vector<Block> blocks = Blocks(after);  // the index now links to the new tail
    EXPECT_TRUE(std::equal(original.begin() + before[c.index].Next(), original.begin() + before[c.end].offset,
                           after.begin() + before[c.index].Next()));  // the data untouched
    EXPECT_EQ(Types(blocks, c.end), c.tail);
    std::vector<std::uint64_t> slots = {blocks[c.end].offset, blocks[c.end + 1].offset, blocks[c.end + 2].offset};
    if (c.index == 1) slots.push_back(blocks[blocks.size() - 2].offset);
    slots.resize(c.index == 1 ? 16 : 4, kRecEndMark);
    EXPECT_EQ(DecodeSectionIndex(blocks[c.index].payload), slots);
    EXPECT_EQ(FormatOf(blocks.back()), kRecFormatSecond);
  }
}

}  // namespace
