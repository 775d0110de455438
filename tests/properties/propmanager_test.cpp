#include "properties/propmanager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/exceptions.h"
#include "support/propvarianttext.h"

namespace recfilereader {
namespace {

using namespace rectest;

// Names are one regardless of case, keep their first spelling and sort case-insensitively;
// every name is writable.
TEST(PropManagerTest, NamesIgnoreCase) {
  CPropManager table;
  for (const wchar_t* name : {L"beta", L"Alpha", L"gamma"}) table.SetProperty(name, &I4(1).get());
  EXPECT_TRUE(table.SetProperty(L"BETA", &Lpwstr(L"second").get()));
  ASSERT_EQ(table.GetPropertyCount(), 3);
  std::wstring names;
  for (LONG i = 0; i < 3; ++i) {
    wchar_t name[16];
    ASSERT_TRUE(table.GetPropertyName(i, name, 16));
    names += name + std::wstring(L" ");
  }
  EXPECT_EQ(names, L"Alpha beta gamma ");
  PropVariantHolder value;
  ASSERT_TRUE(table.GetProperty(L"Beta", &value.get()));
  EXPECT_STREQ(value->pwszVal, L"second");
  wchar_t name[16] = L"untouched";
  EXPECT_FALSE(table.GetPropertyName(3, name, 16) || table.GetPropertyName(-1, name, 16));
  EXPECT_TRUE(table.GetPropertyName(0, name, 3));
  EXPECT_STREQ(name, L"Al");
  ULONG flags = 7;
  EXPECT_TRUE(table.GetPropertyFlags(L"anything", &flags));
  EXPECT_EQ(flags, 0u);
}

// Values go in and out as deep copies, in copies of the table too; a value with no copy is
// refused without a trace.
TEST(PropManagerTest, ValuesAreDeepCopiesEveryWay) {
  CPropManager table;
  table.SetProperty(L"Name", &Lpwstr(L"kept").get());  // the caller's value is gone; the table's copy is not
  PropVariantHolder out = Lpwstr(L"previous");         // replaced without a leak
  ASSERT_TRUE(table.GetProperty(L"Name", &out.get()));
  EXPECT_STREQ(out->pwszVal, L"kept");
  EXPECT_NE(out->pwszVal, table.Find(L"Name")->pwszVal);
  PropVariantHolder absent = I4(5);
  EXPECT_FALSE(table.GetProperty(L"Other", &absent.get()) || table.GetProperty(nullptr, &absent.get()));
  EXPECT_EQ(absent->lVal, 5);

  table.Put(L"A", I4(1).get());
  table.Put(L"B", Lpwstr(L"b").get());
  EXPECT_FALSE(table.DeletePropertyByName(L"C"));
  EXPECT_TRUE(table.DeletePropertyByName(L"a") && table.DeletePropertyByName(L"name"));
  CPropManager copy(table);
  table.Put(L"B", Lpwstr(L"changed").get());
  EXPECT_STREQ(copy.Find(L"B")->pwszVal, L"b");
  CPropManager other;
  other.Put(L"b", I4(2).get());
  other.Put(L"D", I4(4).get());
  copy.Merge(other);
  EXPECT_EQ(copy.GetPropertyCount(), 2);
  EXPECT_EQ(copy.Find(L"B")->vt, VT_I4);
  copy.Assign(table);
  EXPECT_EQ(copy.GetPropertyCount(), 1);
  EXPECT_STREQ(copy.Find(L"B")->pwszVal, L"changed");

  PropVariantHolder bad;
  bad->vt = VT_VECTOR | VT_DECIMAL;  // no vector form to copy
  EXPECT_FALSE(copy.SetProperty(L"Bad", &bad.get()));
  EXPECT_EQ(copy.GetPropertyCount(), 1);
  EXPECT_THROW(copy.Put(L"Bad", bad.get()), com_error);
  bad->vt = VT_EMPTY;
}

TEST(PropManagerTest, TableHashOfKnownTablesFollowsChanges) {
  struct Case {
    const char* name;
    PropVariantHolder value;
    DWORD hash;
  };
  Case cases[] = {
      {"I4 1", I4(1), 0xFFFFFFFE}, {"bytes sign-extend", UI1(0x80), 0x0000007F},
      {"wide text as UTF-16 with a surrogate pair", Lpwstr(L"a\U0001F600"), 0xFFFFFFA5},
      {"narrow text with its terminator", Lpstr("h\xC3\xA9"), 0xFFFFFFFD},
      {"scalar GUID: the 16 bytes it points to (choice)", Clsid(kSampleGuid), 0x00000005},
      {"status codes do not count", Err(0x1234), 0xFFFFFFFF}, {"empty values do not count", PropVariantHolder(), 0xFFFFFFFF},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    CPropManager table;
    table.Put(L"P", c.value.get());
    EXPECT_EQ(table.GetTableHash(), c.hash);
  }
  CPropManager table;  // the cached hash follows every change; FILETIME and BLOB count here
  table.SetProperty(L"X", &I4(1).get());
  EXPECT_EQ(table.GetTableHash(), 0xFFFFFFFEu);
  table.SetProperty(L"x", &I4(3).get());
  EXPECT_EQ(table.GetTableHash(), 0xFFFFFFFCu);
  table.DeletePropertyByName(L"X");
  EXPECT_EQ(table.GetTableHash(), 0xFFFFFFFFu);
  table.Put(L"Time", FileTime(0x1dd84dca2347000).get());
  table.Put(L"Data", Blob({1, 0x90, 3}).get());
  EXPECT_EQ(table.GetTableHash(), 0x0000000Fu);
}

}  // namespace
}  // namespace recfilereader
