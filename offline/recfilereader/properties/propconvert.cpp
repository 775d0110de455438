#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <locale.h>
#include <string>
#include <type_traits>

#include "platform/decimal.h"
#include "platform/guid.h"
#include "platform/textconv.h"
#include "properties/propvalue.h"
#include "recfilereader/propvariant.h"

namespace recfilereader {
namespace {

template <class T>
T Load(const void* element) {
  T value;
  std::memcpy(&value, element, sizeof value);
  return value;
}

template <class T>
void StoreAt(void* element, T value) {
  std::memcpy(element, &value, sizeof value);
}

// ---- Text to number, as the C library's atoi, _atoi64 and atof read text. ----

template <class C>
bool IsSpace(C c) { return c == C(' ') || (c >= C('\t') && c <= C('\r')); }

// Leading blanks, an optional sign and decimal digits; the value saturates at the limits of
// the result type, as the run-time's atoi family does.
template <class C>
std::int64_t ParseInteger(const C* text, std::int64_t min, std::int64_t max) {
  if (text == nullptr) return 0;
  while (IsSpace(*text)) ++text;
  const bool negative = *text == C('-');
  if (*text == C('+') || *text == C('-')) ++text;
  const std::uint64_t limit = negative ? 0 - static_cast<std::uint64_t>(min) : static_cast<std::uint64_t>(max);
  std::uint64_t magnitude = 0;
  for (; *text >= C('0') && *text <= C('9'); ++text) {
    const auto digit = static_cast<std::uint64_t>(*text - C('0'));
    magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
  }
  return negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
}

template <class C>
LONG Atoi(const C* text) {
  return static_cast<LONG>(ParseInteger(text, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max()));
}

template <class C>
LONGLONG Atoi64(const C* text) {
  return ParseInteger(text, std::numeric_limits<LONGLONG>::min(), std::numeric_limits<LONGLONG>::max());
}

// strtod in the "C" locale, whatever locale the host has set; used only for values beyond the
// double range, where from_chars reports instead of giving infinity or zero.
double ParseOutOfRange(const std::string& text) {
  locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  if (c_locale == static_cast<locale_t>(nullptr)) return 0.0;
  const double value = strtod_l(text.c_str(), nullptr, c_locale);
  freelocale(c_locale);
  return value;
}

template <class C>
double Atof(const C* text) {
  if (text == nullptr) return 0.0;
  while (IsSpace(*text)) ++text;
  std::string ascii;  // the number can only be made of ASCII characters
  for (;; ++text) {
    const auto code = static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<C>>(*text));
    if (code == 0 || code >= 0x80) break;
    ascii += static_cast<char>(code);
  }
  std::size_t start = 0;
  const bool negative = !ascii.empty() && ascii[0] == '-';
  if (!ascii.empty() && (ascii[0] == '+' || ascii[0] == '-')) start = 1;
  if (start == 1 && ascii.size() > 1 && (ascii[1] == '+' || ascii[1] == '-')) return 0.0;
  auto format = std::chars_format::general;
  if (ascii.compare(start, 2, "0x") == 0 || ascii.compare(start, 2, "0X") == 0) {
    format = std::chars_format::hex;
    start += 2;
  }
  double value = 0.0;
  const auto [end, error] = std::from_chars(ascii.data() + start, ascii.data() + ascii.size(), value, format);
  if (error == std::errc::result_out_of_range) return ParseOutOfRange(ascii);
  (void)end;
  return negative ? -value : value;
}

// ---- Floating point to integer, as the x86 conversions truncate: out of range gives the
// most negative value. ----

std::int32_t TruncateTo32(double value) {
  if (!(value > -2147483649.0 && value < 2147483648.0)) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

std::int64_t TruncateTo64(double value) {
  if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0))
    return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

// Into an unsigned 64-bit target the upper half of the range converts exactly.
std::uint64_t TruncateToUnsigned64(double value) {
  if (value >= 9223372036854775808.0 && value < 18446744073709551616.0) return static_cast<std::uint64_t>(value);
  return static_cast<std::uint64_t>(TruncateTo64(value));
}

// ---- The source element, read once into the forms the targets need. ----

enum class Kind { kOther, kInteger, kReal, kBool, kError, kNarrow, kWide, kDecimal };

struct Source {
  VARTYPE type = VT_EMPTY;  // full type of the value the element belongs to
  VARTYPE element = VT_EMPTY;
  const void* at = nullptr;
  Kind kind = Kind::kOther;
  std::int64_t integer = 0;  // kInteger, kBool (-1 / raw 16-bit), kError: the value, extended
  bool is_unsigned = false;  // kInteger: zero-extended
  double real = 0.0;         // kReal
  const char* narrow = nullptr;
  const wchar_t* wide = nullptr;
  DECIMAL decimal{};
};

Source ReadSource(const void* at, VARTYPE type) {
  Source s;
  s.type = type;
  s.element = static_cast<VARTYPE>(type & VT_TYPEMASK);
  s.at = at;
  switch (s.element) {
    case VT_I1: s.kind = Kind::kInteger; s.integer = Load<CHAR>(at); break;
    case VT_UI1: s.kind = Kind::kInteger; s.integer = Load<UCHAR>(at); s.is_unsigned = true; break;
    case VT_I2: s.kind = Kind::kInteger; s.integer = Load<SHORT>(at); break;
    case VT_UI2: s.kind = Kind::kInteger; s.integer = Load<USHORT>(at); s.is_unsigned = true; break;
    case VT_I4: case VT_INT: s.kind = Kind::kInteger; s.integer = Load<LONG>(at); break;
    case VT_UI4: case VT_UINT: s.kind = Kind::kInteger; s.integer = Load<ULONG>(at); s.is_unsigned = true; break;
    case VT_I8: s.kind = Kind::kInteger; s.integer = Load<LONGLONG>(at); break;
    case VT_UI8:
      s.kind = Kind::kInteger;
      s.integer = static_cast<std::int64_t>(Load<ULONGLONG>(at));
      s.is_unsigned = true;
      break;
    case VT_R4: s.kind = Kind::kReal; s.real = Load<FLOAT>(at); break;
    case VT_R8: s.kind = Kind::kReal; s.real = Load<DOUBLE>(at); break;
    case VT_BOOL: s.kind = Kind::kBool; s.integer = Load<VARIANT_BOOL>(at); break;
    case VT_ERROR: s.kind = Kind::kError; s.integer = Load<SCODE>(at); break;
    case VT_LPSTR: s.kind = Kind::kNarrow; s.narrow = Load<const char*>(at); break;
    case VT_LPWSTR: s.kind = Kind::kWide; s.wide = Load<const wchar_t*>(at); break;
    case VT_DECIMAL: s.kind = Kind::kDecimal; s.decimal = Load<DECIMAL>(at); break;
    default: break;
  }
  return s;
}

bool IsIntegral(const Source& s) { return s.kind == Kind::kInteger || s.kind == Kind::kBool; }

// ---- Targets. ----

enum class Outcome { kDone, kRefused, kNoMemory };

struct Target {
  void* at;
  VARTYPE type;     // full type
  VARTYPE element;  // type & VT_TYPEMASK
  bool scalar() const { return (type & (VT_VECTOR | VT_BYREF)) == 0; }
};

// Stores the low bits of `bits` in the integer target.
void StoreBits(const Target& t, std::uint64_t bits) {
  switch (PropElementSize(t.element)) {
    case 1: StoreAt(t.at, static_cast<std::uint8_t>(bits)); break;
    case 2: StoreAt(t.at, static_cast<std::uint16_t>(bits)); break;
    case 4: StoreAt(t.at, static_cast<std::uint32_t>(bits)); break;
    default: StoreAt(t.at, bits); break;
  }
}

template <class T>
Outcome FromDecimal(const Target& t, const Source& s, HRESULT (*convert)(const DECIMAL*, T*)) {
  T value{};
  if (SUCCEEDED(convert(&s.decimal, &value))) StoreAt(t.at, value);
  return Outcome::kDone;  // like the automation calls' results, an overflow is not examined
}

Outcome ToSmallInteger(const Target& t, const Source& s) {
  if (IsIntegral(s)) StoreBits(t, static_cast<std::uint64_t>(s.integer));
  else if (s.kind == Kind::kReal) StoreBits(t, static_cast<std::uint32_t>(TruncateTo32(s.real)));
  else if (s.kind == Kind::kNarrow) StoreBits(t, static_cast<std::uint32_t>(Atoi(s.narrow)));
  else if (s.kind == Kind::kWide) StoreBits(t, static_cast<std::uint32_t>(Atoi(s.wide)));
  else if (s.kind == Kind::kDecimal) {
    switch (t.element) {
      case VT_I1: return FromDecimal<CHAR>(t, s, VarI1FromDec);
      case VT_UI1: return FromDecimal<BYTE>(t, s, VarUI1FromDec);
      case VT_I2: return FromDecimal<SHORT>(t, s, VarI2FromDec);
      default: return FromDecimal<USHORT>(t, s, VarUI2FromDec);
    }
  } else {
    return Outcome::kRefused;
  }
  return Outcome::kDone;
}

Outcome To32(const Target& t, const Source& s) {
  const bool is_unsigned = t.element == VT_UI4 || t.element == VT_UINT;
  if (IsIntegral(s) || s.kind == Kind::kError) StoreBits(t, static_cast<std::uint64_t>(s.integer));
  else if (s.kind == Kind::kReal)
    StoreBits(t, is_unsigned ? static_cast<std::uint64_t>(TruncateTo64(s.real))
                             : static_cast<std::uint32_t>(TruncateTo32(s.real)));
  else if (s.kind == Kind::kNarrow) StoreBits(t, static_cast<std::uint32_t>(Atoi(s.narrow)));
  else if (s.kind == Kind::kWide) StoreBits(t, static_cast<std::uint32_t>(Atoi(s.wide)));
  else if (s.kind == Kind::kDecimal && t.element == VT_I4) return FromDecimal<LONG>(t, s, VarI4FromDec);
  else if (s.kind == Kind::kDecimal && t.element == VT_UI4) return FromDecimal<ULONG>(t, s, VarUI4FromDec);
  else return Outcome::kRefused;  // VT_INT and VT_UINT refuse DECIMAL
  return Outcome::kDone;
}

Outcome To64(const Target& t, const Source& s) {
  const bool is_unsigned = t.element == VT_UI8;
  if (IsIntegral(s)) StoreBits(t, static_cast<std::uint64_t>(s.integer));
  else if (s.kind == Kind::kReal)
    StoreBits(t, is_unsigned ? TruncateToUnsigned64(s.real) : static_cast<std::uint64_t>(TruncateTo64(s.real)));
  else if (s.kind == Kind::kNarrow) StoreBits(t, static_cast<std::uint64_t>(Atoi64(s.narrow)));
  else if (s.kind == Kind::kWide) StoreBits(t, static_cast<std::uint64_t>(Atoi64(s.wide)));
  else if (s.kind == Kind::kDecimal && is_unsigned) return FromDecimal<ULONGLONG>(t, s, VarUI8FromDec);
  else if (s.kind == Kind::kDecimal) return FromDecimal<LONGLONG>(t, s, VarI8FromDec);
  else return Outcome::kRefused;
  return Outcome::kDone;
}

void StoreReal(const Target& t, double value) {
  if (t.element == VT_R4) StoreAt(t.at, static_cast<FLOAT>(value));
  else StoreAt(t.at, value);
}

Outcome ToReal(const Target& t, const Source& s) {
  if (s.kind == Kind::kInteger) {
    if (t.element == VT_R4)  // one rounding, straight from the integer
      StoreAt(t.at, s.is_unsigned ? static_cast<FLOAT>(static_cast<std::uint64_t>(s.integer))
                                  : static_cast<FLOAT>(s.integer));
    else
      StoreReal(t, s.is_unsigned ? static_cast<double>(static_cast<std::uint64_t>(s.integer))
                                 : static_cast<double>(s.integer));
  } else if (s.kind == Kind::kReal) StoreReal(t, s.real);
  else if (s.kind == Kind::kBool) StoreReal(t, s.integer != 0 ? -1.0 : 0.0);
  else if (s.kind == Kind::kNarrow) StoreReal(t, Atof(s.narrow));
  else if (s.kind == Kind::kWide) StoreReal(t, Atof(s.wide));
  else if (s.kind == Kind::kDecimal && t.element == VT_R4) return FromDecimal<FLOAT>(t, s, VarR4FromDec);
  else if (s.kind == Kind::kDecimal) return FromDecimal<DOUBLE>(t, s, VarR8FromDec);
  else return Outcome::kRefused;
  return Outcome::kDone;
}

template <class C>
bool TextIsTrue(const C* text) {
  if (text == nullptr) return false;
  static constexpr char kFalse[] = "false";
  std::size_t i = 0;
  for (; i < 5; ++i) {
    const C c = text[i];
    if (c != C(kFalse[i]) && c != C(kFalse[i] - 'a' + 'A')) break;
  }
  if (i == 5 && text[5] == C(0)) return false;
  if (text[0] >= C('0') && text[0] <= C('9')) return Atoi(text) != 0;
  return true;
}

Outcome ToBool(const Target& t, const Source& s) {
  bool value;
  if (IsIntegral(s)) value = s.integer != 0;
  else if (s.kind == Kind::kReal) value = s.real != 0.0;  // NaN is true
  else if (s.kind == Kind::kError) value = s.integer >= 0;
  else if (s.kind == Kind::kNarrow) value = TextIsTrue(s.narrow);
  else if (s.kind == Kind::kWide) value = TextIsTrue(s.wide);
  else if (s.kind == Kind::kDecimal) return FromDecimal<VARIANT_BOOL>(t, s, VarBoolFromDec);
  else return Outcome::kRefused;
  StoreAt(t.at, value ? VARIANT_TRUE : VARIANT_FALSE);
  return Outcome::kDone;
}

Outcome ToError(const Target& t, const Source& s) {
  switch (s.element) {
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR:
      StoreAt(t.at, static_cast<std::uint32_t>(s.integer));
      return Outcome::kDone;
    case VT_LPSTR: StoreAt(t.at, ParseHexCode(s.narrow)); return Outcome::kDone;
    case VT_LPWSTR: StoreAt(t.at, ParseHexCodeW(s.wide)); return Outcome::kDone;
    default: return Outcome::kRefused;
  }
}

// The result of a VarDecFrom... call; a failure leaves the target as it was.
Outcome StoreDecimal(const Target& t, HRESULT result, const DECIMAL& value) {
  if (SUCCEEDED(result)) {
    DECIMAL stored = Load<DECIMAL>(t.at);  // keep its first word: a variant's type field
    stored.scale = value.scale;
    stored.sign = value.sign;
    stored.Hi32 = value.Hi32;
    stored.Mid32 = value.Mid32;
    stored.Lo32 = value.Lo32;
    StoreAt(t.at, stored);
  }
  return Outcome::kDone;
}

Outcome ToDecimal(const Target& t, const Source& s) {
  DECIMAL value{};
  switch (s.element) {
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: return StoreDecimal(t, VarDecFromI8(s.integer, &value), value);
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8:
      return StoreDecimal(t, VarDecFromUI8(static_cast<ULONGLONG>(s.integer), &value), value);
    case VT_R4: return StoreDecimal(t, VarDecFromR4(static_cast<FLOAT>(s.real), &value), value);
    case VT_R8: return StoreDecimal(t, VarDecFromR8(s.real, &value), value);
    case VT_BOOL: return StoreDecimal(t, VarDecFromBool(static_cast<VARIANT_BOOL>(s.integer), &value), value);
    case VT_LPWSTR:
      return StoreDecimal(t, VarDecFromStr(s.wide, kLocaleEnglishUs, LOCALE_NOUSEROVERRIDE, &value), value);
    case VT_LPSTR: {
      const std::wstring wide = s.narrow != nullptr ? Utf8ToWide(s.narrow) : std::wstring();
      return StoreDecimal(t, VarDecFromStr(s.narrow != nullptr ? wide.c_str() : nullptr, kLocaleEnglishUs,
                                           LOCALE_NOUSEROVERRIDE, &value),
                          value);
    }
    case VT_DECIMAL:
      StoreAt(t.at, s.decimal);
      if (t.scalar()) StoreAt(t.at, static_cast<VARTYPE>(VT_DECIMAL));  // the copy overwrote the type
      return Outcome::kDone;
    default:
      return Outcome::kRefused;
  }
}

template <class C>
C* Duplicate(const std::basic_string<C>& text) {
  auto* copy = static_cast<C*>(CoTaskMemAlloc((text.size() + 1) * sizeof(C)));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(C));
  return copy;
}

// A string target: a copy of a string of its own kind, otherwise the source's text.
template <class C>
Outcome ToText(const Target& t, const Source& s) {
  constexpr VARTYPE kOwnType = std::is_same_v<C, char> ? VT_LPSTR : VT_LPWSTR;
  const C* own = s.element == kOwnType ? Load<const C*>(s.at) : nullptr;
  C* copy = nullptr;
  bool copied = true;
  if (s.element != kOwnType || own != nullptr) {
    std::basic_string<C> text;
    if (own != nullptr) text = own;
    else if constexpr (std::is_same_v<C, char>) FormatPropElement(s.at, s.type, text);
    else FormatPropElementW(s.at, s.type, text);
    copy = Duplicate(text);
    copied = copy != nullptr;
  }
  CoTaskMemFree(Load<C*>(t.at));  // released only now: the source may be this very element
  StoreAt(t.at, copy);
  return copied ? Outcome::kDone : Outcome::kNoMemory;
}

Outcome ToFileTime(const Target& t, const Source& s) {
  if (s.element != VT_FILETIME) return Outcome::kRefused;
  StoreAt(t.at, Load<FILETIME>(s.at));
  return Outcome::kDone;
}

// A scalar VT_CLSID target holds a pointer to its GUID, made here when absent; a vector or
// VT_BYREF element is the GUID.
Outcome ToGuid(const Target& t, const Source& s) {
  const bool accepted = s.element == VT_CLSID || s.element == VT_LPWSTR || s.element == VT_BSTR || s.element == VT_LPSTR;
  GUID* guid = static_cast<GUID*>(t.at);
  if (t.scalar()) {
    guid = Load<GUID*>(t.at);
    if (!accepted) {
      CoTaskMemFree(guid);
      StoreAt(t.at, static_cast<GUID*>(nullptr));
      return Outcome::kRefused;
    }
    if (guid == nullptr) {
      guid = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
      if (guid == nullptr) return Outcome::kNoMemory;
      *guid = GUID_NULL;
      StoreAt(t.at, guid);
    }
  } else if (!accepted) {
    return Outcome::kRefused;
  }
  if (s.element == VT_CLSID) {
    const GUID* from = s.type == VT_CLSID ? Load<const GUID*>(s.at) : static_cast<const GUID*>(s.at);
    *guid = from != nullptr ? *from : GUID_NULL;
  } else if (s.element == VT_LPSTR) {
    // Narrow text passes through a 48-character buffer: longer text is no GUID.
    const std::wstring wide = s.narrow != nullptr ? Utf8ToWide(s.narrow) : std::wstring();
    if (s.narrow == nullptr || wide.size() < 48) (void)CLSIDFromString(s.narrow != nullptr ? wide.c_str() : nullptr, guid);
  } else {
    (void)CLSIDFromString(Load<const wchar_t*>(s.at), guid);
  }
  return Outcome::kDone;
}

Outcome ToUnknown(const Target& t, const Source& s) {
  if (s.element != VT_UNKNOWN) return Outcome::kRefused;
  IUnknown* object = Load<IUnknown*>(s.at);
  if (t.scalar()) {  // the value holds a reference of its own
    if (object != nullptr) object->AddRef();
    if (IUnknown* old = Load<IUnknown*>(t.at)) old->Release();
  }
  StoreAt(t.at, object);
  return Outcome::kDone;
}

Outcome Dispatch(const Target& t, const Source& s) {
  switch (t.element) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: return ToSmallInteger(t, s);
    case VT_I4: case VT_INT: case VT_UI4: case VT_UINT: return To32(t, s);
    case VT_I8: case VT_UI8: return To64(t, s);
    case VT_R4: case VT_R8: return ToReal(t, s);
    case VT_BOOL: return ToBool(t, s);
    case VT_ERROR: return ToError(t, s);
    case VT_DECIMAL: return ToDecimal(t, s);
    case VT_LPSTR: return ToText<char>(t, s);
    case VT_LPWSTR: return ToText<wchar_t>(t, s);
    case VT_FILETIME: return ToFileTime(t, s);
    case VT_CLSID: return ToGuid(t, s);
    case VT_UNKNOWN: return ToUnknown(t, s);
    default: return Outcome::kRefused;
  }
}

// A refused pair leaves a zero target; a scalar DECIMAL keeps its type field, a scalar
// interface pointer gives up its reference.
void ZeroTarget(const Target& t) {
  if (t.element == VT_CLSID && t.scalar()) return;  // ToGuid has released and cleared it
  if (t.element == VT_UNKNOWN && t.scalar()) {
    if (IUnknown* old = Load<IUnknown*>(t.at)) old->Release();
  }
  std::memset(t.at, 0, PropElementSize(t.element));
  if (t.element == VT_DECIMAL && t.scalar()) StoreAt(t.at, static_cast<VARTYPE>(VT_DECIMAL));
}

template <VARTYPE kNativeType, class T>
bool ConvertNative(T& native, PROPVARIANT& value, bool to_variant) {
  if (!to_variant) {
    const void* source = PropElementPtr(value, 0, false);
    return source != nullptr && ConvertPropElement(&native, kNativeType, source, value.vt);
  }
  if (value.vt == VT_EMPTY || value.vt == VT_NULL) {
    PropVariantInit(&value);
    value.vt = kNativeType;
  }
  void* target = PropElementPtr(value, 0, true);
  return target != nullptr && ConvertPropElement(target, value.vt, &native, kNativeType);
}

}  // namespace

bool ConvertPropElement(void* target, VARTYPE target_type, const void* source, VARTYPE source_type) {
  if (target == nullptr || source == nullptr) return false;
  const Target t{target, target_type, static_cast<VARTYPE>(target_type & VT_TYPEMASK)};
  switch (Dispatch(t, ReadSource(source, source_type))) {
    case Outcome::kDone: return true;
    case Outcome::kNoMemory: return false;
    case Outcome::kRefused: break;
  }
  ZeroTarget(t);
  return false;
}

bool ConvertPropValue(double& native, PROPVARIANT& value, bool to_variant) {
  return ConvertNative<VT_R8>(native, value, to_variant);
}
bool ConvertPropValue(LONG& native, PROPVARIANT& value, bool to_variant) {
  return ConvertNative<VT_I4>(native, value, to_variant);
}
bool ConvertPropValue(ULONG& native, PROPVARIANT& value, bool to_variant) {
  return ConvertNative<VT_UI4>(native, value, to_variant);
}
bool ConvertPropValue(ULONGLONG& native, PROPVARIANT& value, bool to_variant) {
  return ConvertNative<VT_UI8>(native, value, to_variant);
}

bool ConvertPropValue(PROPVARIANT& value, const void*& text, LONG index, bool to_variant, VARTYPE string_type) {
  if (string_type == VT_EMPTY || string_type == VT_NULL) string_type = VT_LPWSTR;
  if (!to_variant || (string_type != VT_LPSTR && string_type != VT_LPWSTR)) return false;
  if (value.vt == VT_EMPTY || value.vt == VT_NULL) {
    PropVariantInit(&value);
    value.vt = string_type;
  }
  void* target = PropElementPtr(value, index, true);
  return target != nullptr && ConvertPropElement(target, value.vt, &text, string_type);
}

bool GetPropBool(const PROPVARIANT& value) { return GetPropLong(value) != 0; }

// Reading never changes the value (no growth), so the const view is kept.
LONG GetPropLong(const PROPVARIANT& value) {
  LONG native = 0;
  ConvertPropValue(native, const_cast<PROPVARIANT&>(value), false);
  return native;
}

ULONG GetPropULong(const PROPVARIANT& value) {
  ULONG native = 0;
  ConvertPropValue(native, const_cast<PROPVARIANT&>(value), false);
  return native;
}

ULONGLONG GetPropUI8(const PROPVARIANT& value) {
  ULONGLONG native = 0;
  ConvertPropValue(native, const_cast<PROPVARIANT&>(value), false);
  return native;
}

double GetPropDouble(const PROPVARIANT& value) {
  double native = 0.0;
  ConvertPropValue(native, const_cast<PROPVARIANT&>(value), false);
  return native;
}

bool SetPropBool(PROPVARIANT& value, bool flag) {
  LONG native = flag ? 1 : 0;
  ConvertPropValue(native, value, true);
  return flag;
}

bool SetPropUI8(PROPVARIANT& value, ULONGLONG number) { return ConvertPropValue(number, value, true); }

std::wstring GetPropWString(const PROPVARIANT& value, LONG index) {
  std::wstring text;
  const void* element = PropElementPtr(const_cast<PROPVARIANT&>(value), index, false);
  if (element != nullptr) FormatPropElementW(element, value.vt, text);
  return text;
}

bool SetPropWString(PROPVARIANT& value, const wchar_t* text, LONG index) {
  const void* source = text;
  return ConvertPropValue(value, source, index, true, VT_LPWSTR);
}

}  // namespace recfilereader
