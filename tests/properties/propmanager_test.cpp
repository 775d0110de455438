#include "properties/propmanager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/exceptions.h"
#include "varhelpers.h"

namespace recfilereader {
namespace {

using namespace proptest;

// Names are one regardless of case, keep their first spelling and sort case-insensitively;
// every name is writable.
TEST(PropManagerTest, NamesIgnoreCase) {
  CPropManager table;
  for (const wchar_t* name : {L"beta", L"Alpha", L"gamma"}) table.SetProperty(name, I4(1).p());
  EXPECT_TRUE(table.SetProperty(L"BETA", WStr(L"second").p()));
  ASSERT_EQ(table.GetPropertyCount(), 3);
  const wchar_t* expected[] = {L"Alpha", L"beta", L"gamma"};
  for (LONG i = 0; i < 3; ++i) {
    wchar_t name[16];
    ASSERT_TRUE(table.GetPropertyName(i, name, 16));
    EXPECT_STREQ(name, expected[i]);
  }
  Var value;
  ASSERT_TRUE(table.GetProperty(L"Beta", &value.v));
  EXPECT_STREQ(value.v.pwszVal, L"second");
  wchar_t name[16] = L"untouched";
  EXPECT_FALSE(table.GetPropertyName(3, name, 16));
  EXPECT_FALSE(table.GetPropertyName(-1, name, 16));
  EXPECT_TRUE(table.GetPropertyName(0, name, 3));
  EXPECT_STREQ(name, L"Al");
  ULONG flags = 7;
  EXPECT_TRUE(table.GetPropertyFlags(L"anything", &flags));
  EXPECT_EQ(flags, 0u);
}

TEST(PropManagerTest, ValuesAreDeepCopiesBothWays) {
  CPropManager table;
  {
    Var text = WStr(L"kept");
    table.SetProperty(L"Name", &text.v);
  }  // the caller's value is gone; the table's copy is not
  Var out = WStr(L"previous");  // replaced without a leak
  ASSERT_TRUE(table.GetProperty(L"Name", &out.v));
  EXPECT_STREQ(out.v.pwszVal, L"kept");
  EXPECT_NE(out.v.pwszVal, table.Find(L"Name")->pwszVal);

  Var absent = I4(5);
  EXPECT_FALSE(table.GetProperty(L"Other", &absent.v));
  EXPECT_EQ(absent.v.lVal, 5);
  EXPECT_FALSE(table.GetProperty(nullptr, &absent.v));
}

TEST(PropManagerTest, DeleteAndOwnerOperations) {
  CPropManager table;
  table.Put(L"A", I4(1).v);
  table.Put(L"B", WStr(L"b").v);
  EXPECT_FALSE(table.DeletePropertyByName(L"C"));
  EXPECT_TRUE(table.DeletePropertyByName(L"a"));
  EXPECT_EQ(table.GetPropertyCount(), 1);

  CPropManager copy(table);
  table.Put(L"B", WStr(L"changed").v);
  EXPECT_STREQ(copy.Find(L"B")->pwszVal, L"b");

  CPropManager other;
  other.Put(L"b", I4(2).v);
  other.Put(L"D", I4(4).v);
  copy.Merge(other);
  EXPECT_EQ(copy.GetPropertyCount(), 2);
  EXPECT_EQ(copy.Find(L"B")->vt, VT_I4);
  copy.Assign(table);
  EXPECT_EQ(copy.GetPropertyCount(), 1);
  EXPECT_STREQ(copy.Find(L"B")->pwszVal, L"changed");
}

TEST(PropManagerTest, UncopyableValueIsRefusedWithoutTrace) {
  CPropManager table;
  Var bad;
  bad.v.vt = VT_VECTOR | VT_DECIMAL;  // no vector form to copy
  EXPECT_FALSE(table.SetProperty(L"Bad", &bad.v));
  EXPECT_EQ(table.GetPropertyCount(), 0);
  EXPECT_THROW(table.Put(L"Bad", bad.v), com_error);
  bad.v.vt = VT_EMPTY;
}

TEST(PropManagerTest, TableHashOfKnownTables) {
  struct Case {
    const char* name;
    Var value;
    DWORD hash;
  };
  std::vector<Case> cases;
  cases.push_back({"I4 1", I4(1), 0xFFFFFFFE});
  cases.push_back({"bytes sign-extend", UI1(0x80), 0x0000007F});
  cases.push_back({"wide text as UTF-16 with a surrogate pair", WStr(L"a\U0001F600"), 0xFFFFFFA5});
  cases.push_back({"narrow text with its terminator", Str("h\xC3\xA9"), 0xFFFFFFFD});
  cases.push_back({"scalar GUID: the 16 bytes it points to (choice)", Guid(kSampleGuid), 0x00000005});
  cases.push_back({"status codes do not count", Err(0x1234), 0xFFFFFFFF});
  cases.push_back({"empty values do not count", Var(), 0xFFFFFFFF});
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    CPropManager table;
    table.Put(L"P", c.value.v);
    EXPECT_EQ(table.GetTableHash(), c.hash);
  }
  CPropManager mixed;  // FILETIME and BLOB count in this table
  mixed.Put(L"Time", FileTime(0x1dd84dca2347000).v);
  mixed.Put(L"Data", Blob({1, 0x90, 3}).v);
  EXPECT_EQ(mixed.GetTableHash(), 0x0000000Fu);
}

TEST(PropManagerTest, HashFollowsChanges) {
  CPropManager table;
  EXPECT_EQ(table.GetTableHash(), 0xFFFFFFFFu);
  table.SetProperty(L"X", I4(1).p());
  EXPECT_EQ(table.GetTableHash(), 0xFFFFFFFEu);
  table.SetProperty(L"x", I4(3).p());
  EXPECT_EQ(table.GetTableHash(), 0xFFFFFFFCu);
  table.DeletePropertyByName(L"X");
  EXPECT_EQ(table.GetTableHash(), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace recfilereader
