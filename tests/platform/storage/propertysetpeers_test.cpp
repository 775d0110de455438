// Property sets against an independent reader (python3-olefile): the summary sets of real
// office documents read by us give olefile's values, and sets we write are read by olefile
// with the values we wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/storage/comobject.h"
#include "platform/storage/propertysetinterfaces.h"
#include "recfilereader/propvariant.h"
#include "storagetestutil.h"
#include "support/propvarianttext.h"
#include "support/tempdir.h"

namespace recfilereader {
namespace {

constexpr DWORD kCreate = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kRead = STGM_READ | STGM_SHARE_EXCLUSIVE;

// olefile's lines for one section of a stream of `file`, a line "<id> <kind> <value>" per
// property by id. Kinds: c code page, i integer, b boolean, s text as UTF-8 hex, f double as IEEE
// hex, x bytes as hex, g class identifier; values olefile cannot decode are left out.
std::set<std::string> OlefileView(const std::string& python, const std::filesystem::path& file,
                                  const std::string& stream, int section = 0) {
  int status = 0;
  const std::string out = rectest::RunCommand(
      python + " " OLEFILE_PROPS_SCRIPT " '" + file.string() + "' '" + stream + "' " +
          std::to_string(section),
      &status);
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
  std::vector<PROPSPEC> specs{{PRSPEC_PROPID, {PID_CODEPAGE}}, {PRSPEC_PROPID, {PID_LOCALE}}};
  ComPtr<IEnumSTATPROPSTG> list;
  EXPECT_EQ(set->Enum(list.Out()), S_OK);
  STATPROPSTG entry;
  ULONG fetched = 0;
  while (list->Next(1, &entry, &fetched) == S_OK) {
    CoTaskMemFree(entry.lpwstrName);
    specs.push_back({PRSPEC_PROPID, {entry.propid}});
  }
  std::vector<PROPVARIANT> values(specs.size());
  EXPECT_EQ(set->ReadMultiple(static_cast<ULONG>(specs.size()), specs.data(), values.data()), S_OK);
  std::set<std::string> lines;
  lines.insert("1 c " + std::to_string(values[0].uiVal));
  for (std::size_t i = 1; i < specs.size(); ++i) {
    const std::string line = rectest::OlefileLine(specs[i].propid, values[i]);
    if (!line.empty()) lines.insert(line);
  }
  for (PROPVARIANT& v : values) PropVariantClear(&v);
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
        std::wstring name = L"p" + std::to_wstring(100 + i);
        PROPSPEC spec{PRSPEC_LPWSTR, {}};
        spec.lpwstr = name.data();
        ASSERT_EQ(set->WriteMultiple(1, &spec, &written.values[i].get(), 3), S_OK);
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

std::vector<PropVariantHolder> ValuesOlefileKnows() {
  using namespace rectest;
  return {Fixed(VT_I2, 0xFF85), Fixed(VT_UI2, 65000), Fixed(VT_UI1, 250), Fixed(VT_I4, 0xFFFFFFFE),
          Fixed(VT_UI4, 3000000000u), Fixed(VT_ERROR, 0x80030002), Fixed(VT_BOOL, 0xFFFF),
          Fixed(VT_BOOL, 0), Fixed(VT_FILETIME, 0x01D9A1B2C3D4E5F6ull), Lpwstr(L"\u65E5\u672C\u8A9E"),
          Blob({0, 1, 2, 0xFF}), ClipData(3, {7, 7, 7, 7, 7}),
          Clsid({0x71CCAC61, 0x82F1, 0x415D, {0xA1, 0xA0, 0x26, 0x85, 0xB3, 0x8C, 0x3C, 0x44}}),
          FixedVector(VT_I2, {1, 2, 3}), Fixed(VT_UI8, 5)};  // olefile skips vectors and 64-bit values
}

constexpr FMTID kDeviceFmtid = {0x71CCAC61, 0x82F1, 0x415D, {0xA1, 0xA0, 0x26, 0x85, 0xB3, 0x8C, 0x3C, 0x44}};
constexpr const char* kDeviceStream = "\\x05Bdlz2yf4CmxcuqcuGjbhlgshEc";

// olefile reads narrow strings of Unicode sets as raw bytes, so those are checked in the ANSI
// set only.
TEST(PropertySetPeers, SetsWeWriteReadInOlefile) {
  auto values = ValuesOlefileKnows();
  values.push_back(rectest::Lpstr("Gr\xC3\xBC\xC3\x9F" "e"));
  values.push_back(rectest::Bstr(L"\u20AC 5"));
  CheckWrittenSetsAgainstOlefile({{kDeviceFmtid, PROPSETFLAG_ANSI, values, "1252", kDeviceStream, 0}});
  CheckWrittenSetsAgainstOlefile({{kDeviceFmtid, 0, ValuesOlefileKnows(), "1200", kDeviceStream, 0}});
}

// The document summary and the user-defined properties share one stream: after both were
// created, in either order, olefile reads each as its section.
TEST(PropertySetPeers, DocumentSummaryAndUserDefinedSectionsReadInOlefile) {
  const char* stream = "\\x05DocumentSummaryInformation";
  std::vector<WrittenSet> sets{
      {FMTID_DocSummaryInformation, PROPSETFLAG_ANSI, {rectest::Lpstr("cat")}, "1252", stream, 0},
      {FMTID_UserDefinedProperties, 0, {rectest::Lpwstr(L"me"), rectest::Fixed(VT_I4, 7)}, "1200", stream, 1}};
  CheckWrittenSetsAgainstOlefile(sets);
  std::reverse(sets.begin(), sets.end());
  CheckWrittenSetsAgainstOlefile(sets);
}

}  // namespace
}  // namespace recfilereader
