#include "platform/decimal.h"
#include "platform/hresults.h"
#include "recfilereader/propvariant.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string_view>

namespace recfilereader {
namespace {

__extension__ using uint128 = unsigned __int128;

constexpr uint128 kMax96 = (static_cast<uint128>(1) << 96) - 1;
// Decimal digits of the largest 96-bit magnitude (79228162514264337593543950335).
constexpr int kMaxDigits = 29;

uint128 Pow10(int n) {
  uint128 value = 1;
  for (int i = 0; i < n; ++i) value *= 10;
  return value;
}

uint128 Magnitude(const DECIMAL& d) {
  return static_cast<uint128>(d.Hi32) << 64 | static_cast<uint128>(d.Mid32) << 32 | d.Lo32;
}

bool IsNegative(const DECIMAL& d) { return d.sign == DECIMAL_NEG; }

// Writes scale, sign and magnitude; the first word stays what it was.
void Store(DECIMAL* out, uint128 magnitude, int scale, bool negative) {
  out->scale = static_cast<BYTE>(scale);
  out->sign = negative ? DECIMAL_NEG : 0;
  out->Hi32 = static_cast<ULONG>(magnitude >> 64);
  out->Mid32 = static_cast<ULONG>(magnitude >> 32);
  out->Lo32 = static_cast<ULONG>(magnitude);
}

uint128 DigitsValue(std::string_view digits) {
  uint128 value = 0;
  for (char c : digits) value = value * 10 + static_cast<unsigned>(c - '0');
  return value;
}

// The value of `digits` with its last `drop` digits removed, rounded half to even.
uint128 RoundDrop(std::string_view digits, std::size_t drop) {
  if (drop > digits.size()) return 0;  // below half a unit of the last kept place
  const std::size_t keep = digits.size() - drop;
  uint128 value = DigitsValue(digits.substr(0, keep));
  if (drop == 0) return value;
  const int first = digits[keep] - '0';
  const bool rest = digits.find_first_not_of('0', keep + 1) != std::string_view::npos;
  if (first > 5 || (first == 5 && (rest || (value & 1) != 0))) ++value;
  return value;
}

// Builds the DECIMAL of (digits x 10^exponent); `digits` are decimal characters.
HRESULT Compose(std::string_view digits, long exponent, bool negative, DECIMAL* out) {
  const std::size_t lead = digits.find_first_not_of('0');
  digits = lead == std::string_view::npos ? std::string_view() : digits.substr(lead);
  const long n = static_cast<long>(digits.size());
  if (n == 0) {
    Store(out, 0, static_cast<int>(std::clamp(-exponent, 0L, long{kDecimalMaxScale})), false);
    return S_OK;
  }
  if (exponent >= 0) {
    if (n + exponent > kMaxDigits) return DISP_E_OVERFLOW;
    const uint128 value = DigitsValue(digits) * Pow10(static_cast<int>(exponent));
    if (value > kMax96) return DISP_E_OVERFLOW;
    Store(out, value, 0, negative);
    return S_OK;
  }
  const long scale = -exponent;
  long drop = std::max({0L, scale - kDecimalMaxScale, n - kMaxDigits});
  if (drop > scale) return DISP_E_OVERFLOW;  // more integer digits than 96 bits hold
  for (;; ++drop) {
    const uint128 value = RoundDrop(digits, static_cast<std::size_t>(drop));
    if (value <= kMax96) {
      Store(out, value, static_cast<int>(scale - drop), negative && value != 0);
      return S_OK;
    }
    if (drop == scale) return DISP_E_OVERFLOW;
  }
}

// A binary floating-point value through its text with `digits` significant digits.
HRESULT FromBinary(double value, int digits, DECIMAL* out) {
  if (!std::isfinite(value)) return DISP_E_OVERFLOW;
  char text[64];
  std::snprintf(text, sizeof text, "%.*e", digits - 1, value);  // "-d.ddde+XX"
  std::string_view view(text);
  const bool negative = view.front() == '-';
  if (negative) view.remove_prefix(1);
  const std::size_t e = view.find('e');
  std::string mantissa;
  for (char c : view.substr(0, e)) {
    if (c != '.') mantissa += c;
  }
  int power = 0;
  const std::string_view exponent_text = view.substr(e + 1);
  const char* first = exponent_text.data() + (exponent_text.front() == '+' ? 1 : 0);
  std::from_chars(first, exponent_text.data() + exponent_text.size(), power);
  long exponent = power - (digits - 1);
  while (mantissa.size() > 1 && mantissa.back() == '0') {  // 100.0 enters as 100, scale 0
    mantissa.pop_back();
    ++exponent;
  }
  return Compose(mantissa, exponent, negative, out);
}

// Rounds the value half to even to an integer: its magnitude and whether it is negative.
uint128 RoundToInteger(const DECIMAL& d) {
  const uint128 magnitude = Magnitude(d);
  if (d.scale == 0) return magnitude;
  const uint128 divisor = Pow10(d.scale);
  uint128 quotient = magnitude / divisor;
  const uint128 remainder = magnitude % divisor;
  const uint128 half = divisor / 2;
  if (remainder > half || (remainder == half && (quotient & 1) != 0)) ++quotient;
  return quotient;
}

template <class T>
HRESULT ToSigned(const DECIMAL* value, T* out) {
  if (value == nullptr || out == nullptr || !IsValidDecimal(*value)) return E_INVALIDARG;
  const uint128 magnitude = RoundToInteger(*value);
  const bool negative = IsNegative(*value) && magnitude != 0;
  const auto limit = static_cast<uint128>(std::numeric_limits<T>::max()) + (negative ? 1 : 0);
  if (magnitude > limit) return DISP_E_OVERFLOW;
  // Two's complement: the negated magnitude's low bits are the value.
  const auto bits = static_cast<std::uint64_t>(negative ? -magnitude : magnitude);
  *out = static_cast<T>(bits);
  return S_OK;
}

template <class T>
HRESULT ToUnsigned(const DECIMAL* value, T* out) {
  if (value == nullptr || out == nullptr || !IsValidDecimal(*value)) return E_INVALIDARG;
  const uint128 magnitude = RoundToInteger(*value);
  if (IsNegative(*value) && magnitude != 0) return DISP_E_OVERFLOW;
  if (magnitude > std::numeric_limits<T>::max()) return DISP_E_OVERFLOW;
  *out = static_cast<T>(magnitude);
  return S_OK;
}

HRESULT FromSigned(std::int64_t value, DECIMAL* out) {
  if (out == nullptr) return E_INVALIDARG;
  const bool negative = value < 0;
  const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  Store(out, magnitude, 0, negative);
  return S_OK;
}

HRESULT FromUnsigned(std::uint64_t value, DECIMAL* out) {
  if (out == nullptr) return E_INVALIDARG;
  Store(out, value, 0, false);
  return S_OK;
}

std::string MagnitudeDigits(uint128 magnitude) {
  std::string digits;
  do {
    digits += static_cast<char>('0' + static_cast<int>(magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  std::reverse(digits.begin(), digits.end());
  return digits;
}

// The exact value as "[-]digitsE-scale", which from_chars rounds correctly.
template <class T>
HRESULT ToBinary(const DECIMAL* value, T* out) {
  if (value == nullptr || out == nullptr || !IsValidDecimal(*value)) return E_INVALIDARG;
  std::string text = IsNegative(*value) ? "-" : "";
  text += MagnitudeDigits(Magnitude(*value));
  text += "e-" + std::to_string(value->scale);
  T result{};
  std::from_chars(text.data(), text.data() + text.size(), result);
  *out = result;
  return S_OK;
}

bool IsBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// English number text, as VarDecFromStr describes it.
class NumberText {
 public:
  explicit NumberText(std::wstring_view text) : text_(text) {}

  HRESULT Parse(DECIMAL* out) {
    if (!Leading() || !Mantissa() || !Exponent() || !Trailing()) return DISP_E_TYPEMISMATCH;
    return Compose(digits_, exponent_, negative_, out);
  }

 private:
  bool AtEnd() const { return pos_ >= text_.size(); }
  wchar_t Peek() const { return AtEnd() ? L'\0' : text_[pos_]; }

  bool Sign(wchar_t c) {
    if (signed_) return false;
    signed_ = true;
    negative_ = c == L'-';
    return true;
  }

  bool Leading() {
    for (; !AtEnd(); ++pos_) {
      const wchar_t c = Peek();
      if (IsBlank(c)) continue;
      if (c == L'+' || c == L'-') {
        if (!Sign(c)) return false;
      } else if (c == L'(') {
        if (parens_ || signed_) return false;
        parens_ = signed_ = negative_ = true;
      } else if (c == L'$') {
        if (currency_) return false;
        currency_ = true;
      } else {
        break;
      }
    }
    return true;
  }

  bool Mantissa() {
    bool any = false;
    for (; !AtEnd(); ++pos_) {  // integer part, thousands separators between digits
      const wchar_t c = Peek();
      if (IsDigit(c)) {
        digits_ += static_cast<char>(c);
        any = true;
      } else if (c != L',' || !any) {
        break;
      }
    }
    if (Peek() == L'.') {
      for (++pos_; IsDigit(Peek()); ++pos_) {
        digits_ += static_cast<char>(Peek());
        --exponent_;
        any = true;
      }
    }
    return any;
  }

  bool Exponent() {
    if (Peek() != L'e' && Peek() != L'E') return true;
    ++pos_;
    bool negative = false;
    if (Peek() == L'+' || Peek() == L'-') negative = text_[pos_++] == L'-';
    if (!IsDigit(Peek())) return false;
    long value = 0;
    for (; IsDigit(Peek()); ++pos_) value = std::min(value * 10 + (Peek() - L'0'), 1000000L);
    exponent_ += negative ? -value : value;
    return true;
  }

  bool Trailing() {
    for (; !AtEnd(); ++pos_) {
      const wchar_t c = Peek();
      if (IsBlank(c)) continue;
      if (c == L'+' || c == L'-') {
        if (!Sign(c)) return false;
      } else if (c == L')') {
        if (!parens_ || closed_) return false;
        closed_ = true;
      } else {
        return false;
      }
    }
    return parens_ == closed_;
  }

  std::wstring_view text_;
  std::size_t pos_ = 0;
  std::string digits_;
  long exponent_ = 0;
  bool negative_ = false;
  bool signed_ = false;
  bool parens_ = false;
  bool closed_ = false;
  bool currency_ = false;
};

}  // namespace

bool IsValidDecimal(const DECIMAL& value) {
  return value.scale <= kDecimalMaxScale && (value.sign == 0 || value.sign == DECIMAL_NEG);
}

HRESULT VarDecFromI1(CHAR value, DECIMAL* out) { return FromSigned(value, out); }
HRESULT VarDecFromUI1(BYTE value, DECIMAL* out) { return FromUnsigned(value, out); }
HRESULT VarDecFromI2(SHORT value, DECIMAL* out) { return FromSigned(value, out); }
HRESULT VarDecFromUI2(USHORT value, DECIMAL* out) { return FromUnsigned(value, out); }
HRESULT VarDecFromI4(LONG value, DECIMAL* out) { return FromSigned(value, out); }
HRESULT VarDecFromUI4(ULONG value, DECIMAL* out) { return FromUnsigned(value, out); }
HRESULT VarDecFromI8(LONGLONG value, DECIMAL* out) { return FromSigned(value, out); }
HRESULT VarDecFromUI8(ULONGLONG value, DECIMAL* out) { return FromUnsigned(value, out); }
HRESULT VarDecFromBool(VARIANT_BOOL value, DECIMAL* out) { return FromSigned(value != 0 ? -1 : 0, out); }

HRESULT VarDecFromR4(FLOAT value, DECIMAL* out) {
  if (out == nullptr) return E_INVALIDARG;
  return FromBinary(value, 7, out);
}

HRESULT VarDecFromR8(DOUBLE value, DECIMAL* out) {
  if (out == nullptr) return E_INVALIDARG;
  return FromBinary(value, 15, out);
}

HRESULT VarDecFromStr(const OLECHAR* text, LCID /*locale*/, ULONG /*flags*/, DECIMAL* out) {
  if (text == nullptr || out == nullptr) return E_INVALIDARG;
  return NumberText(text).Parse(out);
}

HRESULT VarI1FromDec(const DECIMAL* value, CHAR* out) { return ToSigned(value, out); }
HRESULT VarUI1FromDec(const DECIMAL* value, BYTE* out) { return ToUnsigned(value, out); }
HRESULT VarI2FromDec(const DECIMAL* value, SHORT* out) { return ToSigned(value, out); }
HRESULT VarUI2FromDec(const DECIMAL* value, USHORT* out) { return ToUnsigned(value, out); }
HRESULT VarI4FromDec(const DECIMAL* value, LONG* out) { return ToSigned(value, out); }
HRESULT VarUI4FromDec(const DECIMAL* value, ULONG* out) { return ToUnsigned(value, out); }
HRESULT VarI8FromDec(const DECIMAL* value, LONGLONG* out) { return ToSigned(value, out); }
HRESULT VarUI8FromDec(const DECIMAL* value, ULONGLONG* out) { return ToUnsigned(value, out); }
HRESULT VarR4FromDec(const DECIMAL* value, FLOAT* out) { return ToBinary(value, out); }
HRESULT VarR8FromDec(const DECIMAL* value, DOUBLE* out) { return ToBinary(value, out); }

HRESULT VarBoolFromDec(const DECIMAL* value, VARIANT_BOOL* out) {
  if (value == nullptr || out == nullptr || !IsValidDecimal(*value)) return E_INVALIDARG;
  *out = Magnitude(*value) != 0 ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

std::wstring DecimalToString(const DECIMAL& value) {
  const uint128 magnitude = Magnitude(value);
  std::string digits = MagnitudeDigits(magnitude);
  const std::size_t scale = value.scale;
  if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
  std::string text = digits.substr(0, digits.size() - scale);
  std::string fraction = digits.substr(digits.size() - scale);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) text += "." + fraction;
  if (IsNegative(value) && magnitude != 0) text.insert(0, 1, '-');
  return std::wstring(text.begin(), text.end());
}

HRESULT VarBstrFromDec(const DECIMAL* value, LCID /*locale*/, ULONG /*flags*/, BSTR* out) {
  if (value == nullptr || out == nullptr || !IsValidDecimal(*value)) return E_INVALIDARG;
  const std::wstring text = DecimalToString(*value);
  BSTR result = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (result == nullptr) return E_OUTOFMEMORY;
  *out = result;
  return S_OK;
}

}  // namespace recfilereader
