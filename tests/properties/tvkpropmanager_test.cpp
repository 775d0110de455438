#include "properties/tvkpropmanager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/propvarianttext.h"

namespace recfilereader {
namespace {

using namespace rectest;

// A small declared table whose members a test can change behind the table's back.
class TestTable final : public CTVKPropManager {
 public:
  bool ProcessProperties(PropertyRequest& request) override {
    return OfferProperty(request, L"Names", list, kPropertyFlagReadOnly, MakePropertyDescriptor(false)) ||
           OfferProperty(request, L"Fixed", fixed, kPropertyFlagReadOnly, MakePropertyDescriptor(true)) ||
           OfferProperty(request, L"Level", level, 0, MakePropertyDescriptor(false)) ||
           OfferProperty(request, L"Hidden", hidden, kPropertyFlagUnhashed, MakePropertyDescriptor(false));
  }
  bool CanSetProperty(const wchar_t*, const PROPVARIANT*) override { return allow_set; }
  void OnPropertyChanged(const wchar_t* name) override { changed.push_back(name); }

  std::vector<std::wstring> names{L"one", L"two"};
  const std::vector<std::wstring>* list = &names;
  LONG fixed = 5;
  LONG level = 1;
  LONG hidden = 9;
  bool allow_set = true;
  std::vector<std::wstring> changed;
};

// A list reads as one text or a vector of texts, is never writable, and is no property at all
// while absent.
TEST(TVKPropManagerTest, ListProperty) {
  TestTable table;
  PropVariantHolder value;
  ASSERT_TRUE(table.GetProperty(L"names", &value.get()));
  EXPECT_EQ(Describe(value.get()), "VECTOR|31 [\"one\", \"two\"]");
  EXPECT_FALSE(table.SetProperty(L"Names", &Lpwstr(L"x").get()));
  table.names = {L"only"};
  PropVariantHolder single;
  ASSERT_TRUE(table.GetProperty(L"Names", &single.get()));
  EXPECT_EQ(Describe(single.get()), "31 \"only\"");

  EXPECT_EQ(table.GetPropertyCount(), 4);
  table.list = nullptr;
  EXPECT_EQ(table.GetPropertyCount(), 3);
  wchar_t name[16];
  ASSERT_TRUE(table.GetPropertyName(0, name, 16));
  EXPECT_STREQ(name, L"Fixed");
  EXPECT_FALSE(table.GetProperty(L"Names", &value.get()));
}

// The hash is cached until a set succeeds; a set the table or its hook refuses changes nothing.
TEST(TVKPropManagerTest, SetsConvertIntoTheMemberAndDirtyTheHashUnlessRefused) {
  TestTable table;
  const DWORD initial = table.GetTableHash();
  EXPECT_EQ(initial, 0xFFFFFFFEu);  // only Level (1) counts
  table.level = 2;                  // behind the table's back: the cached hash stays
  PropVariantHolder text = Lpwstr(L"42");
  EXPECT_FALSE(table.SetProperty(L"Fixed", &I4(3).get()));  // read-only
  table.allow_set = false;
  EXPECT_FALSE(table.SetProperty(L"Level", &text.get()));
  EXPECT_EQ(std::tuple(table.GetTableHash(), table.fixed, table.level), std::tuple(initial, 5, 2));
  EXPECT_TRUE(table.changed.empty());
  table.allow_set = true;
  EXPECT_TRUE(table.SetProperty(L"Hidden", &I4(0).get()));  // any successful set dirties it
  EXPECT_EQ(table.GetTableHash(), 0xFFFFFFFDu);
  ASSERT_TRUE(table.SetProperty(L"Level", &text.get()));
  EXPECT_EQ(table.level, 42);
  EXPECT_STREQ(text->pwszVal, L"42");  // the caller's value is not cleared, not copied into
  EXPECT_EQ(table.changed, (std::vector<std::wstring>{L"Hidden", L"Level"}));
}

}  // namespace
}  // namespace recfilereader
