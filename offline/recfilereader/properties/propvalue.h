// Property values: addressing the elements of a PROPVARIANT, converting between an element and
// a native variable along one fixed matrix of value types, formatting any element as text, and
// the typed accessors the property tables use.
//
// The conversion is total: a pair of types the matrix does not accept zeroes the target element
// and answers false; nothing here throws for unconvertible or malformed values. Element
// addresses are those PropElementPtr gives: the value field of a scalar (the whole PROPVARIANT
// for VT_DECIMAL), an array entry of a vector, the referenced data of a VT_BYREF value. A
// VT_CLSID element is a pointer to a GUID when its value is a plain scalar and the GUID itself
// in a vector or behind VT_BYREF; the routines below take the value's full VARTYPE so that they
// can tell.
#ifndef RECFILEREADER_PROPERTIES_PROPVALUE_H
#define RECFILEREADER_PROPERTIES_PROPVALUE_H

#include <cstddef>
#include <string>

#include "recfilereader/compat.h"

namespace recfilereader {

// Bytes of one element of the value type (modifier bits ignored), 0 for a type that has no
// element size (VT_EMPTY, VT_BSTR, VT_BLOB, ...).
std::size_t PropElementSize(VARTYPE type);

// The address of element `index` of `value`, or null: for a negative index, an index past a
// scalar or a vector, a VT_BYREF index other than 0, or a type without an element size. With
// `grow` an index past the end is made: a scalar turns into a one-element vector and a vector
// is enlarged to index + 1 elements, new elements zeroed; null when memory runs out.
void* PropElementPtr(PROPVARIANT& value, LONG index, bool grow);

// Converts the element at `source` (of the value type `source_type`) into the element at
// `target` (of `target_type`). False, with the target element zeroed, for a pair the matrix
// refuses; false when memory for a string or GUID runs out.
bool ConvertPropElement(void* target, VARTYPE target_type, const void* source, VARTYPE source_type);

// Numeric form, on element 0. `to_variant` true: the native value goes into `value` (an empty
// or null value first takes the native type: VT_R8, VT_I4, VT_UI4, VT_UI8); false: element 0 of
// `value` is converted into the native variable.
bool ConvertPropValue(double& native, PROPVARIANT& value, bool to_variant);
bool ConvertPropValue(LONG& native, PROPVARIANT& value, bool to_variant);
bool ConvertPropValue(ULONG& native, PROPVARIANT& value, bool to_variant);
bool ConvertPropValue(ULONGLONG& native, PROPVARIANT& value, bool to_variant);

// String form, on element `index`. `text` is a `const char*` for VT_LPSTR or a
// `const wchar_t*` for VT_LPWSTR (VT_EMPTY and VT_NULL count as VT_LPWSTR). Only writing is
// served (`to_variant` true); reading into a raw string pointer is refused: read strings with
// the formatters.
bool ConvertPropValue(PROPVARIANT& value, const void*& text, LONG index, bool to_variant,
                      VARTYPE string_type);

// The text of the element at `element` of the value type `type`; `out` is emptied first.
// Numbers in C forms ("%d", "%u", "%f", "0x%08lx"), booleans as "true"/"false", DECIMAL in
// English, FILETIME as English long date and 12-hour time (UTC), GUIDs in braced form, strings
// as they are (narrow text is UTF-8); any other type gives the empty text.
void FormatPropElement(const void* element, VARTYPE type, std::string& out);
void FormatPropElementW(const void* element, VARTYPE type, std::wstring& out);

// A 32-bit status code from hexadecimal text: an optional "0x" (any case), then hex digits up
// to the first other character, wrapping on overflow. Null or empty text gives 0.
ULONG ParseHexCode(const char* text);
ULONG ParseHexCodeW(const wchar_t* text);

// Accessors. Each reads element 0 and gives 0 (false, 0.0) when the value does not convert.
bool GetPropBool(const PROPVARIANT& value);  // through LONG: true when non-zero
LONG GetPropLong(const PROPVARIANT& value);
ULONG GetPropULong(const PROPVARIANT& value);
ULONGLONG GetPropUI8(const PROPVARIANT& value);
double GetPropDouble(const PROPVARIANT& value);
// Writes LONG 0 or 1 (so an empty value becomes VT_I4) and returns `flag`.
bool SetPropBool(PROPVARIANT& value, bool flag);
// Writes the number (an empty value becomes VT_UI8); true when it converted.
bool SetPropUI8(PROPVARIANT& value, ULONGLONG number);
// The text of element `index`; empty when there is no such element.
std::wstring GetPropWString(const PROPVARIANT& value, LONG index = 0);
// Writes `text` into element `index` (an empty value becomes VT_LPWSTR); true when converted.
bool SetPropWString(PROPVARIANT& value, const wchar_t* text, LONG index = 0);

}  // namespace recfilereader

#endif  // RECFILEREADER_PROPERTIES_PROPVALUE_H
