#include "container/metadataextractor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "container/metadataformat.h"
#include "host/tempfilesmgrwrp.h"
#include "platform/storage/comobject.h"
#include "platform/textconv.h"
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

// The reader's services as the extractor finds them: host reports, temporary files.
struct Access final : IInterfaceAccess {
  void* GetInterface(const wchar_t* name) override {
    if (std::wstring(name) == L"IPrivTempFilesMgr") return static_cast<IPrivTempFilesMgr*>(&temp);
    return owner.GetInterface(name);
  }
  std::vector<std::wstring> Reports() {
    std::vector<std::wstring> texts;
    for (const auto& report : owner.Reports()) texts.push_back(report.text);
    return texts;
  }
  rectest::FakeOwner owner;
  CTempFilesMgrWrp temp{nullptr};
};

using Storages = std::map<std::wstring, PropertyMap>;

// A compound document with one property-set storage per entry, as a blob object.
std::shared_ptr<CGenericData> Document(const Storages& storages) {
  rectest::MemoryDocument document;
  for (const auto& [name, properties] : storages) {
    ComPtr<IStorage> storage;
    EXPECT_EQ(document.root()->CreateStorage(name.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                             0, 0, storage.Out()), S_OK);
    CPropStorageSaver().Save(storage.get(), kMetadataFormatId, properties);
  }
  const std::vector<std::uint8_t> bytes = document.Finish();
  auto blob = std::make_shared<CGenericBlobData>();
  EXPECT_TRUE(blob->SetData(bytes.data(), bytes.size()));
  return blob;
}

template <class T>
std::shared_ptr<CGenericData> Data(const std::vector<std::uint8_t>& bytes) {
  auto data = std::make_shared<T>();
  (void)data->SetData(bytes.data(), bytes.size());
  return data;
}

std::map<std::wstring, std::string> Described(const CPropManager& table) {
  std::map<std::wstring, std::string> out;
  for (const auto& [name, value] : table.table()) out[name] = Describe(value.get());
  return out;
}
std::map<std::wstring, std::string> Described(const PropertyMap& map) {
  std::map<std::wstring, std::string> out;
  for (const auto& [name, value] : map) out[name] = Describe(value.get());
  return out;
}

std::vector<std::uint8_t> BlobBytes(const MetadataList& list, std::uint32_t type) {
  const auto& blob = static_cast<const CGenericBlobData&>(*list.at(type).front().data.front());
  std::vector<std::uint8_t> bytes(blob.GetSize());
  EXPECT_TRUE(blob.buffer()->Read(0, bytes.data(), bytes.size()));
  return bytes;
}

// olefile's listing of a document: every stream path, "/"-joined, sorted.
std::string OlefileStreams(const std::string& python, const std::vector<std::uint8_t>& bytes) {
  rectest::TempDir dir;
  rectest::WriteFileBytes(dir / "doc", bytes);
  const std::string command = python + " -c \"import olefile,sys; o=olefile.OleFileIO(sys.argv[1], raise_defects=olefile.DEFECT_INCORRECT); "
                              "print(';'.join(sorted('/'.join(p) for p in o.listdir())))\" " + (dir / "doc").string();
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char line[4096];
    while (fgets(line, sizeof line, pipe) != nullptr) out += line;
    pclose(pipe);
  }
  return out;
}

std::string PythonWithOlefile() {
  for (const char* python : {"/usr/bin/python3", "python3"}) {
    if (std::system((std::string(python) + " -c 'import olefile' 2>/dev/null").c_str()) == 0) return python;
  }
  return {};
}

TEST(MetadataExtractor, SavedPropertiesReadBackInTheCurrentFormAndOlefileAgrees) {
  Access access;
  CMetadataExtractor extractor(&access);
  CPropManager recording, system;
  recording.Put(L"Description", Lpwstr(std::wstring(300, L'd')).get());  // moves to a stream
  recording.Put(L"Picture", rectest::Blob(rectest::PlainPayload(5000, 1)).get());
  system.Put(L"Station", Lpwstr(L"north").get());
  const MarkerSet markers = {{1234567890123, {{L"Description", Lpwstr(L"first")}}},
                             {10, {{L"Note", Lpwstr(L"second")}}}};
  MetadataList list;
  extractor.SaveRecProperties(list, recording);
  extractor.SaveSysProperties(list, system);  // into the same document, keeping the first storage
  extractor.SaveRecProperties(list, recording);
  extractor.SaveMarkerProperties(list, markers);

  CPropManager recording_back, system_back;
  MarkerSet markers_back = {{1234567890123, {}}, {10, {}}, {77, {}}};
  extractor.ExtractRecProperties(list, recording_back, 0x3FF);
  extractor.ExtractSysProperties(list, system_back);
  extractor.ExtractMarkerProperties(list, markers_back);
  EXPECT_EQ(Described(recording_back), Described(recording));
  EXPECT_EQ(Described(system_back), Described(system));
  for (const auto& [timestamp, properties] : markers) {
    EXPECT_EQ(Described(markers_back.at(timestamp)), Described(properties));
  }
  EXPECT_TRUE(markers_back.at(77).empty());
  // The current form never falls back to the old items, whatever the options ask.
  EXPECT_EQ(access.Reports(), (std::vector<std::wstring>{L"Reading recording properties (from storage)... OK",
                                                          L"Reading system properties... OK",
                                                          L"Reading marker properties... OK"}));
  const std::string python = PythonWithOlefile();
  if (python.empty()) GTEST_SKIP() << "python3-olefile is not installed";
  const std::string set = "/\x05" "Bdlz2yf4CmxcuqcuGjbhlgshEc";
  EXPECT_EQ(OlefileStreams(python, BlobBytes(list, kMetadataProperties)),
            "Recording properties" + set + ";Recording properties/__blob_stream_#0;Recording properties/"
            "__string_stream_#0;System properties" + set + "\n");
  EXPECT_EQ(OlefileStreams(python, BlobBytes(list, kMetadataMarkers)), "10" + set + ";1234567890123" + set + "\n");
}

// A 1 x 1 24-bit BMP behind its picture-format code.
std::vector<std::uint8_t> BmpPicture() {
  return {1, 0, 0, 0, 'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,
          1, 0, 24, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 8, 7, 0};
}

// One second of 8 kHz mono 16-bit audio.
std::vector<std::uint8_t> AudioClip() {
  std::vector<std::uint8_t> clip = {1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x80, 0x3E, 0, 0, 2, 0, 16, 0, 0, 0};
  clip.resize(18 + 16000, 3);
  return clip;
}

struct OldFormCase {
  const char* name;
  DWORD options;
  bool file_name;  // the File Information storage has "FileName"
  GenericDataList extra;  // besides the document
  bool previews;
  std::vector<std::wstring> reports;  // after the failed "from storage" step
  std::vector<std::wstring> properties;
};

TEST(MetadataExtractor, OldRecordingsAreReadStepByStepAsTheOptionsAsk) {
  const std::wstring no_text = L"Failed to find data of type \"gdt_text\" within data list";
  const OldFormCase cases[] = {
      {"File Information only", 0, true, {Data<CGenericTextData>({'x'})}, true,
       {L"Reading recording File Information... OK"}, {L"DataIntegrityViolation", L"FileName", L"GUID"}},
      {"every part, one picture that decodes", 0x3FF, false,
       {Data<CGenericTextData>({'D', 'e', 'p', 'a', 'r', 't', 'm', 'e', 'n', 't', ':'}), Data<CGenericAudioData>(AudioClip())},
       true,
       {L"Reading recording File Information... No \"FileName\" property", L"Reading recording description... OK",
        L"Reading recording audio comment... OK", L"Reading recording time reference... OK",
        L"Reading recording video preview... OK"},
       {L"AudioComment", L"Description", L"GUID", L"TimeReference", L"VideoPreview"}},
      {"parts missing or too short", 0x3FF, true, {Data<CGenericAudioData>({1, 2, 3})}, false,
       {L"Reading recording File Information... OK", L"Reading recording description... " + no_text,
        L"Reading recording audio comment... Audio data size is less then size of WAVEFORMATEX",
        L"Reading recording time reference... OK", L"Reading recording video preview... Not available"},
       {L"DataIntegrityViolation", L"FileName", L"GUID", L"TimeReference"}},
  };
  for (const OldFormCase& c : cases) {
    SCOPED_TRACE(c.name);
    PropertyMap info = {{L"GUID", Lpwstr(L"{1}")}, {L"DataIntegrityViolation", Lpwstr(L"no")}};
    if (c.file_name) info.emplace(L"FileName", Lpwstr(L"a.rec"));
    MetadataList list;
    list[0].push_back({.type = 0, .id = 0, .data = c.extra});
    list[0].front().data.insert(list[0].front().data.begin(),
                                Document({{L"File Information", info},
                                          {L"Time reference", {{L"LocalSystemTime", Lpwstr(L"noon")}}}}));
    if (c.previews) {
      for (const auto& picture : {BmpPicture(), std::vector<std::uint8_t>{1, 0, 0, 0, 'x'}}) {
        list[2].push_back({.type = 2, .id = 0, .data = {Data<CGenericPictureData>(picture)}});
      }
    }
    Access access;
    CPropManager recording;
    CMetadataExtractor(&access).ExtractRecProperties(list, recording, c.options);
    std::vector<std::wstring> reports = access.Reports();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front().rfind(L"Reading recording properties (from storage)... ", 0), 0u);
    EXPECT_NE(reports.front(), L"Reading recording properties (from storage)... OK");
    EXPECT_EQ(std::vector<std::wstring>(reports.begin() + 1, reports.end()), c.reports);
    std::vector<std::wstring> names;
    for (const auto& [name, value] : recording.table()) names.push_back(name);
    EXPECT_EQ(names, c.properties);
    if (const PROPVARIANT* description = recording.Find(L"Description")) {
      EXPECT_EQ(Describe(*description), Describe(Lpwstr(L"").get()));  // a form's text is not shown
    }
    for (const wchar_t* avi : {L"AudioComment", L"VideoPreview"}) {
      if (const PROPVARIANT* value = recording.Find(avi)) {
        ASSERT_EQ(value->vt, VT_BLOB);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(value->blob.pBlobData), 4), "RIFF");
      }
    }
  }
}

TEST(MetadataExtractor, MissingOrDamagedItemsAreReportedAndPassedOver) {
  MetadataList list;
  Access access;
  CMetadataExtractor extractor(&access);
  CPropManager recording, system;
  MarkerSet markers = {{0, {}}, {12, {}}};
  extractor.ExtractRecProperties(list, recording, 0x3FF);
  extractor.ExtractSysProperties(list, system);
  extractor.ExtractMarkerProperties(list, markers);
  list[0].push_back({.type = 0, .id = 0, .data = {Data<CGenericTextData>({'x'})}});
  extractor.ExtractSysProperties(list, system);
  list[0].front().data.push_back(Data<CGenericBlobData>(rectest::PlainPayload(3000, 2)));  // no document
  extractor.ExtractSysProperties(list, system);
  // Storages whose names are no number, or name no marker, are passed over.
  list[3].push_back({.type = 3, .id = 0, .data = {Document({{L"abc", {{L"A", Lpwstr(L"a")}}},
                                                            {L"999", {{L"B", Lpwstr(L"b")}}},
                                                            {L"12", {{L"C", Lpwstr(L"c")}}}})}});
  extractor.ExtractMarkerProperties(list, markers);
  const std::vector<std::wstring> reports = access.Reports();
  ASSERT_EQ(reports.size(), 6u);
  EXPECT_EQ(std::vector<std::wstring>(reports.begin(), reports.begin() + 5),
            (std::vector<std::wstring>{L"Reading recording properties...Not available",
                                       L"Reading system properties... Not available",
                                       L"Reading marker properties... Not available",
                                       L"Reading system properties... Failed to find data of type \"gdt_blob\" within data list",
                                       reports[4]}));
  EXPECT_EQ(reports[4].rfind(L"Reading system properties... ", 0), 0u);
  EXPECT_NE(reports[4], L"Reading system properties... OK");
  EXPECT_EQ(reports[5], L"Reading marker properties... OK");
  EXPECT_TRUE(recording.table().empty() && system.table().empty() && markers.at(0).empty());
  EXPECT_EQ(Described(markers.at(12)), Described(PropertyMap{{L"C", Lpwstr(L"c")}}));
}

}  // namespace
}  // namespace recfilereader
