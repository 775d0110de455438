#include "rechost/value.h"

#include <cerrno>
#include <cinttypes>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <type_traits>
#include <cstdio>
#include <ctime>

#include "rechost/text.h"

namespace rechost {
namespace {

struct TypeEntry {
  VARTYPE type;
  const char* name;
};
constexpr TypeEntry kTypeNames[] = {
    {VT_EMPTY, "VT_EMPTY"}, {VT_NULL, "VT_NULL"},       {VT_I2, "VT_I2"},         {VT_I4, "VT_I4"},
    {VT_R4, "VT_R4"},       {VT_R8, "VT_R8"},           {VT_CY, "VT_CY"},         {VT_DATE, "VT_DATE"},
    {VT_BSTR, "VT_BSTR"},   {VT_ERROR, "VT_ERROR"},     {VT_BOOL, "VT_BOOL"},     {VT_VARIANT, "VT_VARIANT"},
    {VT_DECIMAL, "VT_DECIMAL"}, {VT_I1, "VT_I1"},       {VT_UI1, "VT_UI1"},       {VT_UI2, "VT_UI2"},
    {VT_UI4, "VT_UI4"},     {VT_I8, "VT_I8"},           {VT_UI8, "VT_UI8"},       {VT_INT, "VT_INT"},
    {VT_UINT, "VT_UINT"},   {VT_LPSTR, "VT_LPSTR"},     {VT_LPWSTR, "VT_LPWSTR"}, {VT_FILETIME, "VT_FILETIME"},
    {VT_BLOB, "VT_BLOB"},   {VT_STREAM, "VT_STREAM"},   {VT_STORAGE, "VT_STORAGE"}, {VT_BLOB_OBJECT, "VT_BLOB_OBJECT"},
    {VT_CF, "VT_CF"},       {VT_CLSID, "VT_CLSID"},
};

// Task-memory copies, as PropVariantClear frees them.
void* CopyBytes(const void* bytes, std::size_t size) {
  void* copy = CoTaskMemAlloc(size);
  if (copy != nullptr && size != 0) std::memcpy(copy, bytes, size);
  return copy;
}
template <class Char>
Char* CopyString(const std::basic_string<Char>& text) {
  return static_cast<Char*>(CopyBytes(text.c_str(), (text.size() + 1) * sizeof(Char)));
}

// Bytes of one element of a vector of `element`; 0 for element types read here as no plain value.
std::size_t ElementSize(VARTYPE element) {
  switch (element) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: case VT_FILETIME: return 8;
    case VT_LPSTR: case VT_LPWSTR: case VT_BSTR: return sizeof(void*);
    case VT_CLSID: return sizeof(CLSID);
    default: return 0;
  }
}

Value Integer(std::int64_t n) { Value v; v.kind = Value::Kind::kInteger; v.integer = n; return v; }
Value Unsigned(std::uint64_t n) { Value v; v.kind = Value::Kind::kUnsigned; v.unsigned_integer = n; return v; }
Value Real(double d) { Value v; v.kind = Value::Kind::kReal; v.real = d; return v; }
Value Text(std::string s) { Value v; v.kind = Value::Kind::kText; v.text = std::move(s); return v; }

std::string GuidText(const GUID& g) {
  char out[40];
  std::snprintf(out, sizeof out, "{%08" PRIX32 "-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return out;
}

// 100-nanosecond ticks since 1601 as an ISO 8601 UTC time.
std::string FileTimeText(const FILETIME& ft) {
  const std::uint64_t ticks = (std::uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
  constexpr std::uint64_t kTicksTo1970 = 116444736000000000ull;
  if (ticks < kTicksTo1970) return std::to_string(ticks);
  const std::time_t seconds = static_cast<std::time_t>((ticks - kTicksTo1970) / 10000000);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  char out[48];
  std::snprintf(out, sizeof out, "%04d-%02d-%02dT%02d:%02d:%02d.%07" PRIu64 "Z", parts.tm_year + 1900, parts.tm_mon + 1,
                parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, (ticks - kTicksTo1970) % 10000000);
  return out;
}

// The 96-bit magnitude needs more than 64 bits; the compiler's 128-bit integer holds it.
__extension__ typedef unsigned __int128 Magnitude;

std::string DecimalText(const DECIMAL& d) {
  Magnitude magnitude = (static_cast<Magnitude>(d.Hi32) << 64) | (static_cast<Magnitude>(d.Mid32) << 32) | d.Lo32;
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude != 0);
  if (d.scale > 0) {
    if (digits.size() <= d.scale) digits.insert(0, d.scale - digits.size() + 1, '0');
    digits.insert(digits.size() - d.scale, 1, '.');
  }
  return (d.sign & DECIMAL_NEG) != 0 ? "-" + digits : digits;
}

Value Scalar(const PROPVARIANT& v) {
  switch (v.vt) {
    case VT_EMPTY: case VT_NULL: return Value{};
    case VT_BOOL: { Value b; b.kind = Value::Kind::kBool; b.boolean = v.boolVal != 0; return b; }
    case VT_I1: return Integer(v.cVal);
    case VT_I2: return Integer(v.iVal);
    case VT_I4: case VT_INT: return Integer(v.lVal);
    case VT_ERROR: return Integer(v.scode);
    case VT_I8: return Integer(v.hVal);
    case VT_UI1: return Unsigned(v.bVal);
    case VT_UI2: return Unsigned(v.uiVal);
    case VT_UI4: case VT_UINT: return Unsigned(v.ulVal);
    case VT_UI8: return Unsigned(v.uhVal);
    case VT_R4: return Real(v.fltVal);
    case VT_R8: case VT_DATE: return Real(v.dblVal);
    case VT_CY: return Real(static_cast<double>(v.cyVal) / 10000);
    case VT_LPSTR: return Text(v.pszVal == nullptr ? "" : v.pszVal);
    case VT_LPWSTR: case VT_BSTR: return Text(Narrow(v.pwszVal));
    case VT_FILETIME: return Text(FileTimeText(v.filetime));
    case VT_CLSID: return Text(v.puuid == nullptr ? "" : GuidText(*v.puuid));
    case VT_DECIMAL: return Text(DecimalText(PropVariantGetDecimal(v)));
    case VT_BLOB: case VT_BLOB_OBJECT: {
      Value b;
      b.kind = Value::Kind::kBytes;
      if (v.blob.pBlobData != nullptr) b.bytes.assign(v.blob.pBlobData, v.blob.pBlobData + v.blob.cbSize);
      return b;
    }
    default: return Text("(" + TypeName(v.vt) + ")");
  }
}

// The elements of a vector, each read as a scalar of the element type through a borrowed view.
Value Vector(const PROPVARIANT& v) {
  const VARTYPE element = v.vt & VT_TYPEMASK;
  Value list;
  list.kind = Value::Kind::kList;
  const ULONG count = v.cac.cElems;
  if (element == VT_VARIANT) {
    for (ULONG i = 0; i < count; ++i) list.items.push_back(ToValue(v.capropvar.pElems[i]));
    return list;
  }
  const std::size_t size = ElementSize(element);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(v.cac.pElems);
  if (size == 0 || bytes == nullptr) return count == 0 ? list : Text("(" + TypeName(v.vt) + ")");
  for (ULONG i = 0; i < count; ++i) {
    PROPVARIANT item;
    PropVariantInit(&item);
    item.vt = element;
    // A CLSID vector holds the GUIDs themselves; a scalar holds a pointer to one.
    if (element == VT_CLSID)
      item.puuid = reinterpret_cast<CLSID*>(const_cast<std::uint8_t*>(bytes + i * size));
    else
      std::memcpy(&item.cVal, bytes + i * size, size);
    list.items.push_back(Scalar(item));
  }
  return list;
}

}  // namespace

OwnedValue OwnedValue::Text(const std::string& utf8) {
  OwnedValue owned;
  owned.value_.vt = VT_LPWSTR;
  owned.value_.pwszVal = CopyString(Widen(utf8));
  return owned;
}

OwnedValue OwnedValue::Blob(const std::vector<std::uint8_t>& bytes) {
  OwnedValue owned;
  owned.value_.vt = VT_BLOB;
  owned.value_.blob.cbSize = static_cast<ULONG>(bytes.size());
  owned.value_.blob.pBlobData = static_cast<BYTE*>(CopyBytes(bytes.data(), bytes.size()));
  return owned;
}

namespace {

// The whole text as a number within [low, high].
template <class T>
bool ParseWhole(const std::string& text, T low, T high, T& out) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  errno = 0;
  char* end = nullptr;
  if constexpr (std::is_floating_point_v<T>) {
    const double d = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || d < low || d > high) return false;
    out = static_cast<T>(d);
  } else if constexpr (std::is_signed_v<T>) {
    const long long n = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || n < low || n > high) return false;
    out = static_cast<T>(n);
  } else {
    if (text[0] == '-') return false;
    const unsigned long long n = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || n > high) return false;
    out = static_cast<T>(n);
  }
  return true;
}

template <class T>
bool ParseInto(const std::string& text, T& field) {
  return ParseWhole<T>(text, std::numeric_limits<T>::lowest(), std::numeric_limits<T>::max(), field);
}

bool ParseGuid(const std::string& text, GUID& out) {
  unsigned d4[8];
  unsigned d2, d3;
  unsigned long d1;
  int consumed = 0;
  const char* start = text.c_str() + (text.size() > 0 && text[0] == '{' ? 1 : 0);
  if (std::sscanf(start, "%8lx-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x%n", &d1, &d2, &d3, &d4[0], &d4[1], &d4[2], &d4[3], &d4[4],
                  &d4[5], &d4[6], &d4[7], &consumed) != 11)
    return false;
  const std::string rest(start + consumed);
  if (rest != (start == text.c_str() ? "" : "}")) return false;
  out = {static_cast<std::uint32_t>(d1), static_cast<std::uint16_t>(d2), static_cast<std::uint16_t>(d3), {}};
  for (int i = 0; i < 8; ++i) out.Data4[i] = static_cast<std::uint8_t>(d4[i]);
  return true;
}

}  // namespace

bool OwnedValue::Parse(const std::string& text, VARTYPE type, OwnedValue& out) {
  PROPVARIANT& v = out.value_;
  PropVariantClear(&v);
  bool parsed = true;
  switch (type) {
    case VT_EMPTY: case VT_LPWSTR: out = Text(text); return true;
    case VT_BSTR: v.bstrVal = SysAllocString(Widen(text).c_str()); break;
    case VT_LPSTR: v.pszVal = CopyString(text); break;
    case VT_I1: parsed = ParseInto(text, v.cVal); break;
    case VT_I2: parsed = ParseInto(text, v.iVal); break;
    case VT_I4: case VT_INT: parsed = ParseInto(text, v.lVal); break;
    case VT_I8: parsed = ParseInto(text, v.hVal); break;
    case VT_UI1: parsed = ParseInto(text, v.bVal); break;
    case VT_UI2: parsed = ParseInto(text, v.uiVal); break;
    case VT_UI4: case VT_UINT: parsed = ParseInto(text, v.ulVal); break;
    case VT_UI8: parsed = ParseInto(text, v.uhVal); break;
    case VT_R4: parsed = ParseInto(text, v.fltVal); break;
    case VT_R8: parsed = ParseInto(text, v.dblVal); break;
    case VT_BOOL:
      parsed = text == "true" || text == "false" || text == "1" || text == "0";
      v.boolVal = text == "true" || text == "1" ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case VT_CLSID: {
      GUID id{};
      parsed = ParseGuid(text, id);
      if (parsed) v.puuid = static_cast<CLSID*>(CopyBytes(&id, sizeof id));
      break;
    }
    default: parsed = false;
  }
  if (!parsed) return false;
  v.vt = type;
  return true;
}

OwnedValue::OwnedValue(OwnedValue&& other) noexcept : value_(other.value_) { PropVariantInit(&other.value_); }

OwnedValue& OwnedValue::operator=(OwnedValue&& other) noexcept {
  if (this != &other) {
    PropVariantClear(&value_);
    value_ = other.value_;
    PropVariantInit(&other.value_);
  }
  return *this;
}

Value ToValue(const PROPVARIANT& value) {
  if ((value.vt & VT_VECTOR) != 0) return Vector(value);
  if ((value.vt & (VT_ARRAY | VT_BYREF)) != 0) return Text("(" + TypeName(value.vt) + ")");
  return Scalar(value);
}

std::string TypeName(VARTYPE type) {
  std::string prefix;
  if ((type & VT_VECTOR) != 0) prefix += "VT_VECTOR|";
  if ((type & VT_ARRAY) != 0) prefix += "VT_ARRAY|";
  if ((type & VT_BYREF) != 0) prefix += "VT_BYREF|";
  const VARTYPE base = type & VT_TYPEMASK;
  for (const auto& entry : kTypeNames)
    if (entry.type == base) return prefix + entry.name;
  return prefix + "VT_" + std::to_string(base);
}

std::string DisplayText(const Value& value) {
  char buffer[64];
  switch (value.kind) {
    case Value::Kind::kEmpty: return "(empty)";
    case Value::Kind::kBool: return value.boolean ? "true" : "false";
    case Value::Kind::kInteger: return std::to_string(value.integer);
    case Value::Kind::kUnsigned: return std::to_string(value.unsigned_integer);
    case Value::Kind::kReal: std::snprintf(buffer, sizeof buffer, "%.17g", value.real); return buffer;
    case Value::Kind::kText: return value.text;
    case Value::Kind::kBytes: return "(" + std::to_string(value.bytes.size()) + " bytes)";
    case Value::Kind::kList: {
      std::string out = "[";
      for (std::size_t i = 0; i < value.items.size(); ++i) out += (i ? ", " : "") + DisplayText(value.items[i]);
      return out + "]";
    }
  }
  return {};
}

}  // namespace rechost
