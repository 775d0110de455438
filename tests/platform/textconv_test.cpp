#include "platform/textconv.h"

#include <gtest/gtest.h>

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
  EXPECT_EQ(le[le.size() - 4], 0x3D);
  EXPECT_EQ(le[le.size() - 3], 0xD8);
  EXPECT_EQ(le[le.size() - 2], 0x00);
  EXPECT_EQ(le[le.size() - 1], 0xDE);
}

TEST(TextConv, IllFormedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToWide("a\xC3"), L"a\uFFFD");        // truncated sequence
  EXPECT_EQ(Utf8ToWide("\xC0\x80"), L"\uFFFD");       // overlong NUL
  EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), L"\uFFFD");   // encoded surrogate
  const std::uint8_t lone_high[] = {0x00, 0xD8, 0x41, 0x00, 0x42};  // odd byte ignored
  EXPECT_EQ(Utf16LeToWide(lone_high, sizeof lone_high), L"\uFFFDA");
}

TEST(TextConv, CompareNoCaseOrdersLikeWcsicmp) {
  EXPECT_EQ(WideCompareNoCase(L"Description", L"DESCRIPTION"), 0);
  EXPECT_LT(WideCompareNoCase(L"abc", L"ABD"), 0);
  EXPECT_LT(WideCompareNoCase(L"ab", L"abc"), 0);
  EXPECT_GT(WideCompareNoCase(L"b", L"A"), 0);
}

}  // namespace
}  // namespace recfilereader
