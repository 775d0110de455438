#include "platform/storage/propertysetnames.h"

#include <array>
#include <cstdint>

#include "platform/bytes.h"
#include "platform/storage/propertysetinterfaces.h"
#include "platform/textconv.h"

namespace recfilereader {
namespace {

constexpr wchar_t kPrefix = L'\005';
constexpr std::wstring_view kAlphabet = L"abcdefghijklmnopqrstuvwxyz012345";
constexpr std::size_t kNameChars = 26;  // ceil(128 / 5)

struct FixedName {
  const FMTID* fmtid;
  std::wstring_view name;
};
// UserDefinedProperties shares the DocumentSummaryInformation stream as its second section;
// its name therefore maps back to the first.
constexpr std::array<FixedName, 3> kFixedNames = {{
    {&FMTID_SummaryInformation, L"SummaryInformation"},
    {&FMTID_DocSummaryInformation, L"DocumentSummaryInformation"},
    {&FMTID_UserDefinedProperties, L"DocumentSummaryInformation"},
}};

std::array<std::uint8_t, 16> GuidBytes(const GUID& g) {
  std::array<std::uint8_t, 16> b{};
  StoreLe32(b.data(), g.Data1);
  StoreLe16(b.data() + 4, g.Data2);
  StoreLe16(b.data() + 6, g.Data3);
  for (int i = 0; i < 8; ++i) b[8 + i] = g.Data4[i];
  return b;
}

GUID GuidFromBytes(const std::array<std::uint8_t, 16>& b) {
  GUID g{};
  g.Data1 = LoadLe32(b.data());
  g.Data2 = LoadLe16(b.data() + 4);
  g.Data3 = LoadLe16(b.data() + 6);
  for (int i = 0; i < 8; ++i) g.Data4[i] = b[8 + i];
  return g;
}

// Bit `bit` of the identifier's bytes read as one little-endian 128-bit number.
unsigned BitAt(const std::array<std::uint8_t, 16>& b, unsigned bit) {
  return bit < 128 ? (b[bit / 8] >> (bit % 8)) & 1u : 0u;
}

}  // namespace

std::wstring FmtIdToPropStgName(const FMTID& fmtid) {
  for (const FixedName& fixed : kFixedNames) {
    if (*fixed.fmtid == fmtid) return std::wstring(1, kPrefix) + std::wstring(fixed.name);
  }
  const auto bytes = GuidBytes(fmtid);
  std::wstring name(1, kPrefix);
  for (unsigned i = 0; i < kNameChars; ++i) {
    unsigned value = 0;
    for (unsigned k = 0; k < 5; ++k) value |= BitAt(bytes, 5 * i + k) << k;
    wchar_t c = kAlphabet[value];
    // A character that starts on a byte boundary is written in upper case.
    if ((5 * i) % 8 == 0 && c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    name.push_back(c);
  }
  return name;
}

bool PropStgNameToFmtId(std::wstring_view name, FMTID* fmtid) {
  if (name.empty() || name[0] != kPrefix) return false;
  const std::wstring_view rest = name.substr(1);
  for (const FixedName& fixed : kFixedNames) {
    if (WideCompareNoCase(rest, fixed.name) == 0) {
      *fmtid = *fixed.fmtid;
      return true;
    }
  }
  if (rest.size() != kNameChars) return false;
  std::array<std::uint8_t, 16> bytes{};
  for (unsigned i = 0; i < kNameChars; ++i) {
    wchar_t c = rest[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    const std::size_t value = kAlphabet.find(c);
    if (value == std::wstring_view::npos) return false;
    for (unsigned k = 0; k < 5; ++k) {
      const unsigned bit = 5 * i + k;
      if (((value >> k) & 1u) == 0) continue;
      if (bit >= 128) return false;  // the last character carries only three bits
      bytes[bit / 8] = static_cast<std::uint8_t>(bytes[bit / 8] | (1u << (bit % 8)));
    }
  }
  *fmtid = GuidFromBytes(bytes);
  return true;
}

}  // namespace recfilereader
