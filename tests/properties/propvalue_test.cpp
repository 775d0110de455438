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
  PropVariantHolder source;
  bool converted;
  PropVariantHolder expected;  // of the target type: its element afterwards (zero when refused)
  const char* rule = "";
};

// One element of each source into a fresh zero value of its target type: every row of the
// conversion matrix, with one case per distinct rule (refusal, wrap, saturation, rounding, text).
TEST(PropConvertTest, ElementMatrix) {
  std::vector<MatrixCase> cases = {
      // Integer targets.
      {I4(300), true, I1(44), "300 keeps the low byte"}, {Bool(true), true, UI1(255), "true is -1"},
      {R8(-2.9), true, I2(-2), "truncates toward zero"},
      {R8(1e10), true, UI2(0), "beyond 32 bits: x86 overflow pattern"},
      {Lpstr("70000"), true, I2(4464), "keeps the low bits"}, {Typed(VT_LPSTR), true, I2(0), "null"},
      {Dec(L"2.5"), true, I1(2), "rounds half to even"}, {Err(5), false, UI1(0)},
      {Err(0x8007000E), true, I4(static_cast<LONG>(0x8007000E)), "copied"},
      {Lpwstr(L"  -42abc"), true, I4(-42), "blanks, sign and leading digits"},
      {Lpwstr(L"99999999999"), true, I4(std::numeric_limits<LONG>::max()), "saturates as atoi does"},
      {Dec(L"3.5"), true, I4(4), "rounds, not truncates"}, {Dec(L"3"), false, Int(0)},
      {R8(-1.0), true, UI4(4294967295u), "-1 wraps"}, {R8(3e9), true, UI4(3000000000u), "3e9 through 64 bits"},
      {Dec(L"7"), true, UI4(7)}, {FileTime(5), false, UI4(0)},
      {UI4(0xFFFFFFFF), true, I8(4294967295ll), "zero-extends"}, {I4(-1), true, I8(-1), "sign-extends"},
      {Err(1), false, I8(0)}, {Lpstr("-5"), true, UI8(0xFFFFFFFFFFFFFFFBull), "negative wraps"},
      {R8(1.5e19), true, UI8(15000000000000000000ull), "upper half converts exactly (choice)"},
      {Lpwstr(L"99999999999999999999"), true, I8(std::numeric_limits<LONGLONG>::max()), "beyond 64 bits saturates"},
      {Dec(L"18446744073709551615"), true, UI8(18446744073709551615ull)}, {Typed(VT_EMPTY), false, I4(0)},
      // Real and boolean targets.
      {UI8(std::numeric_limits<ULONGLONG>::max()), true, R8(18446744073709551616.0), "max is unsigned"},
      {I8(-3), true, R8(-3.0), "negative is signed"}, {Typed(VT_LPWSTR), true, R8(0.0), "null"},
      {Lpstr(" 2.5e3xyz"), true, R8(2500.0), "with exponent and tail"},
      {Lpwstr(L"0x10"), true, R8(16.0), "hexadecimal"}, {R8(0.1), true, R4(0.1f), "rounds to nearest"},
      {Dec(L"0.1"), true, R8(0.1)}, {Err(1), false, R8(0.0)}, {R8(std::nan("")), true, Bool(true), "NaN is true"},
      {R8(0.0), true, Bool(false), "0"}, {I8(1ll << 32), true, Bool(true), "high bits only"},
      {Err(0x80004005), true, Bool(false), "failure code"}, {Err(1), true, Bool(true), "success code"},
      {Lpstr("FALSE"), true, Bool(false), "FALSE"}, {Lpstr("0"), true, Bool(false), "0"},
      {Lpstr("7"), true, Bool(true), "7"}, {Lpstr("falsehood"), true, Bool(true), "other word"},
      {Lpwstr(L" 0"), true, Bool(true), "blank then 0 is not a digit"}, {Typed(VT_LPWSTR), true, Bool(false), "null"},
      {Dec(L"0.5"), true, Bool(true)}, {FileTime(1), false, Bool(false)},
      // Status, DECIMAL and opaque targets.
      {Lpstr("0x8007000E"), true, Err(0x8007000E), "with 0x"},
      {Lpwstr(L"8007000e"), true, Err(0x8007000E), "without 0x"}, {UInt(0xDEADBEEF), true, Err(0xDEADBEEF), "copied"},
      {I2(5), false, Err(0)}, {Lpwstr(L"1.50"), true, Dec(L"1.50"), "keeps the scale"},
      {Lpstr("-12.25"), true, Dec(L"-12.25")}, {Bool(true), true, Dec(L"-1"), "true is -1"},
      {R8(1.0 / 3.0), true, Dec(L"0.333333333333333"), "15 digits"},
      {UI8(18446744073709551615ull), true, Dec(L"18446744073709551615")}, {Dec(L"-7.125"), true, Dec(L"-7.125")},
      {Int(1), false, Dec(L"0")}, {FileTime(0x1dd84dca2347000), true, FileTime(0x1dd84dca2347000)},
      {UI8(5), false, FileTime(0)}, {Lpwstr(L"{71ccac61-82f1-415d-a1a0-2685b38c3c44}"), true, Clsid(kSampleGuid)},
      {Lpstr("{71CCAC61-82F1-415D-A1A0-2685B38C3C44}"), true, Clsid(kSampleGuid)},
      {Clsid(kSampleGuid), true, Clsid(kSampleGuid)},
      {Lpwstr(L"nonsense"), true, Clsid(GUID_NULL), "bad text keeps the fresh zero GUID"},
      {I4(1), false, Typed(VT_CLSID), "null pointer"}, {I4(1), false, Typed(VT_UNKNOWN)},
      {I4(1), false, Typed(VT_DATE), "target outside the matrix"},
      // String targets take the formatted text (the formats themselves: PropFormatTest).
      {I1(-5), true, Lpwstr(L"-5")}, {Err(0x8007000E), true, Lpwstr(L"0x8007000e")},
      {I8(std::numeric_limits<LONGLONG>::min()), true, Lpwstr(L"-9223372036854775808"), "min"},
      {Dec(L"-1.50"), true, Lpwstr(L"-1.5")},
      {Clsid(kSampleGuid), true, Lpwstr(L"{71CCAC61-82F1-415D-A1A0-2685B38C3C44}")},
      {Typed(VT_CLSID), true, Lpwstr(L""), "null"}, {Blob({1, 2}), true, Lpwstr(L""), "has no text"},
      {Lpstr("h\xC3\xA9llo"), true, Lpwstr(L"h\u00E9llo"), "UTF-8"},
      {Typed(VT_LPWSTR), true, Typed(VT_LPWSTR), "null stays null"},
      {Lpwstr(L"h\u00E9llo"), true, Lpstr("h\xC3\xA9llo"), "UTF-8"},
      {Typed(VT_LPWSTR), true, Lpstr(""), "null is empty text"}, {R4(-0.5f), true, Lpstr("-0.500000")},
  };
  for (MatrixCase& c : cases) {
    SCOPED_TRACE(Describe(c.source.get()) + " into " + Describe(c.expected.get()) + ": " + c.rule);
    PropVariantHolder target = Typed(c.expected->vt);
    if (target->vt == VT_DECIMAL) PropVariantSetDecimal(target.get(), DECIMAL{});
    void* target_element = PropElementPtr(target.get(), 0, false);
    const void* source_element = PropElementPtr(c.source.get(), 0, false);
    ASSERT_NE(target_element, nullptr);
    ASSERT_NE(source_element, nullptr);
    EXPECT_EQ(ConvertPropElement(target_element, target->vt, source_element, c.source->vt), c.converted);
    EXPECT_EQ(Describe(target.get()), Describe(c.expected.get()));
  }
}

// A native value written into an empty or null value takes the writer's own type; into any
// other value it converts to that value's type (a DECIMAL's element is the whole value, so its
// type must survive); a refused write leaves zero.
TEST(PropConvertTest, WritersKeepTheExistingTypeOrChooseTheirOwn) {
  double half = 2.5;
  const void* wide = L"abc";
  const void* narrow = "12";
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
      {"LONG into text releases the old text", Lpwstr(L"old"),  // a leak would show under the address sanitizer
       [&](PROPVARIANT& v) { return ConvertPropValue(number, v, true); }, true, Lpwstr(L"-3")},
      {"flag into empty is I4 (choice)", {}, [](PROPVARIANT& v) { return SetPropBool(v, true); }, true, I4(1)},
      {"flag into BOOL", Bool(false), [](PROPVARIANT& v) { return SetPropBool(v, true); }, true, Bool(true)},
      {"UI8 refused by FILETIME", FileTime(3), [](PROPVARIANT& v) { return SetPropUI8(v, 1); }, false, FileTime(0)},
      {"the text form only writes", {}, [&](PROPVARIANT& v) { return ConvertPropValue(v, wide, 0, false, VT_LPWSTR); },
       false, {}},
      {"text of no type is wide", {}, [&](PROPVARIANT& v) { return ConvertPropValue(v, wide, 0, true, VT_EMPTY); },
       true, Lpwstr(L"abc")},
      {"narrow text", {}, [&](PROPVARIANT& v) { return ConvertPropValue(v, narrow, 0, true, VT_LPSTR); }, true,
       Lpstr("12")},
      {"narrow text into I4 converts", I4(0),
       [&](PROPVARIANT& v) { return ConvertPropValue(v, narrow, 0, true, VT_LPSTR); }, true, I4(12)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PropVariantHolder value = c.value;
    EXPECT_EQ(c.write(value.get()), c.written);
    EXPECT_EQ(Describe(value.get()), Describe(c.expected.get()));
  }
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
  EXPECT_EQ(PropElementPtr(scalar.get(), 1 << 20, true), nullptr) << "growth beyond a million elements";
  EXPECT_NE(PropElementPtr(scalar.get(), (1 << 20) - 1, true), nullptr);
}

// Growing a scalar moves it into element 0 (a GUID element is the GUID itself, not a pointer);
// the gaps are zero GUIDs and null texts, which read as empty like missing elements.
TEST(PropElementTest, GrowingAScalarMovesItIntoTheVector) {
  PropVariantHolder guid = Clsid(kSampleGuid);
  ASSERT_NE(PropElementPtr(guid.get(), 1, true), nullptr);
  ASSERT_EQ(Describe(guid.get()),
            "VECTOR|72 [{71CCAC61-82F1-415D-A1A0-2685B38C3C44}, {00000000-0000-0000-0000-000000000000}]");
  std::wstring text;
  FormatPropElementW(&guid->cauuid.pElems[0], guid->vt, text);
  EXPECT_EQ(text, L"{71CCAC61-82F1-415D-A1A0-2685B38C3C44}");
  PropVariantHolder value = Lpwstr(L"first");
  ASSERT_TRUE(SetPropWString(value.get(), L"third", 2));
  EXPECT_EQ(Describe(value.get()), "VECTOR|31 [\"first\", null, \"third\"]");
  EXPECT_EQ(GetPropWString(value.get(), 1) + GetPropWString(value.get(), 3), L"");
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

// A refused read zeroes the target, a read with no element 0 leaves it; the readers go through
// their own native type, which the element matrix does not show.
TEST(PropConvertTest, ReadersStartFromZero) {
  struct {
    PropVariantHolder value;
    bool converted;
    LONG result;
  } cases[] = {{FileTime(0x1dd84dca2347000), false, 0}, {Lpwstr(L"12xyz"), true, 12}, {Typed(VT_VECTOR | VT_I4), false, 99}};
  for (auto& c : cases) {
    LONG number = 99;
    EXPECT_EQ(ConvertPropValue(number, c.value.get(), false), c.converted);
    EXPECT_EQ(number, c.result) << Describe(c.value.get());
  }
  EXPECT_FALSE(GetPropBool(R8(0.5).get()));  // read through LONG: 0.5 truncates to 0
  EXPECT_EQ(GetPropULong(R8(-1.0).get()), 4294967295u);
  EXPECT_EQ(GetPropLong(FileTime(1).get()), 0);
  EXPECT_EQ(GetPropDouble(UI8(18446744073709551615ull).get()), 18446744073709551616.0);
  EXPECT_EQ(GetPropUI8(Lpstr("18446744073709551615").get()), 9223372036854775807ull);  // _atoi64 saturates
}

}  // namespace
}  // namespace recfilereader
