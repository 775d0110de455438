#include "base/location.h"

#include <cstdint>

#include "base/exceptions.h"
#include "platform/systemerror.h"
#include "platform/textconv.h"

namespace recfilereader {

std::wstring CutToBuffer(std::wstring text, std::size_t chars) {
  if (chars > 0 && text.size() > chars - 1) text.resize(chars - 1);
  return text;
}

std::wstring LocationText(SourceTag where, int line) {
  std::wstring text = L"File: " + Utf8ToWide(where.file != nullptr ? where.file : "") +
                      L", Function: " + Utf8ToWide(where.function != nullptr ? where.function : "") +
                      L", Line: " + std::to_wstring(line);
  return CutToBuffer(std::move(text), kLocationChars);
}

std::wstring LocatedText(std::wstring_view text, SourceTag where, std::source_location at) {
  std::wstring message(text);
  message += L" (";
  message += LocationText(where, static_cast<int>(at.line()));
  message += L")";
  return CutToBuffer(std::move(message), kMessageChars);
}

std::wstring MemoryFailureText(MemorySource source, std::size_t size, SourceTag where,
                               std::source_location at) {
  const wchar_t* via = L"operator new";
  if (source == MemorySource::kMemoryManager) via = L"TVK memory manager";
  if (source == MemorySource::kLockBytes) via = L"ILockBytes interface";
  // The size is formatted as the unsigned 32-bit value the original texts show.
  std::wstring text = L"Memory allocation of " + std::to_wstring(static_cast<std::uint32_t>(size)) +
                      L" bytes failed via " + via;
  return LocatedText(CutToBuffer(std::move(text), kMemoryTextChars), where, at);
}

void ThrowSystemError(std::uint32_t code, SourceTag where, std::source_location at) {
  ThrowLocated<exception_rt>(SystemErrorText(code), where, at);
}

}  // namespace recfilereader
