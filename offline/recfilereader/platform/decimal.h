// OLE Automation DECIMAL values: conversions to and from the integer, floating-point, boolean
// and text forms, with the results and overflow rules of the automation library.
//
// A DECIMAL is a 96-bit magnitude, a power-of-ten scale from 0 to 28 and a sign byte
// (DECIMAL_NEG). Conversions to integers round half to even and answer DISP_E_OVERFLOW when the
// rounded value does not fit, leaving the target untouched. Doubles enter with 15 significant
// digits, floats with 7. Text is read and written in the English (United States) form: "."
// before the fraction, "," between thousands, no exponent on output. A DECIMAL with a scale
// above 28 or an unknown sign byte is invalid: E_INVALIDARG.
//
// The conversion into a DECIMAL writes its scale, sign and magnitude but never its first word
// (wReserved), which is where a PROPVARIANT keeps its type code when the DECIMAL overlays it.
#ifndef RECFILEREADER_PLATFORM_DECIMAL_H
#define RECFILEREADER_PLATFORM_DECIMAL_H

#include <string>

#include "platform/hresults.h"
#include "recfilereader/compat.h"

namespace recfilereader {

inline constexpr LCID kLocaleEnglishUs = 0x0409;
inline constexpr ULONG LOCALE_NOUSEROVERRIDE = 0x80000000u;
inline constexpr BYTE kDecimalMaxScale = 28;

HRESULT VarDecFromI1(CHAR value, DECIMAL* out);
HRESULT VarDecFromUI1(BYTE value, DECIMAL* out);
HRESULT VarDecFromI2(SHORT value, DECIMAL* out);
HRESULT VarDecFromUI2(USHORT value, DECIMAL* out);
HRESULT VarDecFromI4(LONG value, DECIMAL* out);
HRESULT VarDecFromUI4(ULONG value, DECIMAL* out);
HRESULT VarDecFromI8(LONGLONG value, DECIMAL* out);
HRESULT VarDecFromUI8(ULONGLONG value, DECIMAL* out);
// 7 (float) or 15 (double) significant digits, trailing zeros dropped; NaN, infinities and
// magnitudes beyond the 96-bit range give DISP_E_OVERFLOW; digits beyond scale 28 round away.
HRESULT VarDecFromR4(FLOAT value, DECIMAL* out);
HRESULT VarDecFromR8(DOUBLE value, DECIMAL* out);
// VARIANT_TRUE (any non-zero) becomes -1, as automation booleans do.
HRESULT VarDecFromBool(VARIANT_BOOL value, DECIMAL* out);
// English text: blanks around, a leading or trailing sign or parentheses for negative, a
// leading "$", thousands separators in the integer part, a fraction and an exponent. The
// scale is the number of fraction digits (less the exponent), so "1.50" keeps scale 2; digits
// beyond what 96 bits and scale 28 hold round half to even. DISP_E_TYPEMISMATCH for anything
// else (including hexadecimal "&H" forms), DISP_E_OVERFLOW for too large a value. Every locale
// is read as English.
HRESULT VarDecFromStr(const OLECHAR* text, LCID locale, ULONG flags, DECIMAL* out);

HRESULT VarI1FromDec(const DECIMAL* value, CHAR* out);
HRESULT VarUI1FromDec(const DECIMAL* value, BYTE* out);
HRESULT VarI2FromDec(const DECIMAL* value, SHORT* out);
HRESULT VarUI2FromDec(const DECIMAL* value, USHORT* out);
HRESULT VarI4FromDec(const DECIMAL* value, LONG* out);
HRESULT VarUI4FromDec(const DECIMAL* value, ULONG* out);
HRESULT VarI8FromDec(const DECIMAL* value, LONGLONG* out);
HRESULT VarUI8FromDec(const DECIMAL* value, ULONGLONG* out);
// Nearest float or double to the exact decimal value.
HRESULT VarR4FromDec(const DECIMAL* value, FLOAT* out);
HRESULT VarR8FromDec(const DECIMAL* value, DOUBLE* out);
// Non-zero gives VARIANT_TRUE.
HRESULT VarBoolFromDec(const DECIMAL* value, VARIANT_BOOL* out);

// The English text of the value ("-1234.5", "0.25"): no thousands separators, trailing
// fraction zeros dropped, a zero is "0". E_INVALIDARG for an invalid DECIMAL, E_OUTOFMEMORY
// when the BSTR cannot be made. Every locale is written as English.
HRESULT VarBstrFromDec(const DECIMAL* value, LCID locale, ULONG flags, BSTR* out);

// The text VarBstrFromDec gives; requires a valid DECIMAL.
std::wstring DecimalToString(const DECIMAL& value);
bool IsValidDecimal(const DECIMAL& value);

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_DECIMAL_H
