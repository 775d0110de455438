#include "container/metadataextractor.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "host/tempfilesmgrwrp.h"
#include "platform/storage/comobject.h"
#include "properties/compositebuffer.h"
#include "properties/propstoragesaver.h"
#include "support/fakeowner.h"
#include "support/propvarianttext.h"
#include "support/recbuilder.h"
#include "support/tempdir.h"

namespace recfilereader {
namespace {

using rectest::Describe;
using rectest::Lpwstr;
using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::wstring>;

// The reader's services as the extractor finds them: host reports, temporary files.
struct Access final : IInterfaceAccess {
  void* GetInterface(const wchar_t* name) override {
    if (std::wstring(name) == L"IPrivTempFilesMgr") return static_cast<IPrivTempFilesMgr*>(&temp);
    return owner.GetInterface(name);
  }
  rectest::FakeOwner owner;
  CTempFilesMgrWrp temp{nullptr};
};

Texts Reports(Access& access) {
  Texts texts;
  for (const auto& report : access.owner.Reports()) texts.push_back(report.text);
  return texts;
}

template <class T>
std::shared_ptr<CGenericData> Data(const Bytes& bytes) {
  auto data = std::make_shared<T>();
  (void)data->SetData(bytes.data(), bytes.size());
  return data;
}

// A compound document with one property-set storage per entry, as a blob object.
std::shared_ptr<CGenericData> Document(const std::map<std::wstring, PropertyMap>& storages) {
  rectest::MemoryDocument document;
  for (const auto& [name, properties] : storages) {
    ComPtr<IStorage> storage;
    EXPECT_EQ(document.root()->CreateStorage(name.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                             storage.Out()), S_OK);
    CPropStorageSaver().Save(storage.get(), kMetadataFormatId, properties);
  }
  return Data<CGenericBlobData>(document.Finish());
}

template <class Map>
std::map<std::wstring, std::string> Described(const Map& map) {
  std::map<std::wstring, std::string> out;
  for (const auto& [name, value] : map) out[name] = Describe(value.get());
  return out;
}

// olefile's listing of the blob's document: every stream path, sorted; empty without olefile.
std::string OlefileStreams(const CGenericData& blob) {
  Bytes bytes(blob.GetSize());
  EXPECT_TRUE(static_cast<const CGenericBlobData&>(blob).buffer()->Read(0, bytes.data(), bytes.size()));
  rectest::TempDir dir;
  rectest::WriteFileBytes(dir / "doc", bytes);
  std::string out;
  for (const char* python : {"/usr/bin/python3", "python3"}) {
    const std::string command = std::string(python) + " -c \"import olefile,sys; o=olefile.OleFileIO(sys.argv[1], "
        "raise_defects=olefile.DEFECT_INCORRECT); print(';'.join(sorted('/'.join(p) for p in o.listdir())))\" " +
        (dir / "doc").string() + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    for (char line[4096]; pipe != nullptr && fgets(line, sizeof line, pipe) != nullptr;) out += line;
    if (pipe != nullptr && pclose(pipe) == 0) return out;
  }
  return {};
}

TEST(MetadataExtractor, SavedPropertiesReadBackInTheCurrentFormAndOlefileAgrees) {
  Access access;
  CMetadataExtractor extractor(&access);
  CPropManager recording, system, recording_back, system_back;
  recording.Put(L"Description", Lpwstr(std::wstring(300, L'd')).get());  // moves to a stream
  recording.Put(L"Picture", rectest::Blob(rectest::PlainPayload(5000, 1)).get());
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
      {"File Information only", 0, true, {Data<CGenericTextData>({'x'})}, true, {info + L"OK"},
       {L"DataIntegrityViolation", L"FileName", L"GUID"}},
      {"every part", 0x3FF, false, {Data<CGenericTextData>({'D', 'e', 'p', 'a', 'r', 't', 'm', 'e', 'n', 't', ':'}),
                                    Data<CGenericAudioData>(audio)}, true,
       {info + L"No \"FileName\" property", L"Reading recording description... OK",
        L"Reading recording audio comment... OK", time, L"Reading recording video preview... OK"},
       {L"AudioComment avi", L"Description", L"GUID", L"TimeReference", L"VideoPreview avi"}},
      {"parts missing or too short", 0x3FF, true, {Data<CGenericAudioData>({1, 2, 3})}, false,
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
      if (c.previews) list[2].push_back({.type = 2, .id = 0, .data = {Data<CGenericPictureData>(picture)}});
    }
    Access access;
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
  Access access;
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
  list[0].push_back({.type = 0, .id = 0, .data = {Data<CGenericTextData>({'x'})}});
  list[3].push_back({.type = 3, .id = 0, .data = {Data<CGenericBlobData>(rectest::PlainPayload(3000, 2))}});
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
