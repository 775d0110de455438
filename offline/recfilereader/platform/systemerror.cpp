#include "platform/systemerror.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "platform/hresults.h"
#include "platform/textconv.h"
#include "recfilereader/compat.h"

namespace recfilereader {
namespace {

constexpr std::size_t kBufferChars = 512;

struct HresultText {
  HRESULT code;
  const char* text;
};

// English descriptions of the results this library raises itself, worded as the system words
// them (each ends with a line break, which the formatting removes again).
constexpr HresultText kHresultTexts[] = {
    {E_NOTIMPL, "Not implemented.\r\n"},
    {E_NOINTERFACE, "No such interface supported\r\n"},
    {E_POINTER, "Invalid pointer\r\n"},
    {E_ABORT, "Operation aborted\r\n"},
    {E_FAIL, "Unspecified error\r\n"},
    {E_UNEXPECTED, "Catastrophic failure\r\n"},
    {E_ACCESSDENIED, "Access is denied.\r\n"},
    {E_HANDLE, "The handle is invalid.\r\n"},
    {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation.\r\n"},
    {E_INVALIDARG, "The parameter is incorrect.\r\n"},
    {DISP_E_TYPEMISMATCH, "Type mismatch.\r\n"},
    {DISP_E_BADVARTYPE, "Bad variable type.\r\n"},
    {DISP_E_OVERFLOW, "Out of present range.\r\n"},
    {STG_E_INVALIDFUNCTION, "Unable to perform requested operation.\r\n"},
    {STG_E_FILENOTFOUND, "%1 could not be found.\r\n"},
    {STG_E_PATHNOTFOUND, "The path %1 could not be found.\r\n"},
    {STG_E_ACCESSDENIED, "Access Denied.\r\n"},
    {STG_E_INVALIDHANDLE, "Attempted an operation on an invalid object.\r\n"},
    {STG_E_INSUFFICIENTMEMORY, "There is insufficient memory available to complete operation.\r\n"},
    {STG_E_INVALIDPOINTER, "Invalid pointer error.\r\n"},
    {STG_E_NOMOREFILES, "There are no more entries to return.\r\n"},
    {STG_E_DISKISWRITEPROTECTED, "Disk is write-protected.\r\n"},
    {STG_E_SEEKERROR, "An error occurred during a seek operation.\r\n"},
    {STG_E_WRITEFAULT, "A disk error occurred during a write operation.\r\n"},
    {STG_E_READFAULT, "A disk error occurred during a read operation.\r\n"},
    {STG_E_SHAREVIOLATION, "A share violation has occurred.\r\n"},
    {STG_E_LOCKVIOLATION, "A lock violation has occurred.\r\n"},
    {STG_E_FILEALREADYEXISTS, "%1 already exists.\r\n"},
    {STG_E_INVALIDPARAMETER, "Invalid parameter error.\r\n"},
    {STG_E_MEDIUMFULL, "There is insufficient disk space to complete operation.\r\n"},
    {STG_E_INVALIDHEADER, "The file %1 is not a valid compound file.\r\n"},
    {STG_E_INVALIDNAME, "The name %1 is not valid.\r\n"},
    {STG_E_UNKNOWN, "An unexpected error occurred.\r\n"},
    {STG_E_UNIMPLEMENTEDFUNCTION, "That function is not implemented.\r\n"},
    {STG_E_INVALIDFLAG, "Invalid flag error.\r\n"},
    {STG_E_INUSE, "Attempted to use an object that is busy.\r\n"},
    {STG_E_REVERTED, "Attempted to use an object that has ceased to exist.\r\n"},
    {STG_E_CANTSAVE, "Unable to save file.\r\n"},
    {STG_E_DOCFILECORRUPT, "The compound file %1 was produced with an incompatible version of storage.\r\n"},
};

// The system's message for `code` with its line break, or empty when there is none.
std::wstring SystemMessage(std::uint32_t code) {
  if (code != 0 && code < 0x10000) {
    char buffer[256];
    // The GNU strerror_r returns the text, which may or may not live in `buffer`.
    const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    if (text == nullptr || std::strncmp(text, "Unknown error", 13) == 0) return {};
    return Utf8ToWide(text) + L"\r\n";
  }
  for (const HresultText& entry : kHresultTexts) {
    if (static_cast<std::uint32_t>(entry.code) == code) return Utf8ToWide(entry.text);
  }
  return {};
}

// "%%" becomes "%"; any other "%" goes together with what follows it up to the next blank.
std::wstring RemoveInserts(const std::wstring& text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'%') {
      out += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == L'%') {
      out += L'%';
      ++i;
    } else {
      while (i + 1 < text.size() && text[i + 1] != L' ') ++i;
    }
  }
  return out;
}

}  // namespace

std::wstring SystemErrorText(std::uint32_t code) {
  wchar_t prefix[kBufferChars];
  if (std::swprintf(prefix, kBufferChars, L"0x%08X ", code) < 0) return L"Failed to format system error";
  std::wstring text = prefix;
  std::wstring message = SystemMessage(code);
  if (message.empty()) {
    text += L"Unknown system error";
  } else {
    message.resize(message.size() >= 2 ? message.size() - 2 : 0);
    text += message;
  }
  text = RemoveInserts(text);
  if (text.size() > kBufferChars - 1) text.resize(kBufferChars - 1);
  return text;
}

}  // namespace recfilereader
