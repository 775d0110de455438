#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "base/exceptions.h"
#include "container/metadataextractor.h"
#include "container/metadataloader.h"
#include "container/metadatawriter.h"
#include "container/memstream.h"
#include "container/recstream.h"
#include "host/tempfilesmgrwrp.h"
#include "platform/storage/comobject.h"
#include "properties/compositebuffer.h"
#include "properties/propstoragesaver.h"
#include "support/fakeowner.h"
#include "support/peerprograms.h"
#include "support/propvarianttext.h"
#include "support/samplerecordings.h"
#include "support/sectionbuilder.h"
#include "support/tempdir.h"

namespace recfilereader {
namespace {

using namespace rectest;
using Texts = std::vector<std::wstring>;

constexpr std::uint32_t kProps = 0x9D000000, kPreview = 0x9D0F000C, kMarks = 0x9D0C0000;
constexpr std::uint32_t kText = 0x71030000, kAudio = 0x710A0000, kPicture = 0x710D0000, kOffsets = 0x710FFFFF;

class MetadataTest : public ::testing::Test, protected MemStream {
 protected:
  MetadataTest() {
    rec.Add({.type = 0xCBBF, .payload = PlainPayload(48, 1)});
    owner.SetCache(524288, 0);
  }
  CRecStream& Open(bool create = false) { return MemStream::Open(L"r", create ? nullptr : &rec.bytes()); }
  // A table with one reference block per type code listing `items`.
  std::uint64_t Table(const std::vector<std::pair<std::uint32_t, std::vector<std::uint64_t>>>& references) {
    std::vector<std::pair<std::uint32_t, std::uint64_t>> records;
    for (const auto& [code, items] : references) records.emplace_back(code, rec.Add({.type = 0xCB9E, .payload = MetadataReference(code, items)}));
    return AddMetadataTable(rec, records);
  }

  RecBuilder rec;
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
  (void)data->SetData(bytes.data(), bytes.size());  // some tests hand over data too short to accept
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

Texts Reports(FakeOwner& access) {
  Texts texts;
  for (const auto& report : access.Reports()) texts.push_back(report.text);
  return texts;
}

// A compound document with one property-set storage per entry, as a blob object.
std::shared_ptr<CGenericData> Document(const std::map<std::wstring, PropertyMap>& storages) {
  return Make<CGenericBlobData>(rectest::Document(storages));
}

template <class Map>
std::map<std::wstring, std::string> Described(const Map& map) {
  std::map<std::wstring, std::string> out;
  for (const auto& [name, value] : map) out[name] = Describe(value.get());
  return out;
}

// olefile's listing of the blob's document: every stream path, sorted; empty without olefile.
std::string OlefileStreams(const CGenericData& blob) {
  const std::string python = PythonWithOlefile();
  if (python.empty()) return {};
  Bytes bytes(blob.GetSize());
  EXPECT_TRUE(static_cast<const CGenericBlobData&>(blob).buffer()->Read(0, bytes.data(), bytes.size()));
  TempDir dir;
  WriteFileBytes(dir / "doc", bytes);
  return RunCapture(python + " -c \"import olefile,sys; o=olefile.OleFileIO(sys.argv[1], "
                    "raise_defects=olefile.DEFECT_INCORRECT); print(';'.join(sorted('/'.join(p) for p in o.listdir())))\" " +
                    (dir / "doc").string() + " 2>/dev/null")
      .value_or("");
}

TEST(MetadataExtractor, SavedPropertiesReadBackInTheCurrentFormAndOlefileAgrees) {
  FakeOwner access;
  CMetadataExtractor extractor(&access);
  CPropManager recording, system, recording_back, system_back;
  recording.Put(L"Description", Lpwstr(std::wstring(300, L'd')).get());  // moves to a stream
  recording.Put(L"Picture", Blob(PlainPayload(5000, 1)).get());
  system.Put(L"Station", Lpwstr(L"north").get());
  const MarkerSet markers = {{1234567890123, {{L"Description", Lpwstr(L"first")}}}, {10, {{L"Note", Lpwstr(L"x")}}}};
  MarkerSet markers_back = {{1234567890123, {}}, {10, {}}, {77, {}}};
  MetadataList list;
  extractor.SaveRecProperties(list, recording);
  extractor.SaveSysProperties(list, system);  // into the same document, keeping the first storage
  extractor.SaveRecProperties(list, recording);
  extractor.SaveMarkerProperties(list, markers);
  extractor.ExtractRecProperties(list, recording_back, 0x3FF);
  extractor.ExtractSysProperties(list, system_back);
  extractor.ExtractMarkerProperties(list, markers_back);
  EXPECT_EQ(Described(recording_back.table()), Described(recording.table()));
  EXPECT_EQ(Described(system_back.table()), Described(system.table()));
  markers_back.erase(77);  // named by no storage, it stays empty
  for (auto& [timestamp, properties] : markers_back) EXPECT_EQ(Described(properties), Described(markers.at(timestamp)));
  // The current form never falls back to the old items, whatever the options ask.
  EXPECT_EQ(Reports(access), (Texts{L"Reading recording properties (from storage)... OK",
                                     L"Reading system properties... OK", L"Reading marker properties... OK"}));
  const std::string recording_doc = OlefileStreams(*list.at(0).front().data.front());
  if (recording_doc.empty()) GTEST_SKIP() << "python3-olefile is not installed";
  const std::string set = "/\x05" "Bdlz2yf4CmxcuqcuGjbhlgshEc";
  EXPECT_EQ(recording_doc, "Recording properties" + set + ";Recording properties/__blob_stream_#0;"
                           "Recording properties/__string_stream_#0;System properties" + set + "\n");
  EXPECT_EQ(OlefileStreams(*list.at(3).front().data.front()), "10" + set + ";1234567890123" + set + "\n");
}

struct OldFormCase {
  const char* name;
  DWORD options;
  bool file_name;        // the File Information storage has "FileName"
  GenericDataList data;  // besides the document
  bool previews;
  Texts reports;  // after the failed "from storage" step
  Texts properties;
};

TEST(MetadataExtractor, OldRecordingsAreReadStepByStepAsTheOptionsAsk) {
  const Bytes bmp = {1, 0, 0, 0, 'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,
                     1, 0, 24, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 8, 7, 0};
  Bytes audio = {1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x80, 0x3E, 0, 0, 2, 0, 16, 0, 0, 0};  // 8 kHz mono 16-bit
  audio.resize(18 + 16000, 3);
  const std::wstring info = L"Reading recording File Information... ", time = L"Reading recording time reference... OK";
  const OldFormCase cases[] = {
      {"File Information only", 0, true, {Make<CGenericTextData>({'x'})}, true, {info + L"OK"},
       {L"DataIntegrityViolation", L"FileName", L"GUID"}},
      {"every part", 0x3FF, false, {Make<CGenericTextData>({'D', 'e', 'p', 'a', 'r', 't', 'm', 'e', 'n', 't', ':'}),
                                    Make<CGenericAudioData>(audio)}, true,
       {info + L"No \"FileName\" property", L"Reading recording description... OK",
        L"Reading recording audio comment... OK", time, L"Reading recording video preview... OK"},
       {L"AudioComment avi", L"Description", L"GUID", L"TimeReference", L"VideoPreview avi"}},
      {"parts missing or too short", 0x3FF, true, {Make<CGenericAudioData>({1, 2, 3})}, false,
       {info + L"OK", L"Reading recording description... Failed to find data of type \"gdt_text\" within data list",
        L"Reading recording audio comment... Audio data size is less then size of WAVEFORMATEX", time,
        L"Reading recording video preview... Not available"},
       {L"DataIntegrityViolation", L"FileName", L"GUID", L"TimeReference"}},
  };
  for (const OldFormCase& c : cases) {
    SCOPED_TRACE(c.name);
    PropertyMap file_information = {{L"GUID", Lpwstr(L"{1}")}, {L"DataIntegrityViolation", Lpwstr(L"no")}};
    if (c.file_name) file_information.emplace(L"FileName", Lpwstr(L"a.rec"));
    MetadataList list = {{0, {{.type = 0, .id = 0, .data = c.data}}}};
    list[0][0].data.insert(list[0][0].data.begin(), Document({{L"File Information", file_information},
                                     {L"Time reference", {{L"LocalSystemTime", Lpwstr(L"noon")}}}}));
    for (const Bytes& picture : {bmp, Bytes{1, 0, 0, 0, 'x'}}) {  // the second does not decode
      if (c.previews) list[2].push_back({.type = 2, .id = 0, .data = {Make<CGenericPictureData>(picture)}});
    }
    FakeOwner access;
    CPropManager recording;
    CMetadataExtractor(&access).ExtractRecProperties(list, recording, c.options);
    Texts reports = Reports(access);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front().rfind(L"Reading recording properties (from storage)... 0x80030002", 0), 0u) << reports.front();
    EXPECT_EQ(Texts(reports.begin() + 1, reports.end()), c.reports);
    Texts names;  // " avi" when the value is an AVI file
    for (const auto& [name, value] : recording.table()) {
      const bool avi = name == L"AudioComment" || name == L"VideoPreview";
      names.push_back(avi && !std::memcmp(value->blob.pBlobData, "RIFF", 4) ? name + L" avi" : name);
    }
    EXPECT_EQ(names, c.properties);
    if (const PROPVARIANT* description = recording.Find(L"Description")) {
      EXPECT_EQ(Describe(*description), Describe(Lpwstr(L"").get()));  // a form's text is not shown
    }
  }
}

TEST(MetadataExtractor, MissingOrDamagedItemsAreReportedAndPassedOver) {
  FakeOwner access;
  CMetadataExtractor extractor(&access);
  CPropManager recording, system;
  MarkerSet markers = {{0, {}}, {12, {}}};
  MetadataList list;
  const auto all = [&] {
    extractor.ExtractRecProperties(list, recording, 0);
    extractor.ExtractSysProperties(list, system);
    extractor.ExtractMarkerProperties(list, markers);
  };
  all();
  list[0].push_back({.type = 0, .id = 0, .data = {Make<CGenericTextData>({'x'})}});
  list[3].push_back({.type = 3, .id = 0, .data = {Make<CGenericBlobData>(PlainPayload(3000, 2))}});
  all();
  // Storages whose names are no number, or name no marker, are passed over.
  list[3][0].data = {Document({{L"abc", {{L"A", Lpwstr(L"a")}}}, {L"999", {{L"B", Lpwstr(L"b")}}}, {L"12", {{L"C", Lpwstr(L"c")}}}})};
  extractor.ExtractMarkerProperties(list, markers);
  const std::wstring no_blob = L"Failed to find data of type \"gdt_blob\" within data list";
  Texts reports = Reports(access);
  ASSERT_EQ(reports.size(), 8u);
  EXPECT_EQ(reports[6].rfind(L"Reading marker properties... ", 0), 0u);  // a blob that is no document
  reports[6] = L"";
  EXPECT_EQ(reports, (Texts{L"Reading recording properties...Not available", L"Reading system properties... Not available",
                            L"Reading marker properties... Not available",
                            L"Reading recording properties (from storage)... " + no_blob,
                            L"Reading recording File Information... " + no_blob, L"Reading system properties... " + no_blob,
                            L"", L"Reading marker properties... OK"}));
  EXPECT_TRUE(recording.table().empty() && system.table().empty() && markers.at(0).empty());
  EXPECT_EQ(Described(markers.at(12)), Described(PropertyMap{{L"C", Lpwstr(L"c")}}));
}

}  // namespace
}  // namespace recfilereader
