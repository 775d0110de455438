#include <gtest/gtest.h>

#include <memory>

#include "base/exceptions.h"
#include "container/metadataloader.h"
#include "container/metadatawriter.h"
#include "container/recstream.h"
#include "properties/compositebuffer.h"
#include "support/fakeowner.h"
#include "support/memfilesystem.h"
#include "support/sectionbuilder.h"

namespace recfilereader {
namespace {

using namespace rectest;

constexpr std::uint32_t kProps = 0x9D000000, kPreview = 0x9D0F000C, kMarks = 0x9D0C0000;
constexpr std::uint32_t kText = 0x71030000, kAudio = 0x710A0000, kPicture = 0x710D0000, kOffsets = 0x710FFFFF;

class MetadataTest : public ::testing::Test {
 protected:
  MetadataTest() { rec.Add({.type = 0xCBBF, .payload = PlainPayload(48, 1)}); }
  CRecStream& Open(bool create = false) {
    if (!create) files.Add(L"r", rec.bytes());
    owner.SetCache(524288, 0);
    CachingFileReaderPlatform platform;
    platform.files = &files;
    platform.start_worker = false;
    stream = std::make_unique<CRecStream>(&owner, platform);
    create ? stream->CreateFileW(L"r") : stream->OpenFile(L"r");
    return *stream;
  }
  // A table with one reference block per type code listing `items`.
  std::uint64_t Table(const std::vector<std::pair<std::uint32_t, std::vector<std::uint64_t>>>& references) {
    std::vector<std::pair<std::uint32_t, std::uint64_t>> records;
    for (const auto& [code, items] : references) records.emplace_back(code, rec.Add({.type = 0xCB9E, .payload = MetadataReference(code, items)}));
    return AddMetadataTable(rec, records);
  }

  RecBuilder rec;
  FakeOwner owner;
  MemFileSystem files;
  std::unique_ptr<CRecStream> stream;
};

// type -> per element: identifier, then per object its kind and bytes.
using Flat = std::map<std::uint32_t, std::vector<std::pair<std::uint64_t, std::vector<std::pair<int, Bytes>>>>>;
Flat Flatten(const MetadataList& list) {
  Flat flat;
  for (const auto& [type, elements] : list) {
    for (const MetadataElement& element : elements) {
      auto& objects = flat[type].emplace_back(element.id, std::vector<std::pair<int, Bytes>>{}).second;
      for (const auto& data : element.data) {
        Bytes bytes(data->GetSize());
        if (data->GetType() != gdt_blob) {
          std::copy_n(static_cast<const std::uint8_t*>(data->GetData()), bytes.size(), bytes.begin());
        } else if (!bytes.empty()) {
          EXPECT_TRUE(static_cast<const CGenericBlobData&>(*data).buffer()->Read(0, bytes.data(), bytes.size()));
        }
        objects.emplace_back(data->GetType(), bytes);
      }
    }
  }
  return flat;
}

TEST_F(MetadataTest, BuilderSectionReadsByTypeAndIdentifierInFileOrder) {
  const Bytes big = PlainPayload(1'100'000, 2);  // a blob across two composite pages
  const auto items = AddMetadataItems(rec, {{.data = big}, {.type_code = kMarks, .id = 7, .data = {1}},
                                  {.kind = kText, .data = {'h', 'i', 0, 'x'}}, {.type_code = kMarks, .id = 7, .data = {2}},
                                  {.kind = kAudio, .data = PlainPayload(20, 3)},
                                  {.type_code = kPreview, .id = 5, .kind = 0x71000001, .data = {9}}});
  const std::uint64_t table = Table({{kProps, {items[0], items[2], items[4]}}, {kMarks, {items[1], items[3]}},
                                     {kPreview, {items[5]}}});
  CRecStream& s = Open();
  s.SetPosition(5);
  MetadataList list;
  CMetadataLoader().Load(s, table, list);
  EXPECT_EQ(s.GetPosition(), 5u);
  EXPECT_EQ(Flatten(list), (Flat{{0, {{0, {{gdt_blob, big}, {gdt_text, {'h', 'i'}}, {gdt_audio, PlainPayload(20, 3)}}}}},
                                 {2, {{5, {}}}}, {3, {{7, {{gdt_blob, {1}}, {gdt_blob, {2}}}}}}}));
}

struct DamageCase {
  const char* name;
  MetadataItemSpec item{};     // the one item, listed by the one reference record
  Bytes tail{};                // after the reference record
  std::uint16_t table_type = 0xCB9D, reference_type = 0xCB9E;
  std::uint64_t listed = 0;    // an offset listed instead of the item's
  int repeats = 1;             // table records naming the reference block
  const wchar_t* error = nullptr;  // how the failure's text starts; null: the load succeeds
  bool content_failure = true;     // exception_rec family (code 20), else code 10
};

TEST_F(MetadataTest, DamagedSectionsFailAsTheFormatSaysOrKeepWhatWasRead) {
  const DamageCase cases[] = {
      {.name = "well formed"},
      {.name = "record longer than its block", .tail = MetadataRecord({.kind = kOffsets, .data = {1}, .length = 1000})},
      {.name = "unmarked tail", .tail = PlainPayload(30, 4)},
      {.name = "table of another type", .table_type = 0xCB9E,
       .error = L"Invalid data at metadata table offset (File: metadataloader, Function: CMetadataLoader::Load"},
      {.name = "reference of another type", .reference_type = 0xCB0F, .error = L"Invalid data at metadata offset ("},
      {.name = "record of another kind", .tail = MetadataRecord({}), .error = L"Should never happen ("},
      {.name = "item without mark", .item = {.mark = 0x91919190}, .error = L"Data error", .content_failure = false},
      {.name = "item data past the end", .item = {.length = 0xFFFFFFF0}, .error = L"Read request beyond the end of the file"},
      {.name = "offset list as item", .item = {.kind = kOffsets}, .error = L"File offset is not expected here ("},
      {.name = "unknown type", .item = {.type_code = 0x9D000001}, .error = L"Unknown metadata type ("},
      {.name = "item beyond the file", .listed = 1ull << 40, .error = L"Read request beyond the end of the file"},
      // Each pass over the reference would copy its items again.
      {.name = "reference repeated past the file's size", .item = {.data = PlainPayload(4000, 5)}, .repeats = 50,
       .error = L"Recording corrupted"},
  };
  for (const DamageCase& c : cases) {
    SCOPED_TRACE(c.name);
    rec = {};
    const std::uint64_t item = AddMetadataItems(rec, {c.item}).front();
    Bytes reference = MetadataReference(kProps, {c.listed ? c.listed : item});
    reference.insert(reference.end(), c.tail.begin(), c.tail.end());
    const std::uint64_t at = rec.Add({.type = c.reference_type, .payload = reference});
    const std::uint64_t table = AddMetadataTable(rec, std::vector(c.repeats, std::pair{kProps, at}), c.table_type);
    MetadataList list = {{4, {{.type = 4, .id = 1, .data = {}}}}};  // what a failed load leaves alone
    try {
      CMetadataLoader().Load(Open(), table, list);
      EXPECT_EQ(c.error, nullptr);
      EXPECT_EQ(Flatten(list), (Flat{{0, {{0, {{gdt_blob, c.item.data}}}}}}));
    } catch (const wexception& e) {
      ASSERT_NE(c.error, nullptr) << e.what();
      EXPECT_EQ(e.wtext().rfind(c.error, 0), 0u) << e.what();
      EXPECT_EQ(dynamic_cast<const exception_rec*>(&e) != nullptr, c.content_failure);
      EXPECT_EQ(list.count(4), 1u);
    }
  }
}

template <class T>
std::shared_ptr<CGenericData> Make(const Bytes& bytes) {
  auto data = std::make_shared<T>();
  EXPECT_TRUE(data->SetData(bytes.data(), bytes.size()));
  return data;
}

TEST_F(MetadataTest, WriterLaysDownWhatTheBuilderDoesAndReadsBackEqual) {
  const Bytes big = PlainPayload(1'100'000, 6), audio = PlainPayload(30, 7), picture = PlainPayload(9, 8);
  MetadataList list;
  list[0].push_back({.type = 0, .id = 0, .data = {Make<CGenericBlobData>(big), Make<CGenericTextData>({'a', 'b'})}});
  list[2].push_back({.type = 2, .id = 0, .data = {Make<CGenericPictureData>(picture)}});
  list[3].push_back({.type = 3, .id = 9, .data = {Make<CGenericAudioData>(audio)}});
  list[3].push_back({.type = 3, .id = 3, .data = {}});  // nothing to write

  const auto props = AddMetadataItems(rec, {{.data = big}, {.kind = kText, .data = {'a', 'b', 0}}});
  const auto preview = AddMetadataItems(rec, {{.type_code = kPreview, .kind = kPicture, .data = picture}});
  const auto marks = AddMetadataItems(rec, {{.type_code = kMarks, .id = 9, .kind = kAudio, .data = audio}});
  const std::uint64_t table = Table({{kProps, props}, {kPreview, preview}, {kMarks, marks}});

  CRecStream& s = Open(true);
  s.WriteData(rec.bytes().data(), 80);  // the file header block, which the chain continues
  RecBlockChainWriter chain(80, 0);
  EXPECT_EQ(CMetadataWriter::Write(s, chain, list), table);
  EXPECT_EQ(files.Bytes(L"r"), rec.bytes());
  MetadataList back;
  CMetadataLoader().Load(s, table, back);
  list[3].pop_back();
  EXPECT_EQ(Flatten(back), Flatten(list));
}

}  // namespace
}  // namespace recfilereader
