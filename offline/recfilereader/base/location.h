// Location-tagged failure texts: the failure first, then where it arose, as
// "<text> (File: <tag>, Function: <qualified name>, Line: <n>)". The tag is the source file's
// name without extension ("recstream"), as the texts the recordings' users know name it.
#ifndef RECFILEREADER_BASE_LOCATION_H
#define RECFILEREADER_BASE_LOCATION_H

#include <cstddef>
#include <cstdint>
#include <source_location>
#include <string>
#include <string_view>

namespace recfilereader {

// Where a failure arose: the source tag and the qualified function name, both narrow.
struct SourceTag {
  const char* file;
  const char* function;
};

// Buffer sizes, in wide characters including the terminator, of the two formatting steps.
constexpr std::size_t kLocationChars = 512;
constexpr std::size_t kMessageChars = 1024;
constexpr std::size_t kMemoryTextChars = 192;

std::wstring LocationText(SourceTag where, int line);
std::wstring LocatedText(std::wstring_view text, SourceTag where,
                         std::source_location at = std::source_location::current());

enum class MemorySource { kOperatorNew, kMemoryManager, kLockBytes };

// "Memory allocation of <size> bytes failed via ..." with the location appended.
std::wstring MemoryFailureText(MemorySource source, std::size_t size, SourceTag where,
                               std::source_location at = std::source_location::current());

// Throws Exception with the located form of `text`.
template <class Exception>
[[noreturn]] void ThrowLocated(std::wstring_view text, SourceTag where,
                               std::source_location at = std::source_location::current()) {
  throw Exception(LocatedText(text, where, at));
}

// Throws exception_rt whose text is the system's description of `code` (an errno value or an
// HRESULT), with the location.
[[noreturn]] void ThrowSystemError(std::uint32_t code, SourceTag where,
                                   std::source_location at = std::source_location::current());

// Cuts `text` so that it fits a buffer of `chars` wide characters with its terminator.
std::wstring CutToBuffer(std::wstring text, std::size_t chars);

}  // namespace recfilereader

#endif  // RECFILEREADER_BASE_LOCATION_H
