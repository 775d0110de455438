#include "platform/decimal.h"
#include "platform/hresults.h"
#include "recfilereader/propvariant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace recfilereader {
namespace {

DECIMAL Dec(ULONG hi, ULONG mid, ULONG lo, BYTE scale, bool negative = false) {
  DECIMAL d{};
  d.Hi32 = hi;
  d.Mid32 = mid;
  d.Lo32 = lo;
  d.scale = scale;
  d.sign = negative ? DECIMAL_NEG : 0;
  return d;
}
DECIMAL Small(ULONG lo, BYTE scale, bool negative = false) { return Dec(0, 0, lo, scale, negative); }

void ExpectDecimal(const DECIMAL& d, ULONG hi, ULONG mid, ULONG lo, BYTE scale, bool negative) {
  EXPECT_EQ(d.Hi32, hi);
  EXPECT_EQ(d.Mid32, mid);
  EXPECT_EQ(d.Lo32, lo);
  EXPECT_EQ(d.scale, scale);
  EXPECT_EQ(d.sign, negative ? DECIMAL_NEG : 0);
}

struct TextCase {
  const wchar_t* text;
  HRESULT result;
  ULONG hi, mid, lo;
  BYTE scale;
  bool negative;
};

TEST(DecimalTest, ParsesEnglishText) {
  // 79228162514264337593543950335 = 2^96 - 1; 10^20 = 0x5_6BC75E2D_63100000.
  const TextCase cases[] = {
      {L"1.50", S_OK, 0, 0, 150, 2, false},  {L"  -1,234.5e2 ", S_OK, 0, 0, 123450, 0, true},
      {L"(12)", S_OK, 0, 0, 12, 0, true},    {L"12-", S_OK, 0, 0, 12, 0, true},
      {L"$5", S_OK, 0, 0, 5, 0, false},      {L".25", S_OK, 0, 0, 25, 2, false},
      {L"-0", S_OK, 0, 0, 0, 0, false},
      {L"1e20", S_OK, 5, 0x6BC75E2D, 0x63100000, 0, false},
      {L"79228162514264337593543950335", S_OK, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0, false},
      // 28 integer digits and ".55": 29 digits round up past 2^96, so a 28-digit integer.
      {L"7922816251426433759354395033.55", S_OK, 0x19999999, 0x99999999, 0x9999999A, 0, false},
      // More fraction digits than scale 28 holds: ...678|901 rounds up.
      {L"0.1234567890123456789012345678901", S_OK, 0x03FD35EB, 0x6D797A91, 0xBE38F34F, 28, false},
      {L"0.00000000000000000000000000005", S_OK, 0, 0, 0, 28, false},  // half to even: 0
      {L"79228162514264337593543950336", DISP_E_OVERFLOW, 0, 0, 0, 0, false},
      {L"1e29", DISP_E_OVERFLOW, 0, 0, 0, 0, false},       {L"", DISP_E_TYPEMISMATCH, 0, 0, 0, 0, false},
      {L"abc", DISP_E_TYPEMISMATCH, 0, 0, 0, 0, false},   {L"1e", DISP_E_TYPEMISMATCH, 0, 0, 0, 0, false},
      {L"--1", DISP_E_TYPEMISMATCH, 0, 0, 0, 0, false},   {L"(12", DISP_E_TYPEMISMATCH, 0, 0, 0, 0, false},
      {L"&H10", DISP_E_TYPEMISMATCH, 0, 0, 0, 0, false},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
    DECIMAL d = Small(77, 1);
    const HRESULT hr = VarDecFromStr(c.text, kLocaleEnglishUs, LOCALE_NOUSEROVERRIDE, &d);
    EXPECT_EQ(hr, c.result);
    if (hr == S_OK) ExpectDecimal(d, c.hi, c.mid, c.lo, c.scale, c.negative);
    else ExpectDecimal(d, 0, 0, 77, 1, false);  // a failed conversion leaves the target
  }
}

TEST(DecimalTest, FromDoubleKeepsFifteenSignificantDigits) {
  struct Case {
    double value;
    HRESULT result;
    ULONG mid, lo;
    BYTE scale;
    bool negative;
  } cases[] = {
      {0.1, S_OK, 0, 1, 1, false}, {-2.5, S_OK, 0, 25, 1, true}, {100.0, S_OK, 0, 100, 0, false},
      {1.0 / 3.0, S_OK, 0x00012F2A, 0x36ECD555, 15, false},  // 333333333333333
      {123456789012345678.0, S_OK, 0x01B69B4B, 0xA630F490, 0, false},  // 123456789012346000
      {1e-30, S_OK, 0, 0, 28, false}, {8e28, DISP_E_OVERFLOW, 0, 0, 0, false},
      {std::numeric_limits<double>::quiet_NaN(), DISP_E_OVERFLOW, 0, 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    DECIMAL d{};
    EXPECT_EQ(VarDecFromR8(c.value, &d), c.result);
    if (c.result == S_OK) ExpectDecimal(d, 0, c.mid, c.lo, c.scale, c.negative);
  }
  DECIMAL f{};
  ASSERT_EQ(VarDecFromR4(0.1f, &f), S_OK);  // seven digits: exactly one tenth
  ExpectDecimal(f, 0, 0, 1, 1, false);
}

TEST(DecimalTest, IntegerResultsRoundHalfToEvenAndReportOverflow) {
  LONG l = 99;
  const DECIMAL two_half = Small(25, 1);
  EXPECT_EQ(VarI4FromDec(&two_half, &l), S_OK);
  EXPECT_EQ(l, 2);
  const DECIMAL three_half = Small(35, 1), minus_two_half = Small(25, 1, true), above = Small(251, 2);
  EXPECT_EQ(VarI4FromDec(&three_half, &l), S_OK);
  EXPECT_EQ(l, 4);
  EXPECT_EQ(VarI4FromDec(&minus_two_half, &l), S_OK);
  EXPECT_EQ(l, -2);
  EXPECT_EQ(VarI4FromDec(&above, &l), S_OK);
  EXPECT_EQ(l, 3);

  CHAR c = 5;
  const DECIMAL i1_over = Small(1275, 1), i1_min = Small(1285, 1, true);
  EXPECT_EQ(VarI1FromDec(&i1_over, &c), DISP_E_OVERFLOW);  // 127.5 rounds to 128
  EXPECT_EQ(c, 5);
  EXPECT_EQ(VarI1FromDec(&i1_min, &c), S_OK);  // -128.5 rounds to -128
  EXPECT_EQ(c, -128);

  ULONG u = 7;
  const DECIMAL small_negative = Small(4, 1, true), minus_one = Small(1, 0, true);
  EXPECT_EQ(VarUI4FromDec(&small_negative, &u), S_OK);
  EXPECT_EQ(u, 0u);
  EXPECT_EQ(VarUI4FromDec(&minus_one, &u), DISP_E_OVERFLOW);

  const DECIMAL max96 = Dec(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0);
  ULONGLONG u8 = 0;
  EXPECT_EQ(VarUI8FromDec(&max96, &u8), DISP_E_OVERFLOW);
  const DECIMAL i8_min = Dec(0, 0x80000000, 0, 0, true);
  LONGLONG i8 = 0;
  EXPECT_EQ(VarI8FromDec(&i8_min, &i8), S_OK);
  EXPECT_EQ(i8, std::numeric_limits<LONGLONG>::min());
  const DECIMAL invalid = Small(1, 29);
  EXPECT_EQ(VarI8FromDec(&invalid, &i8), E_INVALIDARG);
}

TEST(DecimalTest, IntegersEnterExactly) {
  DECIMAL d{};
  d.wReserved = VT_DECIMAL;  // where a variant keeps its type: a conversion leaves it
  ASSERT_EQ(VarDecFromI4(42, &d), S_OK);
  EXPECT_EQ(d.wReserved, VT_DECIMAL);
  ASSERT_EQ(VarDecFromI8(std::numeric_limits<LONGLONG>::min(), &d), S_OK);
  ExpectDecimal(d, 0, 0x80000000, 0, 0, true);
  ASSERT_EQ(VarDecFromI1(-5, &d), S_OK);
  ExpectDecimal(d, 0, 0, 5, 0, true);
}

// The element matrix shows a tenth and a half; these are the results it does not reach.
TEST(DecimalTest, BinaryResultsAreNearestToExactValue) {
  double r8 = 0;
  const DECIMAL tenth = Small(1, 1), third = Dec(0, 0x00012F2A, 0x36ECD555, 15, true), zero = Small(0, 3, true);
  ASSERT_EQ(VarR8FromDec(&third, &r8), S_OK);
  EXPECT_EQ(r8, -0.333333333333333);
  float r4 = 0;
  ASSERT_EQ(VarR4FromDec(&tenth, &r4), S_OK);
  EXPECT_EQ(r4, 0.1f);
  VARIANT_BOOL b = VARIANT_TRUE;
  ASSERT_EQ(VarBoolFromDec(&zero, &b), S_OK);
  EXPECT_EQ(b, VARIANT_FALSE);
}

TEST(DecimalTest, TextDropsTrailingFractionZeros) {
  struct Case {
    DECIMAL value;
    const wchar_t* text;
  } cases[] = {
      {Small(150, 2), L"1.5"}, {Small(5, 3, true), L"-0.005"}, {Small(0, 4, true), L"0"}, {Small(1200, 2), L"12"},
      {Dec(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0), L"79228162514264337593543950335"},
      {Dec(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 28), L"7.9228162514264337593543950335"},
  };
  for (const Case& c : cases) {
    BSTR text = nullptr;
    ASSERT_EQ(VarBstrFromDec(&c.value, kLocaleEnglishUs, LOCALE_NOUSEROVERRIDE, &text), S_OK);
    EXPECT_STREQ(text, c.text);
    SysFreeString(text);
  }
  const DECIMAL invalid = Small(1, 29);
  BSTR text = nullptr;
  EXPECT_EQ(VarBstrFromDec(&invalid, kLocaleEnglishUs, 0, &text), E_INVALIDARG);
  EXPECT_EQ(text, nullptr);
}

}  // namespace
}  // namespace recfilereader
