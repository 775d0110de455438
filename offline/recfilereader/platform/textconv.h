// Text conversion between the library's wide strings (wchar_t, UTF-32 on Linux), UTF-8 (the
// narrow text of this platform, standing in for the thread's ANSI code page) and UTF-16LE (the
// wide text inside files written on Windows). Ill-formed input becomes U+FFFD; nothing throws.
#ifndef RECFILEREADER_PLATFORM_TEXTCONV_H
#define RECFILEREADER_PLATFORM_TEXTCONV_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace recfilereader {

std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);

// UTF-16 code units <-> wide text. Lone surrogates become U+FFFD.
std::u16string WideToUtf16(std::wstring_view text);
std::wstring Utf16ToWide(std::u16string_view text);

// UTF-16LE bytes <-> wide text. An odd trailing byte is ignored.
std::vector<std::uint8_t> WideToUtf16Le(std::wstring_view text);
std::wstring Utf16LeToWide(const std::uint8_t* bytes, std::size_t size);

// Copies in lower or upper case (simple mappings of the fixed table in unicodecase.h, the same
// in every process locale; characters beyond U+FFFF stay as they are).
std::wstring WideToLower(std::wstring_view text);
std::wstring WideToUpper(std::wstring_view text);
// Compares like _wcsicmp, <0, 0, >0, after folding both sides through that table, so that the
// order never depends on the locale a host sets: ASCII names sort as lower case.
int WideCompareNoCase(std::wstring_view a, std::wstring_view b);

// Orders names without regard to case for maps and sets; fixed, whatever the locale.
struct WideNoCaseLess {
  bool operator()(std::wstring_view a, std::wstring_view b) const { return WideCompareNoCase(a, b) < 0; }
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_TEXTCONV_H
