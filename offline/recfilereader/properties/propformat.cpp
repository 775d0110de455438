#include <cstdio>
#include <cstring>

#include "platform/decimal.h"
#include "platform/filetimeformat.h"
#include "platform/guid.h"
#include "platform/textconv.h"
#include "properties/propvalue.h"

namespace recfilereader {
namespace {

// Texts are built in a buffer of this many characters, terminator included.
constexpr std::size_t kFormatBuffer = 128;

template <class T>
T Load(const void* element) {
  T value;
  std::memcpy(&value, element, sizeof value);
  return value;
}

// The GUID of a VT_CLSID element, or null: a plain scalar points to it, otherwise the element is
// the GUID itself.
const GUID* GuidOf(const void* element, VARTYPE type) {
  return type == VT_CLSID ? Load<const GUID*>(element) : static_cast<const GUID*>(element);
}

// Numbers and booleans, which are ASCII in both forms; false for other types.
bool FormatNumber(const void* element, VARTYPE type, std::string& out) {
  char buffer[kFormatBuffer];
  switch (type & VT_TYPEMASK) {
    case VT_I2: std::snprintf(buffer, sizeof buffer, "%hd", Load<SHORT>(element)); break;
    case VT_I4: case VT_INT: std::snprintf(buffer, sizeof buffer, "%d", Load<LONG>(element)); break;
    case VT_UI4: case VT_UINT: std::snprintf(buffer, sizeof buffer, "%u", Load<ULONG>(element)); break;
    case VT_I1: std::snprintf(buffer, sizeof buffer, "%hd", static_cast<short>(Load<CHAR>(element))); break;
    case VT_UI1: std::snprintf(buffer, sizeof buffer, "%hd", static_cast<short>(Load<UCHAR>(element))); break;
    case VT_UI2: std::snprintf(buffer, sizeof buffer, "%hu", Load<USHORT>(element)); break;
    case VT_I8: std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(Load<LONGLONG>(element))); break;
    case VT_UI8:
      std::snprintf(buffer, sizeof buffer, "%llu", static_cast<unsigned long long>(Load<ULONGLONG>(element)));
      break;
    case VT_R4: std::snprintf(buffer, sizeof buffer, "%f", static_cast<double>(Load<FLOAT>(element))); break;
    case VT_R8: std::snprintf(buffer, sizeof buffer, "%f", Load<DOUBLE>(element)); break;
    case VT_ERROR: std::snprintf(buffer, sizeof buffer, "0x%08x", Load<ULONG>(element)); break;
    case VT_BOOL: std::snprintf(buffer, sizeof buffer, "%s", Load<VARIANT_BOOL>(element) != 0 ? "true" : "false"); break;
    default: return false;
  }
  out = buffer;
  return true;
}

// Types whose text is wide by nature: DECIMAL, FILETIME, GUID, wide strings.
std::wstring FormatWideOnly(const void* element, VARTYPE type) {
  switch (type & VT_TYPEMASK) {
    case VT_DECIMAL: {
      const DECIMAL value = Load<DECIMAL>(element);
      return IsValidDecimal(value) ? DecimalToString(value) : std::wstring();
    }
    case VT_FILETIME: {
      std::wstring text = FormatFileTime(Load<FILETIME>(element));
      if (text.size() >= kFormatBuffer) text.resize(kFormatBuffer - 1);
      return text;
    }
    case VT_CLSID: {
      const GUID* guid = GuidOf(element, type);
      return guid != nullptr ? GuidToString(*guid) : std::wstring();
    }
    case VT_LPWSTR: {
      const wchar_t* text = Load<const wchar_t*>(element);
      return text != nullptr ? std::wstring(text) : std::wstring();
    }
    default:
      return std::wstring();
  }
}

template <class C>
ULONG ParseHex(const C* text) {
  if (text == nullptr) return 0;
  if (text[0] == C('0') && (text[1] == C('x') || text[1] == C('X'))) text += 2;
  ULONG code = 0;
  for (;; ++text) {
    const C c = *text;
    ULONG digit;
    if (c >= C('0') && c <= C('9')) digit = static_cast<ULONG>(c - C('0'));
    else if (c >= C('a') && c <= C('f')) digit = static_cast<ULONG>(c - C('a') + 10);
    else if (c >= C('A') && c <= C('F')) digit = static_cast<ULONG>(c - C('A') + 10);
    else break;
    code = code << 4 | digit;
  }
  return code;
}

}  // namespace

void FormatPropElement(const void* element, VARTYPE type, std::string& out) {
  out.clear();
  if (element == nullptr || FormatNumber(element, type, out)) return;
  if ((type & VT_TYPEMASK) == VT_LPSTR) {
    const char* text = Load<const char*>(element);
    if (text != nullptr) out = text;
    return;
  }
  out = WideToUtf8(FormatWideOnly(element, type));
}

void FormatPropElementW(const void* element, VARTYPE type, std::wstring& out) {
  out.clear();
  if (element == nullptr) return;
  std::string number;
  if (FormatNumber(element, type, number)) {
    out.assign(number.begin(), number.end());
    return;
  }
  if ((type & VT_TYPEMASK) == VT_LPSTR) {
    const char* text = Load<const char*>(element);
    if (text != nullptr) out = Utf8ToWide(text);
    return;
  }
  out = FormatWideOnly(element, type);
}

ULONG ParseHexCode(const char* text) { return ParseHex(text); }
ULONG ParseHexCodeW(const wchar_t* text) { return ParseHex(text); }

}  // namespace recfilereader
