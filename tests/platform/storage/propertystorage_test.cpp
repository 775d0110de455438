// IPropertySetStorage and IPropertyStorage over a compound document in memory, and cross-checked
// with python3-olefile.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/storage/comobject.h"
#include "platform/hresults.h"
#include "platform/storage/propertysetcodec.h"
#include "platform/storage/propertysetinterfaces.h"
#include "platform/storage/propertysetnames.h"
#include "platform/storage/propertystorage.h"
#include "recfilereader/propvariant.h"
#include "storagetestutil.h"
#include "support/propvarianttext.h"
#include "support/tempdir.h"

namespace recfilereader {
namespace {

using rectest::Describe, rectest::MemoryDocument, rectest::kCreate, rectest::kDeviceFmtid, rectest::kRead;

PROPSPEC ById(PROPID id) { return PROPSPEC{PRSPEC_PROPID, {id}}; }
PROPSPEC ByName(const wchar_t* name) {
  PROPSPEC spec{PRSPEC_LPWSTR, {}};
  spec.lpwstr = const_cast<wchar_t*>(name);
  return spec;
}

// The value as Describe gives it, or the result when it is not S_OK.
std::string ReadOne(IPropertyStorage* set, const PROPSPEC& spec) {
  PropVariantHolder value;
  const HRESULT hr = set->ReadMultiple(1, &spec, &value.get());
  return hr == S_OK ? Describe(value.get()) : "hr " + std::to_string(hr);
}

HRESULT WriteOne(IPropertyStorage* set, const PROPSPEC& spec, const PropVariantHolder& value,
                 PROPID first = 3) {
  return set->WriteMultiple(1, &spec, &value.get(), first);
}

using Names = std::vector<std::pair<std::wstring, PROPID>>;
Names Listed(IPropertyStorage* set) {
  ComPtr<IEnumSTATPROPSTG> list;
  EXPECT_EQ(set->Enum(list.Out()), S_OK);
  Names out;
  STATPROPSTG entry;
  ULONG fetched = 0;
  while (list->Next(1, &entry, &fetched) == S_OK) {
    out.emplace_back(entry.lpwstrName ? entry.lpwstrName : L"<none>", entry.propid);
    CoTaskMemFree(entry.lpwstrName);
  }
  return out;
}

class PropertyStorageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(doc_.ok());
    ASSERT_EQ(StgCreatePropSetStg(doc_.root(), 0, sets_.Out()), S_OK);
  }
  ComPtr<IPropertyStorage> CreateSet(DWORD flags = PROPSETFLAG_ANSI) {
    ComPtr<IPropertyStorage> set;
    EXPECT_EQ(sets_->Create(kDeviceFmtid, nullptr, flags, kCreate, set.Out()), S_OK);
    return set;
  }
  ComPtr<IPropertyStorage> OpenSet(DWORD mode) {
    ComPtr<IPropertyStorage> set;
    EXPECT_EQ(sets_->Open(kDeviceFmtid, mode, set.Out()), S_OK);
    return set;
  }

  MemoryDocument doc_;
  ComPtr<IPropertySetStorage> sets_;
};

TEST_F(PropertyStorageTest, NewNamesTakeLowestUnusedIdsFromTheFirstOneAndMatchWithoutCase) {
  auto set = CreateSet();
  const PROPSPEC specs[] = {ByName(L"Name"), ByName(L"Handle"), ByName(L"Class")};
  const PropVariantHolder values[] = {rectest::Lpwstr(L"dev"), rectest::Fixed(VT_I4, 7), rectest::Lpstr("Cam")};
  const PROPVARIANT plain[] = {values[0].get(), values[1].get(), values[2].get()};
  ASSERT_EQ(set->WriteMultiple(3, specs, plain, 3), S_OK);
  EXPECT_EQ(Listed(set.get()), (Names{{L"Name", 3}, {L"Handle", 4}, {L"Class", 5}}));
  // The same name in other case is the same property.
  ASSERT_EQ(WriteOne(set.get(), ByName(L"HANDLE"), rectest::Fixed(VT_I4, 8)), S_OK);
  for (const auto& [spec, text] : {std::pair{ByName(L"handle"), "3 0x8"}, {ById(4), "3 0x8"}, {ByName(L"missing"), "hr 1"},
                                   {ById(PID_CODEPAGE), "2 0x4e4"}, {ById(PID_LOCALE), "19 0x409"}}) {
    EXPECT_EQ(ReadOne(set.get(), spec), text);
  }
  // Ids already in use are skipped for a new name.
  ASSERT_EQ(WriteOne(set.get(), ById(6), rectest::Fixed(VT_I4, 1)), S_OK);
  ASSERT_EQ(WriteOne(set.get(), ByName(L"Later"), rectest::Fixed(VT_I4, 2), 4), S_OK);
  EXPECT_EQ(Listed(set.get()).back(), (Names::value_type{L"Later", 7}));
}

// Commit and release both write the set; revert drops what was written since.
TEST_F(PropertyStorageTest, CommitAndReleaseWriteTheSetRevertDropsChangesReadOnlyRefuses) {
  {
    auto set = CreateSet();
    ASSERT_EQ(WriteOne(set.get(), ByName(L"Text"), rectest::Lpstr("Gr\xC3\xBC\xC3\x9F" "e")), S_OK);
    ASSERT_EQ(set->Commit(STGC_DEFAULT), S_OK);
    ASSERT_EQ(WriteOne(set.get(), ByName(L"Kept"), rectest::Fixed(VT_I4, 1)), S_OK);
  }
  {
    auto set = OpenSet(STGM_READWRITE | STGM_SHARE_EXCLUSIVE);
    EXPECT_EQ(ReadOne(set.get(), ByName(L"text")), "30 \"Gr\xC3\xBC\xC3\x9F" "e\"");
    EXPECT_EQ(ReadOne(set.get(), ByName(L"Kept")), "3 0x1");
    ASSERT_EQ(WriteOne(set.get(), ByName(L"Dropped"), rectest::Fixed(VT_I4, 2)), S_OK);
    ASSERT_EQ(set->Revert(), S_OK);
    EXPECT_EQ(ReadOne(set.get(), ByName(L"Dropped")), "hr " + std::to_string(S_FALSE));
    const PROPSPEC kept = ByName(L"Kept");
    ASSERT_EQ(set->DeleteMultiple(1, &kept), S_OK);
    EXPECT_EQ(ReadOne(set.get(), ById(4)), "hr " + std::to_string(S_FALSE));
    PROPID id = 4;
    ASSERT_EQ(set->DeletePropertyNames(1, &id), S_OK);
    LPOLESTR name = nullptr;
    EXPECT_EQ(set->ReadPropertyNames(1, &id, &name), S_FALSE);
  }
  auto set = OpenSet(kRead);
  EXPECT_EQ(WriteOne(set.get(), ByName(L"x"), rectest::Fixed(VT_I4, 1)), STG_E_ACCESSDENIED);
  STATPROPSETSTG stat;
  ASSERT_EQ(set->Stat(&stat), S_OK);
  EXPECT_EQ(std::pair(stat.fmtid, stat.grfFlags & PROPSETFLAG_ANSI), std::pair(kDeviceFmtid, DWORD{PROPSETFLAG_ANSI}));
}

TEST_F(PropertyStorageTest, InvalidRequestsChangeNothing) {
  auto set = CreateSet();
  const PropVariantHolder four = rectest::Fixed(VT_I4, 4);
  for (const auto& [spec, first] : {std::pair{ByName(L"new"), PROPID{1}}, {ByName(L"new"), PID_LOCALE}, {ById(PID_DICTIONARY), 3},
                                    {ById(0x80000005), 3}}) {
    EXPECT_EQ(WriteOne(set.get(), spec, four, first), STG_E_INVALIDPARAMETER) << first;
  }
  PropVariantHolder unknown;
  unknown->vt = VT_UNKNOWN;
  const PROPSPEC specs[] = {ByName(L"good"), ByName(L"bad")};
  const PROPVARIANT plain[] = {four.get(), unknown.get()};
  EXPECT_EQ(set->WriteMultiple(2, specs, plain, 3), STG_E_INVALIDPARAMETER);
  EXPECT_TRUE(Listed(set.get()).empty());
  ComPtr<IPropertyStorage> other;
  EXPECT_EQ(sets_->Create(FMTID_SummaryInformation, nullptr, PROPSETFLAG_NONSIMPLE, kCreate, other.Out()), STG_E_INVALIDFLAG);
}

// Each set is the stream its identifier names. A stream that is no property set is neither
// listed nor opened, an empty stream is no set, a section without properties has no code page.
TEST_F(PropertyStorageTest, SetsAreListedAndDeletedAndDamagedSetsRefused) {
  CreateSet();
  rectest::ReadStreamAt(doc_.root(), L"\005Bdlz2yf4CmxcuqcuGjbhlgshEc");  // fails when it is missing
  ComPtr<IPropertyStorage> set;
  ASSERT_EQ(sets_->Create(FMTID_DocSummaryInformation, nullptr, 0, kCreate, set.Out()), S_OK);
  set.Reset();  // written
  std::vector<std::uint8_t> bytes = rectest::ReadStreamAt(doc_.root(), L"\005DocumentSummaryInformation");
  rectest::WriteStream(doc_.root(), L"\005SummaryInformation", {});
  rectest::WriteStream(doc_.root(), FmtIdToPropStgName(IID_IPropertySetStorage).c_str(), {'n', 'o', 't', ' ', 'a', ' ', 's', 'e', 't'});
  bytes.resize(56);  // the set cut to a section without properties (no code page)
  bytes[48] = 8;
  bytes[52] = 0;
  rectest::WriteStream(doc_.root(), L"\005DocumentSummaryInformation", bytes);
  EXPECT_EQ(sets_->Open(IID_IPropertySetStorage, kRead, set.Out()), STG_E_INVALIDHEADER);
  ULONG fetched = 0;
  ComPtr<IEnumSTATPROPSETSTG> list;
  ASSERT_EQ(sets_->Enum(list.Out()), S_OK);
  STATPROPSETSTG stat[3];
  ASSERT_EQ(list->Next(3, stat, &fetched), S_FALSE);
  EXPECT_EQ(std::make_tuple(fetched, stat[0].fmtid, stat[1].fmtid),
            std::make_tuple(2u, kDeviceFmtid, FMTID_DocSummaryInformation));
  ASSERT_EQ(sets_->Open(FMTID_DocSummaryInformation, kRead, set.Out()), S_OK);
  EXPECT_EQ(ReadOne(set.get(), ById(PID_CODEPAGE)), "hr " + std::to_string(S_FALSE));
  ASSERT_EQ(sets_->Delete(FMTID_SummaryInformation), S_OK);
  EXPECT_EQ(sets_->Open(FMTID_SummaryInformation, kRead, set.Out()), STG_E_FILENOTFOUND);
}

// The document summary stream holds the document summary and, as its second section, the
// user-defined properties: creating, writing or deleting one set keeps the other.
TEST_F(PropertyStorageTest, DocumentSummaryAndUserDefinedSetsKeepEachOther) {
  const PROPSPEC category = ById(2), owner = ByName(L"Owner");
  auto write = [&](const FMTID& fmtid, const PROPSPEC& spec, const char* text) {
    ComPtr<IPropertyStorage> set;
    ASSERT_EQ(sets_->Create(fmtid, nullptr, PROPSETFLAG_ANSI, kCreate, set.Out()), S_OK);
    ASSERT_EQ(WriteOne(set.get(), spec, rectest::Lpstr(text)), S_OK);
  };
  auto read = [&](const FMTID& fmtid, const PROPSPEC& spec) {
    ComPtr<IPropertyStorage> set;
    const HRESULT hr = sets_->Open(fmtid, kRead, set.Out());
    return FAILED(hr) ? std::to_string(hr) : ReadOne(set.get(), spec);
  };
  using Views = std::pair<std::string, std::string>;  // the document summary's category, the user's owner
  const auto both = [&] { return Views(read(FMTID_DocSummaryInformation, category), read(FMTID_UserDefinedProperties, owner)); };
  const std::string gone = std::to_string(STG_E_FILENOTFOUND);
  write(FMTID_UserDefinedProperties, owner, "me");
  EXPECT_EQ(both(), Views("hr 1", "30 \"me\"")) << "an empty first section";
  write(FMTID_DocSummaryInformation, category, "cat");
  EXPECT_EQ(both(), Views("30 \"cat\"", "30 \"me\""));
  write(FMTID_DocSummaryInformation, category, "new");
  EXPECT_EQ(both(), Views("30 \"new\"", "30 \"me\""));
  ASSERT_EQ(sets_->Delete(FMTID_UserDefinedProperties), S_OK);
  EXPECT_EQ(both(), Views("30 \"new\"", gone));
  write(FMTID_UserDefinedProperties, owner, "you");
  ASSERT_EQ(sets_->Delete(FMTID_DocSummaryInformation), S_OK);
  EXPECT_EQ(both(), Views(gone, "30 \"you\""));
}

// A damaged dictionary that gives one name to two identifiers: the name finds the one with a
// value. A damaged value is not listed, reading it says so, and writing the set keeps it.
TEST_F(PropertyStorageTest, DamagedNamesAndValuesOfASet) {
  const std::vector<std::uint8_t> damaged = {VT_LPSTR, 0, 0, 0, 0xF0, 0xFF, 0xFF, 0xFF};
  PropertySetData data;
  data.sections.resize(1);
  std::tie(data.sections[0].fmtid, data.sections[0].names, data.sections[0].damaged) =
      std::tuple(FMTID_SummaryInformation, std::map<PROPID, std::wstring>{{3, L"Title"}, {4, L"TITLE"}}, std::map<PROPID, std::vector<std::uint8_t>>{{5, damaged}});
  data.sections[0].values[4] = rectest::Fixed(VT_I4, 9);
  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(EncodePropertySet(data, &bytes), S_OK);
  rectest::WriteStream(doc_.root(), L"\005SummaryInformation", bytes);
  {
    ComPtr<IPropertyStorage> set;
    ASSERT_EQ(sets_->Open(FMTID_SummaryInformation, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, set.Out()), S_OK);
    EXPECT_EQ(ReadOne(set.get(), ByName(L"title")), "3 0x9");
    EXPECT_EQ(ReadOne(set.get(), ById(5)), "hr " + std::to_string(STG_E_DOCFILECORRUPT));
    EXPECT_EQ(Listed(set.get()), (Names{{L"TITLE", 4}}));
    ASSERT_EQ(WriteOne(set.get(), ByName(L"Added"), rectest::Fixed(VT_I4, 1)), S_OK);
  }
  ASSERT_EQ(DecodePropertySet(rectest::ReadStreamAt(doc_.root(), L"\005SummaryInformation"), &data), S_OK);
  EXPECT_EQ(data.sections[0].damaged[5], damaged);
  EXPECT_EQ(data.sections[0].values.size(), 2u);
}

// Against an independent reader (python3-olefile): the summary sets of real office documents
// read by us give olefile's values, and sets we write are read by olefile with their values.

// olefile's lines for one section of a stream of `file`, a line "<id> <kind> <value>" per
// property by id. Kinds: c code page, i integer, b boolean, s text as UTF-8 hex, f double as IEEE
// hex, x bytes as hex, g class identifier; values olefile cannot decode are left out.
std::set<std::string> OlefileView(const std::string& python, const std::filesystem::path& file,
                                  const std::string& stream, int section = 0) {
  int status = 0;
  const std::string out =
      rectest::RunCommand(python + " " OLEFILE_PROPS_SCRIPT " '" + file.string() + "' '" + stream + "' " + std::to_string(section), &status);
  EXPECT_EQ(status, 0) << out;
  std::set<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.insert(line);
  return lines;
}

// Our lines for the set `fmtid` of `root`, in olefile's terms.
std::set<std::string> OurView(IStorage* root, const FMTID& fmtid) {
  ComPtr<IPropertySetStorage> sets;
  EXPECT_EQ(StgCreatePropSetStg(root, 0, sets.Out()), S_OK);
  ComPtr<IPropertyStorage> set;
  EXPECT_EQ(sets->Open(fmtid, kRead, set.Out()), S_OK);
  if (!set) return {};
  // The code page and the locale, then every listed property.
  std::vector<PROPSPEC> specs{ById(PID_CODEPAGE), ById(PID_LOCALE)};
  for (const auto& listed : Listed(set.get())) specs.push_back(ById(listed.second));
  std::set<std::string> lines;
  for (const PROPSPEC& spec : specs) {
    PropVariantHolder value;
    EXPECT_TRUE(SUCCEEDED(set->ReadMultiple(1, &spec, &value.get())));
    const std::string line = spec.propid == PID_CODEPAGE ? "1 c " + std::to_string(value->uiVal) : rectest::OlefileLine(spec.propid, value.get());
    if (!line.empty()) lines.insert(line);
  }
  return lines;
}

TEST(PropertySetPeers, SummarySetsOfRealDocumentsReadAsOlefileReadsThem) {
  const auto corpus = rectest::SharedDir() / "corpus" / "compound";
  const std::string python = rectest::PythonWithOlefile();
  if (rectest::SharedDir().empty() || !std::filesystem::exists(corpus) || python.empty()) GTEST_SKIP() << "no corpus or olefile";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    const auto ext = entry.path().extension();
    if (ext != ".doc" && ext != ".xls") continue;
    SCOPED_TRACE(entry.path().filename().string());
    rectest::MemoryDocument doc(rectest::ReadFileBytes(entry.path()));
    ASSERT_TRUE(doc.ok());
    const std::pair<FMTID, const char*> streams[] = {
        {FMTID_SummaryInformation, "\\x05SummaryInformation"},
        {FMTID_DocSummaryInformation, "\\x05DocumentSummaryInformation"}};
    for (const auto& [fmtid, name] : streams) EXPECT_EQ(OurView(doc.root(), fmtid), OlefileView(python, entry.path(), name)) << name;
    ++files;
  }
  EXPECT_GE(files, 6);
}

// One set to write by name through our property storage and our compound document, and where
// olefile finds it.
struct WrittenSet {
  FMTID fmtid;
  DWORD flags;
  std::vector<PropVariantHolder> values;
  std::string code_page;
  const char* stream;
  int section;
};

// Writes `sets` in this order into one document; olefile must read each with its values.
void CheckWrittenSetsAgainstOlefile(const std::vector<WrittenSet>& sets) {
  const std::string python = rectest::PythonWithOlefile();
  if (python.empty()) GTEST_SKIP() << "python3-olefile is not installed";
  rectest::MemoryDocument doc;
  ASSERT_TRUE(doc.ok());
  std::vector<std::set<std::string>> expected;
  {
    ComPtr<IPropertySetStorage> storage;
    ASSERT_EQ(StgCreatePropSetStg(doc.root(), 0, storage.Out()), S_OK);
    for (const WrittenSet& written : sets) {
      // The locale every set written here carries.
      expected.push_back({"1 c " + written.code_page, "2147483648 i 1033"});
      ComPtr<IPropertyStorage> set;
      ASSERT_EQ(storage->Create(written.fmtid, nullptr, written.flags, kCreate, set.Out()), S_OK);
      for (std::size_t i = 0; i < written.values.size(); ++i) {
        ASSERT_EQ(WriteOne(set.get(), ByName((L"p" + std::to_wstring(100 + i)).c_str()), written.values[i]), S_OK);
        const std::string line = rectest::OlefileLine(static_cast<PROPID>(3 + i), written.values[i].get());
        if (!line.empty()) expected.back().insert(line);
      }
    }
  }
  rectest::TempDir dir;
  rectest::WriteFileBytes(dir / "ours.cfb", doc.Finish());
  for (std::size_t i = 0; i < sets.size(); ++i) {
    EXPECT_EQ(OlefileView(python, dir / "ours.cfb", sets[i].stream, sets[i].section), expected[i]) << i;
  }
}

// Each document olefile reads: the device set as a Unicode and as an ANSI set (olefile reads
// narrow strings of Unicode sets as raw bytes, so those are in the ANSI set only), and the
// document summary and the user-defined properties, which share one stream, created in either
// order.
TEST(PropertySetPeers, SetsWeWriteReadInOlefile) {
  using namespace rectest;  // olefile skips vectors and 64-bit values
  std::vector<PropVariantHolder> values = {
      Fixed(VT_I2, 0xFF85), Fixed(VT_UI2, 65000), Fixed(VT_UI1, 250), Fixed(VT_I4, 0xFFFFFFFE), Fixed(VT_UI4, 3000000000u),
      Fixed(VT_ERROR, 0x80030002), Fixed(VT_BOOL, 0xFFFF), Fixed(VT_BOOL, 0), Fixed(VT_FILETIME, 0x01D9A1B2C3D4E5F6ull),
      Lpwstr(L"\u65E5\u672C\u8A9E"), Blob({0, 1, 2, 0xFF}), ClipData(3, {7, 7, 7, 7, 7}), Clsid(kDeviceFmtid),
      FixedVector(VT_I2, {1, 2, 3}), Fixed(VT_UI8, 5)};
  const char *device = "\\x05Bdlz2yf4CmxcuqcuGjbhlgshEc", *summary = "\\x05DocumentSummaryInformation";
  std::vector<std::vector<WrittenSet>> documents{{{kDeviceFmtid, 0, values, "1200", device, 0}}};
  values.push_back(Lpstr("Gr\xC3\xBC\xC3\x9F" "e"));
  values.push_back(Bstr(L"\u20AC 5"));
  documents.push_back({{kDeviceFmtid, PROPSETFLAG_ANSI, values, "1252", device, 0}});
  documents.push_back({{FMTID_DocSummaryInformation, PROPSETFLAG_ANSI, {Lpstr("cat")}, "1252", summary, 0},
                       {FMTID_UserDefinedProperties, 0, {Lpwstr(L"me"), Fixed(VT_I4, 7)}, "1200", summary, 1}});
  documents.push_back({documents.back()[1], documents.back()[0]});
  for (const auto& sets : documents) CheckWrittenSetsAgainstOlefile(sets);
}

}  // namespace
}  // namespace recfilereader
