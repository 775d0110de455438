// GUIDs in their registry text form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": upper-case
// hexadecimal on output, either case accepted on input. The field order is Data1, Data2, Data3,
// then the eight bytes of Data4 as two groups (2 and 6 bytes).
#ifndef RECFILEREADER_PLATFORM_GUID_H
#define RECFILEREADER_PLATFORM_GUID_H

#include <string>
#include <string_view>

#include "recfilereader/compat.h"

namespace recfilereader {

// Characters of the braced form, without the terminator.
inline constexpr int kGuidStringLength = 38;

// Result of CLSIDFromString for text that is not a braced GUID.
inline constexpr HRESULT CO_E_CLASSSTRING = HResultFromBits(0x800401F3u);

// The braced upper-case form.
std::wstring GuidToString(const GUID& guid);

// Parses exactly the braced form (38 characters, hexadecimal digits of either case); `guid` is
// written only on success.
bool ParseGuid(std::wstring_view text, GUID& guid);

// Writes the braced form and its terminator into `buffer`; returns the characters written
// including the terminator (39), or 0 when `capacity` is too small or `buffer` is null.
int StringFromGUID2(const GUID& guid, wchar_t* buffer, int capacity);

// S_OK with `*guid` set; a null text gives GUID_NULL; text that is not a braced GUID gives
// CO_E_CLASSSTRING and leaves `*guid` as it was; a null `guid` gives E_INVALIDARG.
HRESULT CLSIDFromString(const wchar_t* text, GUID* guid);

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_GUID_H
