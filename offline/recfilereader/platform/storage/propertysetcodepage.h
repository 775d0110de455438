// Narrow text of property sets in the set's code page <-> the library's wide text. Code pages
// 1200 (UTF-16LE), 1252 and 65001 (UTF-8) are converted here; any other Windows code page goes
// through the C library's iconv under its usual name.
#ifndef RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETCODEPAGE_H
#define RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETCODEPAGE_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace recfilereader {

constexpr std::uint16_t kCodePageUnicode = 1200;
constexpr std::uint16_t kCodePageWestern = 1252;
constexpr std::uint16_t kCodePageUtf8 = 65001;

// Bytes of a narrow string (without its terminator) as wide text. Undecodable bytes and code
// pages nobody knows give U+FFFD per byte beyond ASCII; this never fails.
std::wstring CodePageToWide(std::span<const std::uint8_t> bytes, std::uint16_t code_page);

// Wide text as bytes of `code_page` (no terminator); nothing when a character has no mapping
// there or the code page is unknown.
std::optional<std::vector<std::uint8_t>> WideToCodePage(std::wstring_view text,
                                                       std::uint16_t code_page);

// True when every character of `text` has a mapping in code page 1252.
bool FitsWestern(std::wstring_view text);

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETCODEPAGE_H
