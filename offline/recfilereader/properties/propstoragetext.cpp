#include "properties/propstoragetext.h"

#include <cstring>
#include <new>

#include "base/exceptions.h"
#include "platform/textconv.h"
#include "recfilereader/propvariant.h"

namespace recfilereader {

std::wstring ElementText(const char* text) { return Utf8ToWide(text); }
std::wstring ElementText(const wchar_t* text) { return text; }

char* MakeElementText(const std::wstring& text, char*, bool) {
  const std::string utf8 = WideToUtf8(text);
  auto* copy = static_cast<char*>(CoTaskMemAlloc(utf8.size() + 1));
  if (copy == nullptr) throw std::bad_alloc();
  std::memcpy(copy, utf8.c_str(), utf8.size() + 1);
  return copy;
}

wchar_t* MakeElementText(const std::wstring& text, wchar_t*, bool is_bstr) {
  if (is_bstr) {
    BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (copy == nullptr) throw std::bad_alloc();
    return copy;
  }
  auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (copy == nullptr) throw std::bad_alloc();
  std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  return copy;
}

void FreeElementText(char* text, bool) { CoTaskMemFree(text); }

void FreeElementText(wchar_t* text, bool is_bstr) {
  if (is_bstr) SysFreeString(text);
  else CoTaskMemFree(text);
}

}  // namespace recfilereader
