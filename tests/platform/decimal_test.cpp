#include "platform/decimal.h"
#include "platform/hresults.h"
#include "recfilereader/propvariant.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>

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

// The fields of a DECIMAL as one comparable value.
std::tuple<ULONG, ULONG, ULONG, BYTE, BYTE> Fields(const DECIMAL& d) { return {d.Hi32, d.Mid32, d.Lo32, d.scale, d.sign}; }

TEST(DecimalTest, ParsesEnglishText) {
  // 79228162514264337593543950335 = 2^96 - 1; 10^20 = 0x5_6BC75E2D_63100000. A failed conversion
  // leaves the target (7.7).
  const DECIMAL max = Dec(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0), kept = Small(77, 1);
  const struct { const wchar_t* text; HRESULT result; DECIMAL value; } cases[] = {
      {L"1.50", S_OK, Small(150, 2)}, {L"  -1,234.5e2 ", S_OK, Small(123450, 0, true)}, {L"(12)", S_OK, Small(12, 0, true)},
      {L"12-", S_OK, Small(12, 0, true)}, {L"$5", S_OK, Small(5, 0)}, {L".25", S_OK, Small(25, 2)}, {L"-0", S_OK, Small(0, 0)},
      {L"1e20", S_OK, Dec(5, 0x6BC75E2D, 0x63100000, 0)}, {L"79228162514264337593543950335", S_OK, max},
      // 28 integer digits and ".55": 29 digits round up past 2^96, so a 28-digit integer.
      {L"7922816251426433759354395033.55", S_OK, Dec(0x19999999, 0x99999999, 0x9999999A, 0)},
      // More fraction digits than scale 28 holds: ...678|901 rounds up.
      {L"0.1234567890123456789012345678901", S_OK, Dec(0x03FD35EB, 0x6D797A91, 0xBE38F34F, 28)},
      {L"0.00000000000000000000000000005", S_OK, Small(0, 28)},  // half to even: 0
      {L"79228162514264337593543950336", DISP_E_OVERFLOW, kept}, {L"1e29", DISP_E_OVERFLOW, kept},
      {L"", DISP_E_TYPEMISMATCH, kept}, {L"abc", DISP_E_TYPEMISMATCH, kept}, {L"1e", DISP_E_TYPEMISMATCH, kept},
      {L"--1", DISP_E_TYPEMISMATCH, kept}, {L"(12", DISP_E_TYPEMISMATCH, kept}, {L"&H10", DISP_E_TYPEMISMATCH, kept},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
    DECIMAL d = kept;
    EXPECT_EQ(VarDecFromStr(c.text, kLocaleEnglishUs, LOCALE_NOUSEROVERRIDE, &d), c.result);
    EXPECT_EQ(Fields(d), Fields(c.value));
  }
}

// A conversion into DECIMAL: its result, the fields, and the word where a variant keeps its type,
// which no conversion touches.
template <class T, class V>
std::tuple<HRESULT, std::tuple<ULONG, ULONG, ULONG, BYTE, BYTE>, USHORT> Into(HRESULT (*convert)(T, DECIMAL*), V value) {
  DECIMAL d{};
  d.wReserved = VT_DECIMAL;
  const HRESULT hr = convert(static_cast<T>(value), &d);
  return {hr, Fields(d), d.wReserved};
}

// Binary values keep fifteen significant digits (a float seven); integers enter exactly.
TEST(DecimalTest, ResultsIntoDecimal) {
  const struct {
    const char* name;
    std::tuple<HRESULT, std::tuple<ULONG, ULONG, ULONG, BYTE, BYTE>, USHORT> got;
    HRESULT result;
    DECIMAL decimal;
  } cases[] = {
      {"0.1", Into(VarDecFromR8, 0.1), S_OK, Small(1, 1)}, {"-2.5", Into(VarDecFromR8, -2.5), S_OK, Small(25, 1, true)},
      {"100", Into(VarDecFromR8, 100.0), S_OK, Small(100, 0)},
      {"1/3", Into(VarDecFromR8, 1.0 / 3.0), S_OK, Dec(0, 0x00012F2A, 0x36ECD555, 15)},  // 333333333333333
      {"123456789012345678", Into(VarDecFromR8, 123456789012345678.0), S_OK, Dec(0, 0x01B69B4B, 0xA630F490, 0)},  // ...346000
      {"1e-30", Into(VarDecFromR8, 1e-30), S_OK, Small(0, 28)}, {"8e28", Into(VarDecFromR8, 8e28), DISP_E_OVERFLOW, {}},
      {"NaN", Into(VarDecFromR8, std::numeric_limits<double>::quiet_NaN()), DISP_E_OVERFLOW, {}},
      {"0.1 as float: exactly one tenth", Into(VarDecFromR4, 0.1f), S_OK, Small(1, 1)},
      {"I8 min", Into(VarDecFromI8, std::numeric_limits<LONGLONG>::min()), S_OK, Dec(0, 0x80000000, 0, 0, true)},
      {"-5 of one byte", Into(VarDecFromI1, -5), S_OK, Small(5, 0, true)},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, std::tuple(c.result, Fields(c.decimal), USHORT{VT_DECIMAL})) << c.name;
}

// A conversion out of DECIMAL: its result and the target afterwards (5 before).
template <class T>
std::pair<HRESULT, double> From(HRESULT (*convert)(const DECIMAL*, T*), DECIMAL d) {
  T value = 5;
  const HRESULT hr = convert(&d, &value);
  return {hr, static_cast<double>(value)};
}

// Integers round half to even and report overflow without touching the target; binary results
// are the nearest to the exact value (the element matrix shows a tenth and a half).
TEST(DecimalTest, ResultsOutOfDecimal) {
  const struct { const char* name; std::pair<HRESULT, double> got, want; } cases[] = {
      {"2.5", From(VarI4FromDec, Small(25, 1)), {S_OK, 2}}, {"3.5", From(VarI4FromDec, Small(35, 1)), {S_OK, 4}},
      {"-2.5", From(VarI4FromDec, Small(25, 1, true)), {S_OK, -2}}, {"2.51", From(VarI4FromDec, Small(251, 2)), {S_OK, 3}},
      {"127.5 rounds to 128", From(VarI1FromDec, Small(1275, 1)), {DISP_E_OVERFLOW, 5}},
      {"-128.5 rounds to -128", From(VarI1FromDec, Small(1285, 1, true)), {S_OK, -128}},
      {"-0.4 unsigned", From(VarUI4FromDec, Small(4, 1, true)), {S_OK, 0}},
      {"-1 unsigned", From(VarUI4FromDec, Small(1, 0, true)), {DISP_E_OVERFLOW, 5}},
      {"2^96 - 1 into 64 bits", From(VarUI8FromDec, Dec(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)), {DISP_E_OVERFLOW, 5}},
      {"I8 min", From(VarI8FromDec, Dec(0, 0x80000000, 0, 0, true)), {S_OK, -9223372036854775808.0}},
      {"scale 29", From(VarI8FromDec, Small(1, 29)), {E_INVALIDARG, 5}},
      {"-1/3", From(VarR8FromDec, Dec(0, 0x00012F2A, 0x36ECD555, 15, true)), {S_OK, -0.333333333333333}},
      {"0.1 as float", From(VarR4FromDec, Small(1, 1)), {S_OK, 0.1f}},
      {"-0.000 is false", From(VarBoolFromDec, Small(0, 3, true)), {S_OK, VARIANT_FALSE}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.name;
}

TEST(DecimalTest, TextDropsTrailingFractionZeros) {
  struct Case { DECIMAL value; const wchar_t* text; } cases[] = {
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
