#include "platform/textconv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <set>
#include <vector>

namespace recfilereader {
namespace {

TEST(TextConv, RoundTripsOutsideTheBasicPlane) {
  const std::wstring text = L"Gr\u00FC\u00DFe \u20AC \U0001F600";
  EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
  EXPECT_EQ(WideToUtf8(text), "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80");
  const auto le = WideToUtf16Le(text);
  EXPECT_EQ(Utf16LeToWide(le.data(), le.size()), text);
  // U+1F600 takes a surrogate pair: 4 bytes D83D DE00, little-endian.
  ASSERT_GE(le.size(), 4u);
  EXPECT_EQ(std::vector<std::uint8_t>(le.end() - 4, le.end()), (std::vector<std::uint8_t>{0x3D, 0xD8, 0x00, 0xDE}));
}

TEST(TextConv, IllFormedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToWide("a\xC3"), L"a\uFFFD");        // truncated sequence
  EXPECT_EQ(Utf8ToWide("\xC0\x80"), L"\uFFFD");       // overlong NUL
  EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), L"\uFFFD");   // encoded surrogate
  const std::uint8_t lone_high[] = {0x00, 0xD8, 0x41, 0x00, 0x42};  // odd byte ignored
  EXPECT_EQ(Utf16LeToWide(lone_high, sizeof lone_high), L"\uFFFDA");
}

// Case folds in every script and ASCII sorts as lower case. A host may set any locale while maps
// keyed by WideNoCaseLess live: their order, lookups and folds stay as they were (in a Turkish
// locale, I and i are no longer each other's case there).
TEST(TextConv, NoCaseCompareFoldsEveryScriptTheSameInEveryLocale) {
  EXPECT_LT(WideCompareNoCase(L"abc", L"ABD"), 0);
  EXPECT_LT(WideCompareNoCase(L"ab", L"abc"), 0);
  EXPECT_LT(WideCompareNoCase(L"A_", L"aa"), 0) << "_ sorts before letters, as with _wcsicmp";
  EXPECT_EQ(WideToLower(L"ÀÉİ\U00010400"), L"àéi\U00010400") << "beyond U+FFFF nothing changes";
  const std::vector<std::wstring> names = {L"CacheIsTransparent", L"Äb", L"äa", L"ıd", L"Ic", L"ſe", L"Sf", L"µ", L"Ā"};
  const auto sorted = [&] {
    std::vector<std::wstring> v = names;
    std::sort(v.begin(), v.end(), WideNoCaseLess{});
    return v;
  };
  const auto expect_folds = [] {
    for (const auto& [a, b] : {std::pair{L"CacheIsTransparent", L"CACHEISTRANSPARENT"}, {L"ōsaka", L"ŌSAKA"},
                               {L"łódź", L"ŁÓDŹ"}, {L"ｆｕｌｌ", L"ＦＵＬＬ"}, {L"հայ", L"ՀԱՅ"}, {L"µ", L"Μ"},
                               {L"ı", L"I"}, {L"ſ", L"s"}}) {
      EXPECT_EQ(WideCompareNoCase(a, b), 0) << WideToUtf8(a);
    }
  };
  expect_folds();
  const std::vector<std::wstring> before = sorted();
  const std::set<std::wstring, WideNoCaseLess> live(names.begin(), names.end());
  const std::string old_locale = std::setlocale(LC_ALL, nullptr);
  const char* chosen = nullptr;
  for (const char* name : {"tr_TR.UTF-8", "tr_TR.utf8", "C.UTF-8"}) {
    if ((chosen = std::setlocale(LC_ALL, name)) != nullptr) break;
  }
  if (chosen == nullptr) GTEST_SKIP() << "no locale besides C";
  SCOPED_TRACE(chosen);
  expect_folds();
  EXPECT_EQ(sorted(), before);
  EXPECT_EQ(live.count(L"CACHEISTRANSPARENT"), 1u);
  for (const std::wstring& name : names) EXPECT_EQ(live.count(name), 1u) << WideToUtf8(name);
  std::setlocale(LC_ALL, old_locale.c_str());
}

}  // namespace
}  // namespace recfilereader
