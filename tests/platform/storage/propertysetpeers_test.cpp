// Property sets against an independent reader (python3-olefile): the summary sets of real
// office documents read by us give olefile's values, and sets we write are read by olefile
// with the values we wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
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

// olefile's lines for one section of a stream; skipped (empty, *skip set) when olefile is
// missing.
std::set<std::string> OlefileView(const std::filesystem::path& file, const std::string& stream,
                                  bool* skip, int section = 0) {
  const std::string python = rectest::PythonWithOlefile();
  *skip = python.empty();
  if (*skip) return {};
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
  std::vector<PROPSPEC> specs;
  for (PROPID id : {PROPID{PID_CODEPAGE}, PROPID{PID_LOCALE}}) specs.push_back({PRSPEC_PROPID, {id}});
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
  if (rectest::SharedDir().empty() || !std::filesystem::exists(corpus)) GTEST_SKIP() << "no corpus";
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
    for (const auto& [fmtid, name] : streams) {
      SCOPED_TRACE(name);
      bool skip = false;
      const auto expected = OlefileView(entry.path(), name, &skip);
      if (skip) GTEST_SKIP() << "python3-olefile is not installed";
      EXPECT_EQ(OurView(doc.root(), fmtid), expected);
    }
    ++files;
  }
  EXPECT_GE(files, 6);
}

// A set as a device configuration holds it, written through our property storage and our
// compound document, then read by olefile.
void CheckWrittenSetAgainstOlefile(DWORD flags, const std::vector<PropVariantHolder>& values,
                                   const std::string& expected_code_page) {
  rectest::MemoryDocument doc;
  ASSERT_TRUE(doc.ok());
  const FMTID fmtid = {0x71CCAC61, 0x82F1, 0x415D, {0xA1, 0xA0, 0x26, 0x85, 0xB3, 0x8C, 0x3C, 0x44}};
  // The locale every set written here carries.
  std::set<std::string> expected{"1 c " + expected_code_page, "2147483648 i 1033"};
  {
    ComPtr<IPropertySetStorage> sets;
    ASSERT_EQ(StgCreatePropSetStg(doc.root(), 0, sets.Out()), S_OK);
    ComPtr<IPropertyStorage> set;
    ASSERT_EQ(sets->Create(fmtid, nullptr, flags, kCreate, set.Out()), S_OK);
    std::vector<std::wstring> names;
    for (std::size_t i = 0; i < values.size(); ++i) names.push_back(L"p" + std::to_wstring(100 + i));
    for (std::size_t i = 0; i < values.size(); ++i) {
      PROPSPEC spec{};
      spec.ulKind = PRSPEC_LPWSTR;
      spec.lpwstr = names[i].data();
      ASSERT_EQ(set->WriteMultiple(1, &spec, &values[i].get(), 3), S_OK);
      const std::string line = rectest::OlefileLine(static_cast<PROPID>(3 + i), values[i].get());
      if (!line.empty()) expected.insert(line);
    }
    ASSERT_EQ(set->Commit(STGC_DEFAULT), S_OK);
  }
  rectest::TempDir dir;
  rectest::WriteFileBytes(dir / "ours.cfb", doc.Finish());
  bool skip = false;
  const auto seen = OlefileView(dir / "ours.cfb", "\\x05Bdlz2yf4CmxcuqcuGjbhlgshEc", &skip);
  if (skip) GTEST_SKIP() << "python3-olefile is not installed";
  EXPECT_EQ(seen, expected);
}

std::vector<PropVariantHolder> ValuesOlefileKnows() {
  using namespace rectest;
  std::vector<PropVariantHolder> v;
  v.push_back(Fixed(VT_I2, 0xFF85));
  v.push_back(Fixed(VT_UI2, 65000));
  v.push_back(Fixed(VT_UI1, 250));
  v.push_back(Fixed(VT_I4, 0xFFFFFFFE));
  v.push_back(Fixed(VT_UI4, 3000000000u));
  v.push_back(Fixed(VT_ERROR, 0x80030002));
  v.push_back(Fixed(VT_BOOL, 0xFFFF));
  v.push_back(Fixed(VT_BOOL, 0));
  v.push_back(Fixed(VT_FILETIME, 0x01D9A1B2C3D4E5F6ull));
  v.push_back(Lpwstr(L"\u65E5\u672C\u8A9E"));
  v.push_back(Blob({0, 1, 2, 0xFF}));
  v.push_back(ClipData(3, {7, 7, 7, 7, 7}));
  v.push_back(Clsid({0x71CCAC61, 0x82F1, 0x415D, {0xA1, 0xA0, 0x26, 0x85, 0xB3, 0x8C, 0x3C, 0x44}}));
  v.push_back(FixedVector(VT_I2, {1, 2, 3}));  // olefile skips vectors and 64-bit values
  v.push_back(Fixed(VT_UI8, 5));
  return v;
}

TEST(PropertySetPeers, AnsiSetWeWriteReadsInOlefile) {
  auto values = ValuesOlefileKnows();
  values.push_back(rectest::Lpstr("Gr\xC3\xBC\xC3\x9F" "e"));
  values.push_back(rectest::Bstr(L"\u20AC 5"));
  CheckWrittenSetAgainstOlefile(PROPSETFLAG_ANSI, values, "1252");
}

// olefile reads narrow strings of Unicode sets as raw bytes, so only ASCII-free checks there.
TEST(PropertySetPeers, UnicodeSetWeWriteReadsInOlefile) {
  CheckWrittenSetAgainstOlefile(PROPSETFLAG_DEFAULT, ValuesOlefileKnows(), "1200");
}

// The document summary and the user-defined properties share one stream: after both were
// created, in either order, olefile reads each as its section.
TEST(PropertySetPeers, DocumentSummaryAndUserDefinedSectionsReadInOlefile) {
  for (bool user_defined_first : {false, true}) {
    SCOPED_TRACE(user_defined_first);
    rectest::MemoryDocument doc;
    ASSERT_TRUE(doc.ok());
    const PropVariantHolder category = rectest::Lpstr("cat"), owner = rectest::Lpstr("me");
    PROPSPEC by_id{PRSPEC_PROPID, {2}}, by_name{PRSPEC_LPWSTR, {}};
    by_name.lpwstr = const_cast<wchar_t*>(L"Owner");
    const std::tuple<FMTID, PROPSPEC, const PropVariantHolder*> writes[] = {
        {FMTID_DocSummaryInformation, by_id, &category}, {FMTID_UserDefinedProperties, by_name, &owner}};
    {
      ComPtr<IPropertySetStorage> sets;
      ASSERT_EQ(StgCreatePropSetStg(doc.root(), 0, sets.Out()), S_OK);
      for (int i = 0; i < 2; ++i) {
        const auto& [fmtid, spec, value] = writes[user_defined_first ? 1 - i : i];
        ComPtr<IPropertyStorage> set;
        ASSERT_EQ(sets->Create(fmtid, nullptr, PROPSETFLAG_ANSI, kCreate, set.Out()), S_OK);
        ASSERT_EQ(set->WriteMultiple(1, &spec, &value->get(), 3), S_OK);
      }
    }
    rectest::TempDir dir;
    rectest::WriteFileBytes(dir / "ours.cfb", doc.Finish());
    const std::string stream = "\\x05DocumentSummaryInformation";
    bool skip = false;
    const std::set<std::string> common{"1 c 1252", "2147483648 i 1033"};
    auto expected = common;
    expected.insert(rectest::OlefileLine(2, category.get()));
    EXPECT_EQ(OlefileView(dir / "ours.cfb", stream, &skip, 0), expected);
    if (skip) GTEST_SKIP() << "python3-olefile is not installed";
    expected = common;
    expected.insert(rectest::OlefileLine(3, owner.get()));
    EXPECT_EQ(OlefileView(dir / "ours.cfb", stream, &skip, 1), expected);
  }
}

}  // namespace
}  // namespace recfilereader
