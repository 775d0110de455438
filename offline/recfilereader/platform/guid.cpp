#include "platform/guid.h"

#include <cwchar>

namespace recfilereader {
namespace {

// Positions of the dashes in the braced form; every other inner character is a hex digit.
constexpr int kDashes[] = {9, 14, 19, 24};

int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

bool IsDashPosition(int i) {
  for (int d : kDashes) {
    if (i == d) return true;
  }
  return false;
}

// Reads `digits` hex digits starting at `text[pos]`; the caller has checked the shape.
std::uint32_t ReadHex(std::wstring_view text, int pos, int digits) {
  std::uint32_t value = 0;
  for (int i = 0; i < digits; ++i) value = value << 4 | static_cast<std::uint32_t>(HexValue(text[pos + i]));
  return value;
}

}  // namespace

std::wstring GuidToString(const GUID& guid) {
  wchar_t buffer[kGuidStringLength + 1];
  std::swprintf(buffer, kGuidStringLength + 1, L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                guid.Data1, guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2],
                guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return std::wstring(buffer, kGuidStringLength);
}

bool ParseGuid(std::wstring_view text, GUID& guid) {
  if (text.size() != kGuidStringLength || text.front() != L'{' || text.back() != L'}') return false;
  for (int i = 1; i < kGuidStringLength - 1; ++i) {
    const bool dash = IsDashPosition(i);
    if (dash ? text[i] != L'-' : HexValue(text[i]) < 0) return false;
  }
  GUID parsed;
  parsed.Data1 = ReadHex(text, 1, 8);
  parsed.Data2 = static_cast<std::uint16_t>(ReadHex(text, 10, 4));
  parsed.Data3 = static_cast<std::uint16_t>(ReadHex(text, 15, 4));
  parsed.Data4[0] = static_cast<std::uint8_t>(ReadHex(text, 20, 2));
  parsed.Data4[1] = static_cast<std::uint8_t>(ReadHex(text, 22, 2));
  for (int i = 0; i < 6; ++i) parsed.Data4[2 + i] = static_cast<std::uint8_t>(ReadHex(text, 25 + 2 * i, 2));
  guid = parsed;
  return true;
}

int StringFromGUID2(const GUID& guid, wchar_t* buffer, int capacity) {
  if (buffer == nullptr || capacity < kGuidStringLength + 1) return 0;
  const std::wstring text = GuidToString(guid);
  std::wmemcpy(buffer, text.c_str(), text.size() + 1);
  return kGuidStringLength + 1;
}

HRESULT CLSIDFromString(const wchar_t* text, GUID* guid) {
  if (guid == nullptr) return E_INVALIDARG;
  if (text == nullptr) {
    *guid = GUID_NULL;
    return S_OK;
  }
  return ParseGuid(text, *guid) ? S_OK : CO_E_CLASSSTRING;
}

}  // namespace recfilereader
