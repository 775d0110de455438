#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "base/exceptions.h"
#include "container/metadataloader.h"
#include "container/metadatawriter.h"
#include "container/recstream.h"
#include "properties/compositebuffer.h"
#include "support/fakeowner.h"
#include "support/memfilesystem.h"
#include "support/metadatabuilder.h"

namespace recfilereader {
namespace {

using rectest::MetadataBuilder;
using rectest::MetadataItemSpec;
using rectest::MetadataRecord;
using rectest::MetadataReference;
using rectest::PlainPayload;
using rectest::RecBuilder;

constexpr std::uint32_t kBlob = 0x710CCCCC, kText = 0x71030000, kAudio = 0x710A0000,
                        kPicture = 0x710D0000, kOffsets = 0x710FFFFF;

class MetadataTest : public ::testing::Test {
 protected:
  CRecStream& Open(const std::vector<std::uint8_t>& bytes, bool create = false) {
    if (!create) files.Add(L"r", bytes);
    owner.SetCache(524288, 0);
    CachingFileReaderPlatform platform;
    platform.files = &files;
    platform.start_worker = false;
    stream = std::make_unique<CRecStream>(&owner, platform);
    create ? stream->CreateFileW(L"r") : stream->OpenFile(L"r");
    return *stream;
  }

  rectest::FakeOwner owner;
  rectest::MemFileSystem files;
  std::unique_ptr<CRecStream> stream;
};

std::vector<std::uint8_t> BytesOf(const CGenericData& data) {
  if (data.GetType() != gdt_blob) {
    const auto* p = static_cast<const std::uint8_t*>(data.GetData());
    return {p, p + data.GetSize()};
  }
  std::vector<std::uint8_t> bytes(data.GetSize());
  EXPECT_TRUE(bytes.empty() || static_cast<const CGenericBlobData&>(data).buffer()->Read(0, bytes.data(), bytes.size()));
  return bytes;
}

// type -> [(id, [(kind, bytes)])], the list in a comparable form.
using Flat = std::map<std::uint32_t, std::vector<std::pair<std::uint64_t, std::vector<std::pair<int, std::vector<std::uint8_t>>>>>>;
Flat Flatten(const MetadataList& list) {
  Flat flat;
  for (const auto& [type, elements] : list) {
    for (const MetadataElement& element : elements) {
      auto& objects = flat[type].emplace_back(element.id, std::vector<std::pair<int, std::vector<std::uint8_t>>>{}).second;
      for (const auto& data : element.data) objects.emplace_back(data->GetType(), BytesOf(*data));
    }
  }
  return flat;
}

TEST_F(MetadataTest, BuilderSectionReadsByTypeAndIdentifierInFileOrder) {
  RecBuilder rec;
  rec.Add({.type = 0xCBBF, .payload = PlainPayload(48, 1)});
  MetadataBuilder md(rec);
  const auto big = PlainPayload(1'100'000, 2);  // a blob across two composite pages
  const auto items = md.AddItems({{.data = big},
                                  {.type_code = 0x9D0C0000, .id = 7, .data = {1}},
                                  {.kind = kText, .data = {'h', 'i', 0, 'x'}},
                                  {.type_code = 0x9D0C0000, .id = 7, .data = {2}},
                                  {.kind = kAudio, .data = PlainPayload(20, 3)},
                                  {.type_code = 0x9D0F000C, .id = 5, .kind = 0x71000001, .data = {9}}});
  const std::uint64_t table = md.AddTable(
      {{0x9D000000, md.AddReferenceBlock(MetadataReference(0x9D000000, {items[0], items[2], items[4]}))},
       {0x9D0C0000, md.AddReferenceBlock(MetadataReference(0x9D0C0000, {items[1], items[3]}))},
       {0x9D0F000C, md.AddReferenceBlock(MetadataReference(0x9D0F000C, {items[5]}))}});
  CRecStream& s = Open(rec.bytes());
  s.SetPosition(5);
  MetadataList list;
  CMetadataLoader().Load(s, table, list);
  EXPECT_EQ(s.GetPosition(), 5u);
  const Flat expected = {
      {0, {{0, {{gdt_blob, big}, {gdt_text, {'h', 'i'}}, {gdt_audio, PlainPayload(20, 3)}}}}},
      {2, {{5, {}}}},
      {3, {{7, {{gdt_blob, {1}}, {gdt_blob, {2}}}}}}};
  EXPECT_EQ(Flatten(list), expected);
}

struct DamageCase {
  const char* name;
  // Lays down a section on `md` (after a file header) and returns the table's offset.
  std::function<std::uint64_t(MetadataBuilder& md)> build;
  const wchar_t* error;  // the text the failure starts with; null when the load succeeds
  bool content_failure;  // exception_rec family (code 20), else another wexception (code 10)
  std::size_t objects;   // data objects read when the load succeeds
};

std::uint64_t OneItemTable(MetadataBuilder& md, const MetadataItemSpec& item, std::vector<std::uint8_t> tail = {}) {
  const auto offsets = md.AddItems({item});
  auto reference = MetadataReference(0x9D000000, offsets);
  reference.insert(reference.end(), tail.begin(), tail.end());
  return md.AddTable({{0x9D000000, md.AddReferenceBlock(reference)}});
}

TEST_F(MetadataTest, DamagedSectionsFailAsTheFormatSaysOrKeepWhatWasRead) {
  const MetadataItemSpec good{.data = {1, 2}};
  const DamageCase cases[] = {
      {"empty table", [](MetadataBuilder& md) { return md.AddTable({}); }, nullptr, false, 0},
      {"table of another type", [](MetadataBuilder& md) { return md.AddTable({}, 0xCB9E); },
       L"Invalid data at metadata table offset (File: metadataloader, Function: CMetadataLoader::Load", true, 0},
      {"reference of another type",
       [&](MetadataBuilder& md) { return md.AddTable({{0x9D000000, md.AddReferenceBlock({}, 0xCB0F)}}); },
       L"Invalid data at metadata offset (", true, 0},
      {"record longer than its block", [&](MetadataBuilder& md) {
         return OneItemTable(md, good, MetadataRecord({.kind = kOffsets, .data = {1}, .length = 1000}));
       }, nullptr, false, 1},
      {"unmarked tail", [&](MetadataBuilder& md) { return OneItemTable(md, good, PlainPayload(30, 4)); },
       nullptr, false, 1},
      {"record of another kind",
       [&](MetadataBuilder& md) { return OneItemTable(md, good, MetadataRecord({.kind = kBlob})); },
       L"Should never happen (", true, 0},
      {"item without mark", [](MetadataBuilder& md) { return OneItemTable(md, {.mark = 0x91919190}); },
       L"Data error", false, 0},
      {"item data past the end", [](MetadataBuilder& md) { return OneItemTable(md, {.length = 0xFFFFFFF0}); },
       L"Read request beyond the end of the file", true, 0},
      {"offset list as item", [](MetadataBuilder& md) { return OneItemTable(md, {.kind = kOffsets}); },
       L"File offset is not expected here (", true, 0},
      {"unknown type", [](MetadataBuilder& md) { return OneItemTable(md, {.type_code = 0x9D000001}); },
       L"Unknown metadata type (", true, 0},
      {"item beyond the file",
       [](MetadataBuilder& md) {
         return md.AddTable({{0x9D000000, md.AddReferenceBlock(MetadataReference(0x9D000000, {1ull << 40}))}});
       },
       L"Read request beyond the end of the file", true, 0},
      {"references repeated past the file's size",  // each pass would copy the items again
       [&](MetadataBuilder& md) {
         const auto offsets = md.AddItems({{.data = PlainPayload(4000, 5)}});
         const std::uint64_t reference = md.AddReferenceBlock(MetadataReference(0x9D000000, offsets));
         return md.AddTable(std::vector<std::pair<std::uint32_t, std::uint64_t>>(50, {0x9D000000, reference}));
       },
       L"Recording corrupted", true, 0},
  };
  for (const DamageCase& c : cases) {
    SCOPED_TRACE(c.name);
    RecBuilder rec;
    rec.Add({.type = 0xCBBF, .payload = PlainPayload(48, 1)});
    MetadataBuilder md(rec);
    const std::uint64_t table = c.build(md);
    CRecStream& s = Open(rec.bytes());
    MetadataList list = {{4, {{.type = 4, .id = 1, .data = {}}}}};  // what a failed load leaves alone
    try {
      CMetadataLoader().Load(s, table, list);
      ASSERT_EQ(c.error, nullptr);
      std::size_t objects = 0;
      for (const auto& [type, elements] : list) {
        for (const auto& element : elements) objects += element.data.size();
      }
      EXPECT_EQ(objects, c.objects);
    } catch (const wexception& e) {
      ASSERT_NE(c.error, nullptr) << e.what();
      EXPECT_EQ(e.wtext().rfind(c.error, 0), 0u) << e.what();
      EXPECT_EQ(dynamic_cast<const exception_rec*>(&e) != nullptr, c.content_failure);
      EXPECT_EQ(list.count(4), 1u);
    }
  }
}

std::shared_ptr<CGenericData> Make(std::shared_ptr<CGenericData> data, const std::vector<std::uint8_t>& bytes) {
  EXPECT_TRUE(data->SetData(bytes.data(), bytes.size()));
  return data;
}

TEST_F(MetadataTest, WriterLaysDownWhatTheBuilderDoesAndReadsBackEqual) {
  const auto big = PlainPayload(1'100'000, 6);
  const auto audio = PlainPayload(30, 7), picture = PlainPayload(9, 8);
  MetadataList list;
  list[0].push_back({.type = 0, .id = 0, .data = {Make(std::make_shared<CGenericBlobData>(), big),
                                                  Make(std::make_shared<CGenericTextData>(), {'a', 'b'})}});
  list[2].push_back({.type = 2, .id = 0, .data = {Make(std::make_shared<CGenericPictureData>(), picture)}});
  list[2].push_back({.type = 2, .id = 3, .data = {}});  // nothing to write, nothing read back
  list[3].push_back({.type = 3, .id = 9, .data = {Make(std::make_shared<CGenericAudioData>(), audio)}});

  RecBuilder rec;
  rec.Add({.type = 0xCBBF, .payload = PlainPayload(48, 1)});
  MetadataBuilder md(rec);
  const auto props = md.AddItems({{.data = big}, {.kind = kText, .data = {'a', 'b', 0}}});
  const auto preview = md.AddItems({{.type_code = 0x9D0F000C, .kind = kPicture, .data = picture}});
  const auto markers = md.AddItems({{.type_code = 0x9D0C0000, .id = 9, .kind = kAudio, .data = audio}});
  const std::uint64_t expected_table = md.AddTable(
      {{0x9D000000, md.AddReferenceBlock(MetadataReference(0x9D000000, props))},
       {0x9D0F000C, md.AddReferenceBlock(MetadataReference(0x9D0F000C, preview))},
       {0x9D0C0000, md.AddReferenceBlock(MetadataReference(0x9D0C0000, markers))}});

  CRecStream& s = Open({}, true);
  RecBlockChainWriter chain;
  RecBlock header;
  header.header.Type = kBlockFileHeader;
  ASSERT_TRUE(header.payload.Resize(48));
  std::copy_n(PlainPayload(48, 1).begin(), 48, header.payload.data());
  chain.Write(s, header);
  EXPECT_EQ(CMetadataWriter::Write(s, chain, list), expected_table);
  EXPECT_EQ(files.Bytes(L"r"), rec.bytes());

  MetadataList back;
  CMetadataLoader().Load(s, expected_table, back);
  list[2].pop_back();
  EXPECT_EQ(Flatten(back), Flatten(list));
}

}  // namespace
}  // namespace recfilereader
