#include "properties/propvalue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "platform/decimal.h"
#include "platform/textconv.h"
#include "support/propvarianttext.h"

namespace recfilereader {
namespace {

using namespace rectest;

struct MatrixCase {
  const char* name;
  VARTYPE target;
  PropVariantHolder source;
  bool converted;
  PropVariantHolder expected;  // the target element afterwards (a zero value of the target type when refused)
};

// One element of each source into a fresh zero value of its target type: every row of the
// conversion matrix, with one case per distinct rule (refusal, wrap, saturation, rounding, text).
TEST(PropConvertTest, ElementMatrix) {
  std::vector<MatrixCase> cases = {
      // Integer targets.
      {"I1 <- I4 300 keeps the low byte", VT_I1, I4(300), true, I1(44)},
      {"UI1 <- BOOL true is -1", VT_UI1, Bool(true), true, UI1(255)},
      {"I2 <- R8 truncates toward zero", VT_I2, R8(-2.9), true, I2(-2)},
      {"UI2 <- R8 beyond 32 bits: x86 overflow pattern", VT_UI2, R8(1e10), true, UI2(0)},
      {"I2 <- LPSTR keeps the low bits", VT_I2, Lpstr("70000"), true, I2(4464)},
      {"I2 <- null LPSTR", VT_I2, Typed(VT_LPSTR), true, I2(0)},
      {"I1 <- DECIMAL rounds half to even", VT_I1, Dec(L"2.5"), true, I1(2)},
      {"UI1 <- ERROR refused", VT_UI1, Err(5), false, UI1(0)},
      {"I4 <- ERROR copied", VT_I4, Err(0x8007000E), true, I4(static_cast<LONG>(0x8007000E))},
      {"I4 <- LPWSTR blanks, sign and leading digits", VT_I4, Lpwstr(L"  -42abc"), true, I4(-42)},
      {"I4 <- LPWSTR saturates as atoi does", VT_I4, Lpwstr(L"99999999999"), true, I4(std::numeric_limits<LONG>::max())},
      {"I4 <- DECIMAL rounds, not truncates", VT_I4, Dec(L"3.5"), true, I4(4)},
      {"INT <- DECIMAL refused", VT_INT, Dec(L"3"), false, Int(0)},
      {"UI4 <- R8 -1 wraps", VT_UI4, R8(-1.0), true, UI4(4294967295u)},
      {"UI4 <- R8 3e9 through 64 bits", VT_UI4, R8(3e9), true, UI4(3000000000u)},
      {"UI4 <- DECIMAL", VT_UI4, Dec(L"7"), true, UI4(7)},
      {"UI4 <- FILETIME refused", VT_UI4, FileTime(5), false, UI4(0)},
      {"I8 <- UI4 zero-extends", VT_I8, UI4(0xFFFFFFFF), true, I8(4294967295ll)},
      {"I8 <- I4 sign-extends", VT_I8, I4(-1), true, I8(-1)},
      {"I8 <- ERROR refused", VT_I8, Err(1), false, I8(0)},
      {"UI8 <- LPSTR negative wraps", VT_UI8, Lpstr("-5"), true, UI8(0xFFFFFFFFFFFFFFFBull)},
      {"UI8 <- R8 upper half converts exactly (choice)", VT_UI8, R8(1.5e19), true, UI8(15000000000000000000ull)},
      {"I8 <- LPWSTR beyond 64 bits saturates", VT_I8, Lpwstr(L"99999999999999999999"), true,
       I8(std::numeric_limits<LONGLONG>::max())},
      {"UI8 <- DECIMAL", VT_UI8, Dec(L"18446744073709551615"), true, UI8(18446744073709551615ull)},
      {"I4 <- EMPTY refused", VT_I4, Typed(VT_EMPTY), false, I4(0)},
      // Real and boolean targets.
      {"R8 <- UI8 max is unsigned", VT_R8, UI8(std::numeric_limits<ULONGLONG>::max()), true, R8(18446744073709551616.0)},
      {"R8 <- I8 negative is signed", VT_R8, I8(-3), true, R8(-3.0)},
      {"R8 <- null LPWSTR", VT_R8, Typed(VT_LPWSTR), true, R8(0.0)},
      {"R8 <- LPSTR with exponent and tail", VT_R8, Lpstr(" 2.5e3xyz"), true, R8(2500.0)},
      {"R8 <- LPWSTR hexadecimal", VT_R8, Lpwstr(L"0x10"), true, R8(16.0)},
      {"R4 <- R8 rounds to nearest", VT_R4, R8(0.1), true, R4(0.1f)},
      {"R8 <- DECIMAL", VT_R8, Dec(L"0.1"), true, R8(0.1)},
      {"R8 <- ERROR refused", VT_R8, Err(1), false, R8(0.0)},
      {"BOOL <- R8 NaN is true", VT_BOOL, R8(std::nan("")), true, Bool(true)},
      {"BOOL <- R8 0", VT_BOOL, R8(0.0), true, Bool(false)},
      {"BOOL <- I8 high bits only", VT_BOOL, I8(1ll << 32), true, Bool(true)},
      {"BOOL <- ERROR failure code", VT_BOOL, Err(0x80004005), true, Bool(false)},
      {"BOOL <- ERROR success code", VT_BOOL, Err(1), true, Bool(true)},
      {"BOOL <- LPSTR FALSE", VT_BOOL, Lpstr("FALSE"), true, Bool(false)},
      {"BOOL <- LPSTR 0", VT_BOOL, Lpstr("0"), true, Bool(false)},
      {"BOOL <- LPSTR 7", VT_BOOL, Lpstr("7"), true, Bool(true)},
      {"BOOL <- LPSTR other word", VT_BOOL, Lpstr("falsehood"), true, Bool(true)},
      {"BOOL <- LPWSTR blank then 0 is not a digit", VT_BOOL, Lpwstr(L" 0"), true, Bool(true)},
      {"BOOL <- null LPWSTR", VT_BOOL, Typed(VT_LPWSTR), true, Bool(false)},
      {"BOOL <- DECIMAL", VT_BOOL, Dec(L"0.5"), true, Bool(true)},
      {"BOOL <- FILETIME refused", VT_BOOL, FileTime(1), false, Bool(false)},
      // Status, DECIMAL and opaque targets.
      {"ERROR <- LPSTR with 0x", VT_ERROR, Lpstr("0x8007000E"), true, Err(0x8007000E)},
      {"ERROR <- LPWSTR without 0x", VT_ERROR, Lpwstr(L"8007000e"), true, Err(0x8007000E)},
      {"ERROR <- UINT copied", VT_ERROR, UInt(0xDEADBEEF), true, Err(0xDEADBEEF)},
      {"ERROR <- I2 refused", VT_ERROR, I2(5), false, Err(0)},
      {"DECIMAL <- LPWSTR keeps the scale", VT_DECIMAL, Lpwstr(L"1.50"), true, Dec(L"1.50")},
      {"DECIMAL <- LPSTR", VT_DECIMAL, Lpstr("-12.25"), true, Dec(L"-12.25")},
      {"DECIMAL <- BOOL true is -1", VT_DECIMAL, Bool(true), true, Dec(L"-1")},
      {"DECIMAL <- R8 15 digits", VT_DECIMAL, R8(1.0 / 3.0), true, Dec(L"0.333333333333333")},
      {"DECIMAL <- UI8", VT_DECIMAL, UI8(18446744073709551615ull), true, Dec(L"18446744073709551615")},
      {"DECIMAL <- DECIMAL", VT_DECIMAL, Dec(L"-7.125"), true, Dec(L"-7.125")},
      {"DECIMAL <- INT refused", VT_DECIMAL, Int(1), false, Dec(L"0")},
      {"FILETIME <- FILETIME", VT_FILETIME, FileTime(0x1dd84dca2347000), true, FileTime(0x1dd84dca2347000)},
      {"FILETIME <- UI8 refused", VT_FILETIME, UI8(5), false, FileTime(0)},
      {"CLSID <- LPWSTR", VT_CLSID, Lpwstr(L"{71ccac61-82f1-415d-a1a0-2685b38c3c44}"), true, Clsid(kSampleGuid)},
      {"CLSID <- LPSTR", VT_CLSID, Lpstr("{71CCAC61-82F1-415D-A1A0-2685B38C3C44}"), true, Clsid(kSampleGuid)},
      {"CLSID <- CLSID", VT_CLSID, Clsid(kSampleGuid), true, Clsid(kSampleGuid)},
      {"CLSID <- bad text keeps the fresh zero GUID", VT_CLSID, Lpwstr(L"nonsense"), true, Clsid(GUID_NULL)},
      {"CLSID <- I4 refused: null pointer", VT_CLSID, I4(1), false, Typed(VT_CLSID)},
      {"UNKNOWN <- I4 refused", VT_UNKNOWN, I4(1), false, Typed(VT_UNKNOWN)},
      {"DATE target outside the matrix", VT_DATE, I4(1), false, Typed(VT_DATE)},
      // String targets take the formatted text (the formats themselves: PropFormatTest).
      {"LPWSTR <- I1", VT_LPWSTR, I1(-5), true, Lpwstr(L"-5")},
      {"LPWSTR <- ERROR", VT_LPWSTR, Err(0x8007000E), true, Lpwstr(L"0x8007000e")},
      {"LPWSTR <- I8 min", VT_LPWSTR, I8(std::numeric_limits<LONGLONG>::min()), true, Lpwstr(L"-9223372036854775808")},
      {"LPWSTR <- DECIMAL", VT_LPWSTR, Dec(L"-1.50"), true, Lpwstr(L"-1.5")},
      {"LPWSTR <- CLSID", VT_LPWSTR, Clsid(kSampleGuid), true, Lpwstr(L"{71CCAC61-82F1-415D-A1A0-2685B38C3C44}")},
      {"LPWSTR <- null CLSID", VT_LPWSTR, Typed(VT_CLSID), true, Lpwstr(L"")},
      {"LPWSTR <- BLOB has no text", VT_LPWSTR, Blob({1, 2}), true, Lpwstr(L"")},
      {"LPWSTR <- LPSTR UTF-8", VT_LPWSTR, Lpstr("h\xC3\xA9llo"), true, Lpwstr(L"h\u00E9llo")},
      {"LPWSTR <- null LPWSTR stays null", VT_LPWSTR, Typed(VT_LPWSTR), true, Typed(VT_LPWSTR)},
      {"LPSTR <- LPWSTR UTF-8", VT_LPSTR, Lpwstr(L"h\u00E9llo"), true, Lpstr("h\xC3\xA9llo")},
      {"LPSTR <- null LPWSTR is empty text", VT_LPSTR, Typed(VT_LPWSTR), true, Lpstr("")},
      {"LPSTR <- R4", VT_LPSTR, R4(-0.5f), true, Lpstr("-0.500000")},
  };
  for (MatrixCase& c : cases) {
    SCOPED_TRACE(c.name);
    PropVariantHolder target = Typed(c.target);
    if (c.target == VT_DECIMAL) PropVariantSetDecimal(target.get(), DECIMAL{});
    void* target_element = PropElementPtr(target.get(), 0, false);
    const void* source_element = PropElementPtr(c.source.get(), 0, false);
    ASSERT_NE(target_element, nullptr);
    ASSERT_NE(source_element, nullptr);
    EXPECT_EQ(ConvertPropElement(target_element, target->vt, source_element, c.source->vt), c.converted);
    EXPECT_EQ(Describe(target.get()), Describe(c.expected.get()));
  }
}

TEST(PropConvertTest, StringTargetReleasesItsEarlierText) {
  PropVariantHolder target = Lpwstr(L"old text");  // a leak would show under the address sanitizer
  PropVariantHolder source = I4(9);
  ASSERT_TRUE(ConvertPropElement(&target->pwszVal, target->vt, &source->lVal, VT_I4));
  EXPECT_STREQ(target->pwszVal, L"9");
}

// A native value written into an empty or null value takes the writer's own type; into any
// other value it converts to that value's type (a DECIMAL's element is the whole value, so its
// type must survive); a refused write leaves zero.
TEST(PropConvertTest, WritersKeepTheExistingTypeOrChooseTheirOwn) {
  double half = 2.5;
  ULONG count = 7;
  LONG number = -3;
  const struct {
    const char* name;
    PropVariantHolder value;
    std::function<bool(PROPVARIANT&)> write;
    bool written;
    PropVariantHolder expected;
  } cases[] = {
      {"double into empty", {}, [&](PROPVARIANT& v) { return ConvertPropValue(half, v, true); }, true, R8(2.5)},
      {"double into I2", I2(0), [&](PROPVARIANT& v) { return ConvertPropValue(half, v, true); }, true, I2(2)},
      {"ULONG into null", Typed(VT_NULL), [&](PROPVARIANT& v) { return ConvertPropValue(count, v, true); }, true,
       UI4(7)},
      {"LONG into DECIMAL", Dec(L"0"), [&](PROPVARIANT& v) { return ConvertPropValue(number, v, true); }, true,
       Dec(L"-3")},
      {"flag into empty is I4 (choice)", {}, [](PROPVARIANT& v) { return SetPropBool(v, true); }, true, I4(1)},
      {"flag into BOOL", Bool(false), [](PROPVARIANT& v) { return SetPropBool(v, true); }, true, Bool(true)},
      {"UI8 refused by FILETIME", FileTime(3), [](PROPVARIANT& v) { return SetPropUI8(v, 1); }, false, FileTime(0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PropVariantHolder value = c.value;
    EXPECT_EQ(c.write(value.get()), c.written);
    EXPECT_EQ(Describe(value.get()), Describe(c.expected.get()));
  }
}

TEST(PropConvertTest, ReadingGivesFalseAndZeroForRefusedValues) {
  PropVariantHolder time = FileTime(0x1dd84dca2347000);
  LONG number = 99;
  EXPECT_FALSE(ConvertPropValue(number, time.get(), false));
  EXPECT_EQ(number, 0);

  PropVariantHolder digits = Lpwstr(L"12xyz");
  EXPECT_TRUE(ConvertPropValue(number, digits.get(), false));
  EXPECT_EQ(number, 12);

  PropVariantHolder empty_vector = Typed(VT_VECTOR | VT_I4);  // no element 0: nothing converts, nothing is touched
  number = 5;
  EXPECT_FALSE(ConvertPropValue(number, empty_vector.get(), false));
  EXPECT_EQ(number, 5);
}

TEST(PropConvertTest, StringFormWritesOnly) {
  PropVariantHolder value;
  const void* text = L"abc";
  EXPECT_FALSE(ConvertPropValue(value.get(), text, 0, false, VT_LPWSTR));
  EXPECT_EQ(value->vt, VT_EMPTY);
  ASSERT_TRUE(ConvertPropValue(value.get(), text, 0, true, VT_EMPTY));  // empty type means wide
  EXPECT_EQ(value->vt, VT_LPWSTR);
  EXPECT_STREQ(value->pwszVal, L"abc");

  PropVariantHolder narrow;
  const void* narrow_text = "12";
  ASSERT_TRUE(ConvertPropValue(narrow.get(), narrow_text, 0, true, VT_LPSTR));
  EXPECT_EQ(narrow->vt, VT_LPSTR);
  EXPECT_STREQ(narrow->pszVal, "12");

  PropVariantHolder number = I4(0);  // into an existing type: the text converts
  ASSERT_TRUE(ConvertPropValue(number.get(), narrow_text, 0, true, VT_LPSTR));
  EXPECT_EQ(number->lVal, 12);
}

TEST(PropElementTest, AddressingAndGrowth) {
  PropVariantHolder scalar = I4(7);
  EXPECT_EQ(PropElementPtr(scalar.get(), -1, true), nullptr);
  EXPECT_EQ(PropElementPtr(scalar.get(), 0, false), &scalar->lVal);
  EXPECT_EQ(PropElementPtr(scalar.get(), 1, false), nullptr);
  void* third = PropElementPtr(scalar.get(), 2, true);
  ASSERT_EQ(Describe(scalar.get()), "VECTOR|3 [0x7, 0x0, 0x0]");
  EXPECT_EQ(third, &scalar->cal.pElems[2]);
  EXPECT_EQ(PropElementPtr(scalar.get(), 3, false), nullptr);

  PropVariantHolder decimal = Dec(L"1");
  EXPECT_EQ(PropElementPtr(decimal.get(), 0, false), static_cast<void*>(&decimal.get()));
  EXPECT_EQ(PropElementPtr(decimal.get(), 1, true), nullptr);  // no vector of DECIMAL (choice)

  LONG referenced = 4;
  PropVariantHolder byref = Typed(VT_BYREF | VT_I4);
  byref->byref = &referenced;
  EXPECT_EQ(PropElementPtr(byref.get(), 0, false), &referenced);
  EXPECT_EQ(PropElementPtr(byref.get(), 1, true), nullptr);
  byref->vt = VT_EMPTY;

  PropVariantHolder empty;
  EXPECT_EQ(PropElementPtr(empty.get(), 1, true), nullptr);  // no element size: no growth
}

TEST(PropElementTest, GrowingAScalarGuidMovesTheGuidIntoTheVector) {
  PropVariantHolder guid = Clsid(kSampleGuid);
  ASSERT_NE(PropElementPtr(guid.get(), 1, true), nullptr);
  ASSERT_EQ(Describe(guid.get()),
            "VECTOR|72 [{71CCAC61-82F1-415D-A1A0-2685B38C3C44}, {00000000-0000-0000-0000-000000000000}]");
  std::wstring text;
  FormatPropElementW(&guid->cauuid.pElems[0], guid->vt, text);  // a vector element is the GUID
  EXPECT_EQ(text, L"{71CCAC61-82F1-415D-A1A0-2685B38C3C44}");
}

TEST(PropElementTest, WritingPastAScalarStringMakesAVectorWithNullGaps) {
  PropVariantHolder value = Lpwstr(L"first");
  ASSERT_TRUE(SetPropWString(value.get(), L"third", 2));
  EXPECT_EQ(Describe(value.get()), "VECTOR|31 [\"first\", null, \"third\"]");
  EXPECT_EQ(GetPropWString(value.get(), 1), L"");
  EXPECT_EQ(GetPropWString(value.get(), 2), L"third");
  EXPECT_EQ(GetPropWString(value.get(), 3), L"");
}

TEST(PropElementTest, GrowthBeyondAMillionElementsIsRefused) {
  PropVariantHolder value = I4(1);
  EXPECT_EQ(PropElementPtr(value.get(), 1 << 20, true), nullptr);
  EXPECT_EQ(value->vt, VT_I4);
  EXPECT_NE(PropElementPtr(value.get(), (1 << 20) - 1, true), nullptr);
}

TEST(PropFormatTest, NarrowAndWideForms) {
  struct Case {
    PropVariantHolder value;
    const char* narrow;
  };
  Case cases[] = {
      {I2(-32768), "-32768"}, {UI1(200), "200"}, {UI2(65535), "65535"}, {Int(-1), "-1"},
      {UInt(4000000000u), "4000000000"}, {UI8(18446744073709551615ull), "18446744073709551615"},
      {Bool(false), "false"}, {Err(0x1), "0x00000001"}, {R8(1.0 / 3.0), "0.333333"}, {Dec(L"0.0001"), "0.0001"},
      {Lpwstr(L"\u00E9"), "\xC3\xA9"}, {Typed(VT_LPSTR), ""}, {Typed(VT_DATE), ""},
      {FileTime(0x1dd84dca2347000), "Saturday, December 5, 2026 5:18:24 PM"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.narrow);
    std::string narrow = "stale";
    FormatPropElement(PropElementPtr(c.value.get(), 0, false), c.value->vt, narrow);
    EXPECT_EQ(narrow, c.narrow);
    std::wstring wide = L"stale";
    FormatPropElementW(PropElementPtr(c.value.get(), 0, false), c.value->vt, wide);
    EXPECT_EQ(wide, Utf8ToWide(c.narrow));
  }
}

TEST(PropFormatTest, ParseHexCode) {
  struct Case {
    const char* text;
    ULONG code;
  } cases[] = {
      {"0x8007000E", 0x8007000E}, {"0X8007000e", 0x8007000E}, {"8007000e", 0x8007000E},
      {"1ff zz", 0x1FF},          {"", 0},                    {"0x", 0},
      {"zz", 0},                  {"123456789", 0x23456789},  // wraps: the top digit falls out
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseHexCode(c.text), c.code);
    const std::wstring wide(c.text, c.text + std::strlen(c.text));
    EXPECT_EQ(ParseHexCodeW(wide.c_str()), c.code);
  }
  EXPECT_EQ(ParseHexCode(nullptr), 0u);
}

// The readers go through their own native type: what the element matrix does not show.
TEST(PropAccessorTest, ReadersStartFromZero) {
  EXPECT_FALSE(GetPropBool(R8(0.5).get()));  // read through LONG: 0.5 truncates to 0
  EXPECT_EQ(GetPropULong(R8(-1.0).get()), 4294967295u);
  EXPECT_EQ(GetPropLong(FileTime(1).get()), 0);
  EXPECT_EQ(GetPropDouble(UI8(18446744073709551615ull).get()), 18446744073709551616.0);
  EXPECT_EQ(GetPropUI8(Lpstr("18446744073709551615").get()), 9223372036854775807ull);  // _atoi64 saturates
}

}  // namespace
}  // namespace recfilereader
