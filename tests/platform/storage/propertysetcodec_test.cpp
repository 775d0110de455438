// The property-set stream codec: streams built here byte by byte, round trips of every value
// type in both kinds of set, the stream names, and damaged input.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/storage/propertysetcodec.h"
#include "platform/hresults.h"
#include "platform/storage/propertysetinterfaces.h"
#include "platform/storage/propertysetnames.h"
#include "support/propvarianttext.h"
#include "support/recbuilder.h"

namespace recfilereader {
namespace {

using rectest::Describe;

constexpr FMTID kDeviceFmtid = {0x71CCAC61, 0x82F1, 0x415D, {0xA1, 0xA0, 0x26, 0x85, 0xB3, 0x8C, 0x3C, 0x44}};

// Little-endian stream builder, independent of the library's byte helpers.
struct Bytes {
  std::vector<std::uint8_t> b;
  Bytes& U8(unsigned v) { b.push_back(static_cast<std::uint8_t>(v)); return *this; }
  Bytes& U16(unsigned v) { return U8(v & 0xFF).U8(v >> 8); }
  Bytes& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  Bytes& Raw(std::string_view s) { b.insert(b.end(), s.begin(), s.end()); return *this; }
  Bytes& Add(const Bytes& o) { b.insert(b.end(), o.b.begin(), o.b.end()); return *this; }
  Bytes& Pad() { while (b.size() % 4) b.push_back(0); return *this; }
  Bytes& Type(unsigned vt) { return U16(vt).U16(0); }
  // A counted string: its size (in bytes or in `unit`s), then its bytes.
  Bytes& Text(std::string_view s, std::size_t unit = 1) { return U32(static_cast<std::uint32_t>(s.size() / unit)).Raw(s); }
  Bytes& Guid(const GUID& g) { return U32(g.Data1).U16(g.Data2).U16(g.Data3).Raw({reinterpret_cast<const char*>(g.Data4), 8}); }
};

// A one-section stream around the already-encoded `values` (id, bytes each).
std::vector<std::uint8_t> OneSection(const std::vector<std::pair<PROPID, Bytes>>& values) {
  Bytes header, body;
  for (const auto& [id, value] : values) {
    header.U32(id).U32(static_cast<std::uint32_t>(8 + 8 * values.size() + body.b.size()));
    body.Add(value);
  }
  Bytes s;
  s.U16(0xFFFE).U16(0).U32(0x00020106).Guid(GUID_NULL).U32(1).Guid(kDeviceFmtid).U32(0x30);
  s.U32(static_cast<std::uint32_t>(8 + header.b.size() + body.b.size())).U32(static_cast<std::uint32_t>(values.size()));
  return s.Add(header).Add(body).b;
}

Bytes CodePage(unsigned cp) { return Bytes().Type(VT_I2).U16(cp).U16(0); }
std::string Z(std::string_view s) { return std::string(s) + '\0'; }  // with its terminator

// The value `id` of the first section; a missing one fails the test by throwing.
const PROPVARIANT& ValueOf(const PropertySetData& set, PROPID id) { return set.sections.at(0).values.at(id).get(); }

TEST(PropertySetNames, FormatIdentifierGivesStreamNameAndBack) {
  EXPECT_EQ(FmtIdToPropStgName(kDeviceFmtid), L"\005Bdlz2yf4CmxcuqcuGjbhlgshEc");
  EXPECT_EQ(FmtIdToPropStgName(IID_IPropertySetStorage), L"\005" L"0jaaaaaaAaaaaadaAaaaaaaaGc");
  EXPECT_EQ(FmtIdToPropStgName(FMTID_SummaryInformation), L"\005SummaryInformation");
  // Any case; a short name, bits past 128 and a missing first character name no set.
  const std::pair<const wchar_t*, FMTID> names[] = {
      {L"\005bDLZ2YF4cMXCUQCUgJBHLGSHeC", kDeviceFmtid}, {L"\005documentsummaryinformation", FMTID_DocSummaryInformation},
      {L"\005Bdlz2yf4CmxcuqcuGjbhlgshE", GUID_NULL}, {L"\005Bdlz2yf4CmxcuqcuGjbhlgshEz", GUID_NULL},
      {L"Bdlz2yf4CmxcuqcuGjbhlgshEcx", GUID_NULL}};
  for (const auto& [name, fmtid] : names) {
    FMTID back = GUID_NULL;
    EXPECT_EQ(PropStgNameToFmtId(name, &back), fmtid != GUID_NULL);
    EXPECT_EQ(back, fmtid);
  }
}

std::string Utf16(std::string_view ascii) { std::string out; for (char c : ascii) out += {c, '\0'}; return out; }

// Sets written out by hand: the ANSI example of the format description (dictionary entries
// without padding, a 1252 text beyond ASCII, a packed vector of three 16-bit values), and
// Unicode sets whose dictionary names are padded and counted in characters or, as some writers
// do, in bytes.
TEST(PropertySetDecode, HandBuiltSetsWithDictionariesAndNarrowTexts) {
  const auto ansi = OneSection({
      {PID_CODEPAGE, CodePage(1252)}, {PID_LOCALE, Bytes().Type(VT_UI4).U32(0x0409)},
      {PID_DICTIONARY, Bytes().U32(2).U32(3).Text(Z("Handle")).U32(4).Text(Z("Gr\xFC\xDF")).Pad()},
      {3, Bytes().Type(VT_I4).U32(static_cast<std::uint32_t>(-42))},
      {4, Bytes().Type(VT_LPSTR).Text(Z("Gr\xFC\xDF" "e")).Pad()},
      {5, Bytes().Type(VT_VECTOR | VT_I2).U32(3).U16(1).U16(2).U16(0xFFFF).Pad()},
      {6, Bytes().Type(VT_BOOL).U16(0xFFFF).U16(0)},
  });
  auto unicode = [](std::size_t unit) {
    return OneSection({{PID_CODEPAGE, CodePage(1200)},
                       {PID_DICTIONARY, Bytes().U32(2).U32(3).Text(Utf16(Z("abc")), unit).U32(4).Text(Utf16(Z("Class")), unit).Pad()},
                       {3, Bytes().Type(VT_BSTR).Text(Utf16(Z("hi"))).Pad()}});
  };
  // Narrow text of other code pages becomes UTF-8; without a code page property it reads as 1252.
  auto narrow = [](unsigned code_page, std::string_view text) {
    const Bytes value = Bytes().Type(VT_LPSTR).Text(Z(text)).Pad();
    return code_page != 0 ? OneSection({{PID_CODEPAGE, CodePage(code_page)}, {3, value}}) : OneSection({{3, value}});
  };
  using Names = std::map<PROPID, std::wstring>;
  std::vector<std::tuple<std::vector<std::uint8_t>, std::uint16_t, Names, std::vector<std::string>>> cases = {
      {narrow(65001, "\xE6\x97\xA5\xE6\x9C\xAC"), 65001, {}, {"30 \"\xE6\x97\xA5\xE6\x9C\xAC\""}},
      {narrow(1251, "\xCF\xF0\xE8"), 1251, {}, {"30 \"\xD0\x9F\xD1\x80\xD0\xB8\""}},  // through iconv
      {narrow(932, "\x93\xFA\x96\x7B"), 932, {}, {"30 \"\xE6\x97\xA5\xE6\x9C\xAC\""}},  // double-byte
      {narrow(12345, "x\xFF"), 12345, {}, {"30 \"x\xEF\xBF\xBD\""}},  // no such code page
      {narrow(0, "Gr\xFC\xDF"), 0, {}, {"30 \"Gr\xC3\xBC\xC3\x9F\""}},  // absent stays absent
      {ansi, std::uint16_t{1252}, {{3, L"Handle"}, {4, L"Gr\u00FC\u00DF"}},
       {"3 0xffffffd6", "30 \"Gr\xC3\xBC\xC3\x9F" "e\"", "VECTOR|2 [0x1, 0x2, 0xffff]", "11 0xffff"}},
      {unicode(2), 1200, {{3, L"abc"}, {4, L"Class"}}, {"8 \"hi\""}},
      {unicode(1), 1200, {{3, L"abc"}, {4, L"Class"}}, {"8 \"hi\""}},
  };
  // Office leaves the strings of its heading pairs unpadded; where the value must end (the next
  // property or the section's end) tells the two layouts apart.
  const Bytes pairs = Bytes().Type(VT_VECTOR | VT_VARIANT).U32(2).Type(VT_LPSTR).Text(Z("Worksheets"));
  const std::pair<Bytes, std::string> vectors[] = {
      {Bytes(pairs).Type(VT_I4).U32(3).Pad(), "VECTOR|12 [30 \"Worksheets\", 3 0x3]"},
      {Bytes(pairs).Pad().Type(VT_I4).U32(3), "VECTOR|12 [30 \"Worksheets\", 3 0x3]"},
      {Bytes().Type(VT_VECTOR | VT_VARIANT).U32(2).Type(VT_LPWSTR).Text(Utf16(Z("A")), 2).Type(VT_I4).U32(1).Pad(),
       "VECTOR|12 [31 \"A\", 3 0x1]"},
      {Bytes().Type(VT_VECTOR | VT_LPSTR).U32(2).Text(Z("Sheet")).Text(Z("ab")).Pad(), "VECTOR|30 [\"Sheet\", \"ab\"]"}};
  for (const auto& [value, expected] : vectors) {
    cases.push_back({OneSection({{PID_CODEPAGE, CodePage(1252)}, {3, value}}), 1252, {}, {expected}});
    cases.push_back({OneSection({{PID_CODEPAGE, CodePage(1252)}, {3, value}, {4, Bytes().Type(VT_I4).U32(0)}}), 1252, {}, {expected, "3 0x0"}});
  }
  for (const auto& [stream, code_page, names, values] : cases) {
    SCOPED_TRACE(values[0]);
    PropertySetData set;
    ASSERT_EQ(DecodePropertySet(stream, &set), S_OK);
    ASSERT_EQ(set.sections.size(), 1u);
    EXPECT_EQ(std::tuple(set.sections[0].fmtid, set.sections[0].code_page.value_or(0), set.sections[0].names),
              std::tuple(kDeviceFmtid, code_page, names));
    for (std::size_t i = 0; i < values.size(); ++i) EXPECT_EQ(Describe(ValueOf(set, PROPID(3 + i))), values[i]);
  }
}



// An empty section of the device set, with the locale 0x0409.
PropertySetData DeviceSet(std::uint16_t code_page) {
  PropertySetData set;
  PropertySection& section = set.sections.emplace_back();
  std::tie(section.fmtid, section.code_page, section.locale) = std::tuple(kDeviceFmtid, code_page, 0x0409);
  return set;
}

// Every type a simple set holds survives encoding and decoding, in an ANSI and a Unicode set.
TEST(PropertySetRoundTrip, EveryValueTypeInBothKindsOfSet) {
  for (std::uint16_t code_page : {std::uint16_t{1252}, std::uint16_t{1200}}) {
    SCOPED_TRACE(code_page);
    PropertySetData set = DeviceSet(code_page);
    PROPID id = 3;  // each value named after its type
    for (const rectest::TypedValue& v : rectest::EveryType()) {
      set.sections[0].names[id] = std::wstring(v.label, v.label + std::strlen(v.label));
      set.sections[0].values[id++] = v.value;
    }
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(EncodePropertySet(set, &bytes), S_OK);
    EXPECT_EQ(bytes[2], 1) << "version 1 for I1, INT, UINT and DECIMAL";
    PropertySetData back;
    ASSERT_EQ(DecodePropertySet(bytes, &back), S_OK);
    ASSERT_EQ(back.sections.size(), 1u);
    EXPECT_EQ(std::tie(back.sections[0].code_page, back.sections[0].names), std::tie(set.sections[0].code_page, set.sections[0].names));
    for (const auto& [id, value] : set.sections[0].values) EXPECT_EQ(Describe(ValueOf(back, id)), Describe(value.get())) << id;
  }
}

// An ANSI set comes out in the order believed native, with the locale 0x0409; a name or a
// text beyond its code page makes it a Unicode set.
TEST(PropertySetEncode, AnsiSetInNativeOrderUnlessTextNeedsUnicode) {
  PropertySetData set = DeviceSet(1252);
  PropertySection& section = set.sections[0];
  section.names[3] = L"Handle";
  section.values[3] = rectest::Fixed(VT_I4, 7);
  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(EncodePropertySet(set, &bytes), S_OK);
  EXPECT_EQ(bytes, OneSection({{PID_CODEPAGE, CodePage(1252)}, {PID_LOCALE, Bytes().Type(VT_UI4).U32(0x0409)},
                               {PID_DICTIONARY, Bytes().U32(1).U32(3).Text(Z("Handle")).Pad()},
                               {3, Bytes().Type(VT_I4).U32(7)}}));
  section.values[4] = rectest::Lpstr("\xE2\x82\xAC");  // the euro sign is in 1252
  EXPECT_EQ(ChooseCodePage(section, 1252), 1252);
  section.names[4] = L"\u540D\u524D";
  EXPECT_EQ(ChooseCodePage(section, 1252), 1200) << "the name alone is beyond 1252";
  section.names.erase(4);
  section.values[5] = rectest::Lpstr("\xE6\x97\xA5");  // U+65E5
  ASSERT_EQ(EncodePropertySet(set, &bytes), S_OK);
  PropertySetData back;
  ASSERT_EQ(DecodePropertySet(bytes, &back), S_OK);
  EXPECT_EQ(back.sections[0].code_page, 1200);
  EXPECT_EQ(Describe(ValueOf(back, 5)), "30 \"\xE6\x97\xA5\"");
}

// Hostile fields, many of them chosen so that an offset plus a length or a count times a size
// would wrap in 32 or 64 bits. Damage to the frame refuses the stream.
TEST(PropertySetDecode, DamagedFramesAreRefused) {
  const auto valid = OneSection({{PID_CODEPAGE, CodePage(1252)}, {3, Bytes().Type(VT_LPSTR).Text(Z("a")).Pad()}});
  const std::tuple<const char*, std::size_t, std::uint32_t> cases[] = {  // field, offset, value
      {"byte order", 0, 0xFEFF}, {"version 2", 2, 2}, {"no sections", 24, 0}, {"section count past the data", 24, 0x10000000},
      {"section count wrapping", 24, 0xFFFFFFFF}, {"section offset past the end", 44, 0x1000},
      {"section offset wrapping", 44, 0xFFFFFFFC}, {"section size below its header", 48, 4}, {"section size past the end", 48, 0x100000},
      {"section size wrapping", 48, 0xFFFFFFFF}, {"property count past the section", 52, 0x20000000},
      {"property count wrapping", 52, 0xFFFFFFFF}, {"value offset past the section", 68, 0x800}, {"value offset wrapping", 68, 0xFFFFFFFE}};
  for (const auto& [label, offset, value] : cases) {
    auto bytes = valid;
    rectest::PutLe(bytes, offset, value, offset < 4 ? 2 : 4);
    PropertySetData set;
    EXPECT_EQ(DecodePropertySet(bytes, &set), STG_E_INVALIDHEADER) << label;
    EXPECT_TRUE(set.sections.empty()) << label;
  }
  PropertySetData set;
  EXPECT_EQ(DecodePropertySet(OneSection({{PID_DICTIONARY, Bytes().U32(0xFFFFFFFF)}}), &set), STG_E_INVALIDHEADER);
  EXPECT_EQ(DecodePropertySet(std::vector<std::uint8_t>(), &set), S_OK) << "an empty stream is an empty set";
  EXPECT_TRUE(set.sections.empty());
  std::vector<std::uint8_t> bytes{1};
  ASSERT_EQ(EncodePropertySet(set, &bytes), S_OK);
  EXPECT_TRUE(bytes.empty()) << "and writes back as one";
}

// A damaged value (counts and sizes beyond its place, arrays that cannot be, vectors that end
// elsewhere either way) is kept aside, nothing is allocated for it, and it is written back
// byte for byte.
TEST(PropertySetDecode, DamagedValuesAreKeptAsTheyAre) {
  const Bytes damaged[] = {
      Bytes().Type(VT_LPSTR).U32(0xFFFFFFF0), Bytes().Type(VT_LPWSTR).U32(0x80000000),
      Bytes().Type(VT_VECTOR | VT_I8).U32(0xFFFFFFFF), Bytes().Type(VT_VECTOR | VT_VARIANT).U32(0x40000000),
      Bytes().Type(VT_BLOB).U32(0xFFFFFFFF), Bytes().Type(VT_CF).U32(0x7FFFFFFF),
      Bytes().Type(VT_ARRAY | VT_I4).U32(VT_I4).U32(32),                      // too many dimensions
      Bytes().Type(VT_ARRAY | VT_I4).U32(VT_I2).U32(1).U32(1).U32(0).U32(5),  // another element type
      Bytes().Type(VT_ARRAY | VT_UI1).U32(VT_UI1).U32(4).U32(0x10000).U32(0).U32(0x10000).U32(0)
          .U32(0x10000).U32(0).U32(0x10000).U32(0),  // 2^64 elements
      Bytes().Type(VT_ARRAY | VT_VARIANT).U32(VT_VARIANT).U32(2).U32(0xFFFFFFFF).U32(0).U32(0xFFFFFFFF).U32(0),
      Bytes().Type(VT_VECTOR | VT_LPSTR).U32(1).Text(Z("a")).Pad().U32(0),  // ends early either way
  };
  for (const Bytes& value : damaged) {
    SCOPED_TRACE(testing::PrintToString(value.b));
    const auto stream = OneSection({{PID_CODEPAGE, CodePage(1252)}, {2, Bytes(value).Pad()}});
    PropertySetData set;
    ASSERT_EQ(DecodePropertySet(stream, &set), S_OK);
    EXPECT_EQ(set.sections[0].values.count(2), 0u);
    EXPECT_EQ(set.sections[0].damaged[2], Bytes(value).Pad().b);
    std::vector<std::uint8_t> back;
    ASSERT_EQ(EncodePropertySet(set, &back), S_OK);
    EXPECT_EQ(back, stream);
  }
}

// Arrays of a version-1 set: several dimensions with their lowest indices, strings, variants,
// decimals and packed booleans read, copy and write back byte for byte.
TEST(PropertySetRoundTrip, ArraysOfVersion1Sets) {
  auto stream = OneSection({
      {PID_CODEPAGE, CodePage(1252)},
      {2, Bytes().Type(VT_ARRAY | VT_I4).U32(VT_I4).U32(2).U32(3).U32(1).U32(2).U32(0xFFFFFFFF)
              .U32(1).U32(2).U32(3).U32(4).U32(5).U32(6)},
      {3, Bytes().Type(VT_ARRAY | VT_BSTR).U32(VT_BSTR).U32(1).U32(2).U32(0).Text(Z("ab")).Pad().Text(Z("c")).Pad()},
      {4, Bytes().Type(VT_ARRAY | VT_VARIANT).U32(VT_VARIANT).U32(1).U32(2).U32(0).Type(VT_I2).U16(7).U16(0)
              .Type(VT_LPSTR).Text(Z("x")).Pad()},
      {5, Bytes().Type(VT_ARRAY | VT_DECIMAL).U32(VT_DECIMAL).U32(1).U32(1).U32(0).U16(0).U8(2).U8(0x80)
              .U32(0).U32(5).U32(1234)},
      {6, Bytes().Type(VT_ARRAY | VT_BOOL).U32(VT_BOOL).U32(1).U32(3).U32(0).U16(0xFFFF).U16(0).U16(0xFFFF).Pad()},
  });
  stream[2] = 1;  // version 1
  PropertySetData set;
  ASSERT_EQ(DecodePropertySet(stream, &set), S_OK);
  ASSERT_EQ(ValueOf(set, 2).vt, VT_ARRAY | VT_I4);
  const SAFEARRAY& ints = *ValueOf(set, 2).parray;
  EXPECT_EQ(std::make_tuple(ints.cDims, ints.rgsabound[0].cElements, ints.rgsabound[0].lLbound,
                            static_cast<const LONG*>(ints.pvData)[5]), std::make_tuple(2, 3u, 1, 6));
  EXPECT_STREQ(static_cast<BSTR*>(ValueOf(set, 3).parray->pvData)[1], L"c");
  const auto* variants = static_cast<const PROPVARIANT*>(ValueOf(set, 4).parray->pvData);
  EXPECT_EQ(Describe(variants[0]) + Describe(variants[1]), "2 0x730 \"x\"");
  EXPECT_EQ(static_cast<const DECIMAL*>(ValueOf(set, 5).parray->pvData)->Mid32, 1234u);
  const PropertySetData copy = set;  // deep: the original goes before the copy is written
  set = PropertySetData{};
  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(EncodePropertySet(copy, &bytes), S_OK);
  EXPECT_EQ(bytes, stream);
}

}  // namespace
}  // namespace recfilereader
