// The property-set stream codec: streams built here byte by byte, round trips of every value
// type in both kinds of set, the stream names, and damaged input.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/storage/propertysetcodec.h"
#include "platform/hresults.h"
#include "platform/storage/propertysetinterfaces.h"
#include "platform/storage/propertysetnames.h"
#include "support/propvarianttext.h"

namespace recfilereader {
namespace {

using rectest::Describe;

constexpr FMTID kDeviceFmtid = {0x71CCAC61, 0x82F1, 0x415D,
                                {0xA1, 0xA0, 0x26, 0x85, 0xB3, 0x8C, 0x3C, 0x44}};

// Little-endian stream builder, independent of the library's byte helpers.
struct Bytes {
  std::vector<std::uint8_t> b;
  Bytes& U8(unsigned v) { b.push_back(static_cast<std::uint8_t>(v)); return *this; }
  Bytes& U16(unsigned v) { return U8(v & 0xFF).U8(v >> 8); }
  Bytes& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  Bytes& Raw(std::string_view s) { b.insert(b.end(), s.begin(), s.end()); return *this; }
  Bytes& Pad() { while (b.size() % 4) b.push_back(0); return *this; }
  Bytes& Guid(const GUID& g) {
    U32(g.Data1).U16(g.Data2).U16(g.Data3);
    for (auto x : g.Data4) U8(x);
    return *this;
  }
  std::size_t size() const { return b.size(); }
};

// A one-section stream around the already-encoded `values` (id, bytes each).
std::vector<std::uint8_t> OneSection(const std::vector<std::pair<PROPID, Bytes>>& values,
                                     const FMTID& fmtid = kDeviceFmtid) {
  Bytes s;
  s.U16(0xFFFE).U16(0).U32(0x00020106).Guid(GUID_NULL).U32(1).Guid(fmtid).U32(0x30);
  std::size_t size = 8 + 8 * values.size();
  for (const auto& v : values) size += v.second.size();
  s.U32(static_cast<std::uint32_t>(size)).U32(static_cast<std::uint32_t>(values.size()));
  std::size_t offset = 8 + 8 * values.size();
  for (const auto& v : values) {
    s.U32(v.first).U32(static_cast<std::uint32_t>(offset));
    offset += v.second.size();
  }
  for (const auto& v : values) s.b.insert(s.b.end(), v.second.b.begin(), v.second.b.end());
  return s.b;
}

Bytes CodePage(unsigned cp) { return Bytes().U16(VT_I2).U16(0).U16(cp).U16(0); }

const PROPVARIANT& ValueOf(const PropertySetData& set, PROPID id) {
  static const PROPVARIANT empty{};
  const auto& values = set.sections.at(0).values;
  const auto it = values.find(id);
  return it == values.end() ? empty : it->second.get();
}

TEST(PropertySetNames, FormatIdentifierGivesStreamNameAndBack) {
  EXPECT_EQ(FmtIdToPropStgName(kDeviceFmtid), L"\005Bdlz2yf4CmxcuqcuGjbhlgshEc");
  EXPECT_EQ(FmtIdToPropStgName(IID_IPropertySetStorage), L"\005" L"0jaaaaaaAaaaaadaAaaaaaaaGc");
  EXPECT_EQ(FmtIdToPropStgName(FMTID_SummaryInformation), L"\005SummaryInformation");
  FMTID back{};
  ASSERT_TRUE(PropStgNameToFmtId(L"\005bDLZ2YF4cMXCUQCUgJBHLGSHeC", &back));  // any case
  EXPECT_EQ(back, kDeviceFmtid);
  ASSERT_TRUE(PropStgNameToFmtId(L"\005documentsummaryinformation", &back));
  EXPECT_EQ(back, FMTID_DocSummaryInformation);
  EXPECT_FALSE(PropStgNameToFmtId(L"\005Bdlz2yf4CmxcuqcuGjbhlgshE", &back));   // short
  EXPECT_FALSE(PropStgNameToFmtId(L"\005Bdlz2yf4CmxcuqcuGjbhlgshEz", &back));  // bits past 128
  EXPECT_FALSE(PropStgNameToFmtId(L"Bdlz2yf4CmxcuqcuGjbhlgshEcx", &back));
}

// The ANSI example of the format description, written out by hand: dictionary entries without
// padding, a 1252 text with a character beyond ASCII, a packed vector of three 16-bit values,
// an unpadded vector of narrow strings.
TEST(PropertySetDecode, HandBuiltAnsiSetWithDictionary) {
  const auto stream = OneSection({
      {PID_CODEPAGE, CodePage(1252)},
      {PID_LOCALE, Bytes().U16(VT_UI4).U16(0).U32(0x0409)},
      {PID_DICTIONARY, Bytes().U32(2).U32(3).U32(7).Raw(std::string("Handle\0", 7))
                           .U32(4).U32(5).Raw(std::string("Gr\xFC\xDF\0", 5)).Pad()},
      {3, Bytes().U16(VT_I4).U16(0).U32(static_cast<std::uint32_t>(-42))},
      {4, Bytes().U16(VT_LPSTR).U16(0).U32(6).Raw(std::string("Gr\xFC\xDF" "e\0", 6)).Pad()},
      {5, Bytes().U16(VT_VECTOR | VT_I2).U16(0).U32(3).U16(1).U16(2).U16(0xFFFF).Pad()},
      {6, Bytes().U16(VT_BOOL).U16(0).U16(0xFFFF).U16(0)},
      // Office writes vectors of narrow strings without padding between the elements.
      {7, Bytes().U16(VT_VECTOR | VT_LPSTR).U16(0).U32(3).U32(6).Raw(std::string("Title\0", 6))
              .U32(2).Raw(std::string("a\0", 2)).U32(4).Raw(std::string("xyz\0", 4)).Pad()},
  });
  PropertySetData set;
  ASSERT_EQ(DecodePropertySet(stream, &set), S_OK);
  ASSERT_EQ(set.sections.size(), 1u);
  const PropertySection& section = set.sections[0];
  EXPECT_EQ(section.fmtid, kDeviceFmtid);
  EXPECT_EQ(section.code_page, 1252);
  EXPECT_EQ(section.locale, 0x0409u);
  EXPECT_EQ(section.names.at(3), L"Handle");
  EXPECT_EQ(section.names.at(4), L"Gr\u00FC\u00DF");
  EXPECT_EQ(Describe(ValueOf(set, 3)), "3 0xffffffd6");
  EXPECT_EQ(Describe(ValueOf(set, 4)), "30 \"Gr\xC3\xBC\xC3\x9F" "e\"");  // UTF-8 in memory
  EXPECT_EQ(Describe(ValueOf(set, 5)), "VECTOR|2 [0x1, 0x2, 0xffff]");
  EXPECT_EQ(Describe(ValueOf(set, 6)), "11 0xffff");
  EXPECT_EQ(Describe(ValueOf(set, 7)), "VECTOR|30 [\"Title\", \"a\", \"xyz\"]");
}

// Unicode dictionaries: names padded to 4 bytes; some writers give lengths in bytes.
TEST(PropertySetDecode, UnicodeDictionaryInCharactersOrBytes) {
  auto utf16 = [](std::string_view ascii) {
    std::string out;
    for (char c : ascii) { out.push_back(c); out.push_back('\0'); }
    return out;
  };
  for (bool length_in_bytes : {false, true}) {
    SCOPED_TRACE(length_in_bytes ? "bytes" : "characters");
    const std::uint32_t unit = length_in_bytes ? 2 : 1;
    const auto stream = OneSection({
        {PID_CODEPAGE, CodePage(1200)},
        {PID_DICTIONARY, Bytes().U32(2).U32(3).U32(4 * unit).Raw(utf16(std::string("abc\0", 4)))
                             .U32(7).U32(6 * unit).Raw(utf16(std::string("Class\0", 6))).Pad()},
        {3, Bytes().U16(VT_BSTR).U16(0).U32(6).Raw(utf16(std::string("hi\0", 3))).Pad()},
    });
    PropertySetData set;
    ASSERT_EQ(DecodePropertySet(stream, &set), S_OK);
    EXPECT_EQ(set.sections[0].names.at(3), L"abc");
    EXPECT_EQ(set.sections[0].names.at(7), L"Class");
    EXPECT_EQ(Describe(ValueOf(set, 3)), "8 \"hi\"");
  }
}

TEST(PropertySetDecode, NarrowTextOfOtherCodePagesBecomesUtf8) {
  struct Case {
    unsigned code_page;
    std::string bytes;
    std::string utf8;
  };
  const Case cases[] = {
      {65001, "\xE6\x97\xA5\xE6\x9C\xAC", "\xE6\x97\xA5\xE6\x9C\xAC"},
      {1251, "\xCF\xF0\xE8", "\xD0\x9F\xD1\x80\xD0\xB8"},       // through iconv
      {932, "\x93\xFA\x96\x7B", "\xE6\x97\xA5\xE6\x9C\xAC"},    // double-byte
      {12345, "x\xFF", "x\xEF\xBF\xBD"},                  // no such code page
      {0, "Gr\xFC\xDF", "Gr\xC3\xBC\xC3\x9F"},  // no code page property: read as 1252
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code_page);
    const std::string text = c.bytes + '\0';
    const Bytes value = Bytes().U16(VT_LPSTR).U16(0).U32(static_cast<std::uint32_t>(text.size())).Raw(text).Pad();
    const auto stream = c.code_page != 0 ? OneSection({{PID_CODEPAGE, CodePage(c.code_page)}, {2, value}})
                                         : OneSection({{2, value}});
    PropertySetData set;
    ASSERT_EQ(DecodePropertySet(stream, &set), S_OK);
    EXPECT_EQ(Describe(ValueOf(set, 2)), "30 \"" + c.utf8 + "\"");
    EXPECT_EQ(set.sections[0].code_page.value_or(0), c.code_page) << "absent stays absent";
  }
}

// Office leaves the strings of its heading pairs unpadded; where the value must end (the next
// property or the section's end) tells the two layouts apart.
TEST(PropertySetDecode, VectorsOfVariantsReadPaddedOrUnpaddedByWhereTheyEnd) {
  const std::string sheets("Worksheets\0", 11);
  const Bytes unpadded = Bytes().U16(VT_VECTOR | VT_VARIANT).U16(0).U32(2).U16(VT_LPSTR).U16(0)
                             .U32(11).Raw(sheets).U16(VT_I4).U16(0).U32(3).Pad();
  const Bytes padded = Bytes().U16(VT_VECTOR | VT_VARIANT).U16(0).U32(2).U16(VT_LPSTR).U16(0)
                           .U32(11).Raw(sheets).Pad().U16(VT_I4).U16(0).U32(3);
  const Bytes wide = Bytes().U16(VT_VECTOR | VT_VARIANT).U16(0).U32(2).U16(VT_LPWSTR).U16(0)
                         .U32(2).Raw(std::string("A\0\0\0", 4)).U16(VT_I4).U16(0).U32(1).Pad();
  const Bytes titles = Bytes().U16(VT_VECTOR | VT_LPSTR).U16(0).U32(2).U32(6).Raw(std::string("Sheet\0", 6))
                           .U32(3).Raw(std::string("ab\0", 3)).Pad();
  const std::pair<Bytes, std::string> cases[] = {
      {unpadded, "VECTOR|12 [30 \"Worksheets\", 3 0x3]"},
      {padded, "VECTOR|12 [30 \"Worksheets\", 3 0x3]"},
      {wide, "VECTOR|12 [31 \"A\", 3 0x1]"},
      {titles, "VECTOR|30 [\"Sheet\", \"ab\"]"},
  };
  for (const auto& [value, expected] : cases) {
    SCOPED_TRACE(expected);
    for (bool last : {false, true}) {  // ended by the next property or by the section
      auto values = std::vector<std::pair<PROPID, Bytes>>{{PID_CODEPAGE, CodePage(1252)}, {12, value}};
      if (!last) values.push_back({13, Bytes().U16(VT_I4).U16(0).U32(0)});
      PropertySetData set;
      ASSERT_EQ(DecodePropertySet(OneSection(values), &set), S_OK);
      EXPECT_EQ(Describe(ValueOf(set, 12)), expected);
    }
  }
}

// A one-section set holding every value type from id 3 on, each named after its type.
PropertySetData EveryTypeSet(std::uint16_t code_page) {
  PropertySetData set;
  PropertySection& section = set.sections.emplace_back();
  section.fmtid = kDeviceFmtid;
  section.code_page = code_page;
  section.locale = 0x0409;
  PROPID id = 3;
  for (const rectest::TypedValue& v : rectest::EveryType()) {
    section.names[id] = std::wstring(v.label, v.label + std::strlen(v.label));
    section.values[id++] = v.value;
  }
  return set;
}

// Every type a simple set holds survives encoding and decoding, in an ANSI and a Unicode set.
TEST(PropertySetRoundTrip, EveryValueTypeInBothKindsOfSet) {
  for (std::uint16_t code_page : {std::uint16_t{1252}, std::uint16_t{1200}}) {
    SCOPED_TRACE(code_page);
    const PropertySetData set = EveryTypeSet(code_page);
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(EncodePropertySet(set, &bytes), S_OK);
    EXPECT_EQ(bytes[2], 1) << "version 1 for I1, INT, UINT and DECIMAL";
    PropertySetData back;
    ASSERT_EQ(DecodePropertySet(bytes, &back), S_OK);
    ASSERT_EQ(back.sections.size(), 1u);
    EXPECT_EQ(back.sections[0].code_page, code_page);
    EXPECT_EQ(back.sections[0].names, set.sections[0].names);
    for (const auto& [id, value] : set.sections[0].values) {
      SCOPED_TRACE(id);
      EXPECT_EQ(Describe(ValueOf(back, id)), Describe(value.get()));
    }
  }
}

TEST(PropertySetEncode, SmallAnsiSetInBelievedNativeOrderWithLocale0409) {
  PropertySetData set;
  set.sections.emplace_back();
  set.sections[0].fmtid = kDeviceFmtid;
  set.sections[0].code_page = 1252;
  set.sections[0].locale = 0x0409;
  set.sections[0].names[3] = L"Handle";
  set.sections[0].values[3] = rectest::Fixed(VT_I4, 7);
  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(EncodePropertySet(set, &bytes), S_OK);
  const auto expected = OneSection({
      {PID_CODEPAGE, CodePage(1252)},
      {PID_LOCALE, Bytes().U16(VT_UI4).U16(0).U32(0x0409)},
      {PID_DICTIONARY, Bytes().U32(1).U32(3).U32(7).Raw(std::string("Handle\0", 7)).Pad()},
      {3, Bytes().U16(VT_I4).U16(0).U32(7)},
  });
  EXPECT_EQ(bytes, expected);
}

TEST(PropertySetEncode, TextBeyondTheCodePageMakesAUnicodeSet) {
  PropertySetData set;
  set.sections.emplace_back();
  set.sections[0].code_page = 1252;
  set.sections[0].names[3] = L"\u540D\u524D";
  set.sections[0].values[3] = rectest::Lpstr("\xE6\x97\xA5");  // U+65E5
  EXPECT_EQ(ChooseCodePage(set.sections[0], 1252), 1200);
  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(EncodePropertySet(set, &bytes), S_OK);
  PropertySetData back;
  ASSERT_EQ(DecodePropertySet(bytes, &back), S_OK);
  EXPECT_EQ(back.sections[0].code_page, 1200);
  EXPECT_EQ(back.sections[0].names.at(3), L"\u540D\u524D");
  EXPECT_EQ(Describe(ValueOf(back, 3)), "30 \"\xE6\x97\xA5\"");
  set.sections[0].values[3] = rectest::Lpstr("\xE2\x82\xAC");  // the euro sign is in 1252
  EXPECT_EQ(ChooseCodePage(set.sections[0], 1252), 1200) << "the name alone is beyond 1252";
  set.sections[0].names[3] = L"name";
  EXPECT_EQ(ChooseCodePage(set.sections[0], 1252), 1252);
}

// Hostile fields, many of them chosen so that an offset plus a length or a count times a size
// would wrap in 32 or 64 bits. Damage to the frame refuses the stream.
TEST(PropertySetDecode, DamagedFramesAreRefused) {
  const auto valid = OneSection({{PID_CODEPAGE, CodePage(1252)},
                                 {3, Bytes().U16(VT_LPSTR).U16(0).U32(2).Raw(std::string("a\0", 2)).Pad()}});
  struct Case {
    const char* label;
    std::size_t offset;
    std::uint32_t value;
    int width;
  };
  const Case cases[] = {
      {"byte order", 0, 0xFEFF, 2},
      {"version 2", 2, 2, 2},
      {"no sections", 24, 0, 4},
      {"section count past the data", 24, 0x10000000, 4},
      {"section count wrapping", 24, 0xFFFFFFFF, 4},
      {"section offset past the end", 44, 0x1000, 4},
      {"section offset wrapping", 44, 0xFFFFFFFC, 4},
      {"section size below its header", 48, 4, 4},
      {"section size past the end", 48, 0x100000, 4},
      {"section size wrapping", 48, 0xFFFFFFFF, 4},
      {"property count past the section", 52, 0x20000000, 4},
      {"property count wrapping", 52, 0xFFFFFFFF, 4},
      {"value offset past the section", 68, 0x800, 4},
      {"value offset wrapping", 68, 0xFFFFFFFE, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    auto bytes = valid;
    for (int i = 0; i < c.width; ++i) bytes[c.offset + i] = static_cast<std::uint8_t>(c.value >> (8 * i));
    PropertySetData set;
    EXPECT_EQ(DecodePropertySet(bytes, &set), STG_E_INVALIDHEADER);
    EXPECT_TRUE(set.sections.empty());
  }
  PropertySetData set;
  EXPECT_EQ(DecodePropertySet(OneSection({{PID_DICTIONARY, Bytes().U32(0xFFFFFFFF)}}), &set),
            STG_E_INVALIDHEADER);
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
      Bytes().U16(VT_LPSTR).U16(0).U32(0xFFFFFFF0),
      Bytes().U16(VT_LPWSTR).U16(0).U32(0x80000000),
      Bytes().U16(VT_VECTOR | VT_I8).U16(0).U32(0xFFFFFFFF),
      Bytes().U16(VT_VECTOR | VT_VARIANT).U16(0).U32(0x40000000),
      Bytes().U16(VT_BLOB).U16(0).U32(0xFFFFFFFF),
      Bytes().U16(VT_CF).U16(0).U32(0x7FFFFFFF),
      Bytes().U16(VT_ARRAY | VT_I4).U16(0).U32(VT_I4).U32(32),
      Bytes().U16(VT_ARRAY | VT_I4).U16(0).U32(VT_I2).U32(1).U32(1).U32(0).U32(5),
      Bytes().U16(VT_ARRAY | VT_UI1).U16(0).U32(VT_UI1).U32(4).U32(0x10000).U32(0).U32(0x10000)
          .U32(0).U32(0x10000).U32(0).U32(0x10000).U32(0),  // 2^64 elements
      Bytes().U16(VT_ARRAY | VT_VARIANT).U16(0).U32(VT_VARIANT).U32(2).U32(0xFFFFFFFF).U32(0)
          .U32(0xFFFFFFFF).U32(0),
      // A vector of strings that ends neither padded nor unpadded where its place ends.
      Bytes().U16(VT_VECTOR | VT_LPSTR).U16(0).U32(1).U32(2).Raw(std::string("a\0", 2)).Pad().U32(0),
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
      {2, Bytes().U16(VT_ARRAY | VT_I4).U16(0).U32(VT_I4).U32(2).U32(3).U32(1).U32(2).U32(0xFFFFFFFF)
              .U32(1).U32(2).U32(3).U32(4).U32(5).U32(6)},
      {3, Bytes().U16(VT_ARRAY | VT_BSTR).U16(0).U32(VT_BSTR).U32(1).U32(2).U32(0)
              .U32(3).Raw(std::string("ab\0", 3)).Pad().U32(2).Raw(std::string("c\0", 2)).Pad()},
      {4, Bytes().U16(VT_ARRAY | VT_VARIANT).U16(0).U32(VT_VARIANT).U32(1).U32(2).U32(0)
              .U16(VT_I2).U16(0).U16(7).U16(0).U16(VT_LPSTR).U16(0).U32(2).Raw(std::string("x\0", 2)).Pad()},
      {5, Bytes().U16(VT_ARRAY | VT_DECIMAL).U16(0).U32(VT_DECIMAL).U32(1).U32(1).U32(0)
              .U16(0).U8(2).U8(0x80).U32(0).U32(5).U32(1234)},
      {6, Bytes().U16(VT_ARRAY | VT_BOOL).U16(0).U32(VT_BOOL).U32(1).U32(3).U32(0)
              .U16(0xFFFF).U16(0).U16(0xFFFF).Pad()},
  });
  stream[2] = 1;  // version 1
  PropertySetData set;
  ASSERT_EQ(DecodePropertySet(stream, &set), S_OK);
  const SAFEARRAY* ints = ValueOf(set, 2).parray;
  ASSERT_EQ(ValueOf(set, 2).vt, VT_ARRAY | VT_I4);
  ASSERT_EQ(ints->cDims, 2);
  EXPECT_EQ(ints->rgsabound[0].cElements, 3u);
  EXPECT_EQ(ints->rgsabound[0].lLbound, 1);
  EXPECT_EQ(static_cast<const LONG*>(ints->pvData)[5], 6);
  EXPECT_STREQ(static_cast<BSTR*>(ValueOf(set, 3).parray->pvData)[1], L"c");
  const auto* variants = static_cast<const PROPVARIANT*>(ValueOf(set, 4).parray->pvData);
  EXPECT_EQ(Describe(variants[0]) + Describe(variants[1]), "2 0x730 \"x\"");
  EXPECT_EQ(static_cast<const DECIMAL*>(ValueOf(set, 5).parray->pvData)->Mid32, 1234u);
  PropertySetData copy;
  copy.version = 1;
  copy.sections.emplace_back().fmtid = kDeviceFmtid;
  copy.sections[0].code_page = 1252;
  for (const auto& [id, value] : set.sections[0].values) copy.sections[0].values[id] = PropVariantHolder(value.get());
  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(EncodePropertySet(copy, &bytes), S_OK);
  EXPECT_EQ(bytes, stream);
}

// Every prefix and every single-byte change of a stream holding every type decodes or fails
// cleanly (the sanitizer build turns any stray read into a failure).
TEST(PropertySetDecode, TruncatedAndAlteredStreamsNeverMisbehave) {
  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(EncodePropertySet(EveryTypeSet(1252), &bytes), S_OK);
  int refused = 0;
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    PropertySetData out;
    const HRESULT hr = DecodePropertySet(std::span(bytes.data(), size), &out);
    if (FAILED(hr)) ++refused;
    EXPECT_TRUE(hr == S_OK || hr == STG_E_INVALIDHEADER) << size;
  }
  EXPECT_GT(refused, 0);
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    for (std::uint8_t change : {std::uint8_t{0xFF}, std::uint8_t{0x7F}, std::uint8_t{0x00}}) {
      auto altered = bytes;
      altered[at] = change;
      PropertySetData out;
      const HRESULT hr = DecodePropertySet(altered, &out);
      EXPECT_TRUE(hr == S_OK || hr == STG_E_INVALIDHEADER) << at;
    }
  }
}

}  // namespace
}  // namespace recfilereader
