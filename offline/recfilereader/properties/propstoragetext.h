// Helpers the property storage saver and loader share: the string elements they exchange between PROPVARIANTs and streams.
#ifndef RECFILEREADER_PROPERTIES_PROPSTORAGETEXT_H
#define RECFILEREADER_PROPERTIES_PROPSTORAGETEXT_H

#include <source_location>
#include <string>

#include "base/location.h"
#include "recfilereader/compat.h"

namespace recfilereader {

// A string element as wide text (narrow elements are UTF-8).
std::wstring ElementText(const char* text);
std::wstring ElementText(const wchar_t* text);

// A new string element of the same kind as the pointer's type holding `text`: UTF-8 in task
// memory, wide text in task memory, or a BSTR. Throws std::bad_alloc when memory runs out.
char* MakeElementText(const std::wstring& text, char* kind, bool is_bstr = false);
wchar_t* MakeElementText(const std::wstring& text, wchar_t* kind, bool is_bstr = false);
void FreeElementText(char* text, bool is_bstr);
void FreeElementText(wchar_t* text, bool is_bstr);

}  // namespace recfilereader

#endif  // RECFILEREADER_PROPERTIES_PROPSTORAGETEXT_H
