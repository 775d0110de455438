#include "base/lasterror.h"

namespace recfilereader {

CLastError::CLastError(IInterfaceAccess* owner)
    : public_registration_(owner, L"IRecordingError", static_cast<IRecordingError*>(this), true),
      private_registration_(owner, L"IPrivSetLastError", static_cast<IPrivSetLastError*>(this), false) {}

void CLastError::SetLastError(LONG code, const wchar_t* text) {
  code_ = code;
  if (code == 0) {
    text_ = L"No error";
  } else {
    text_ = text != nullptr ? text : L"";
  }
}

}  // namespace recfilereader
