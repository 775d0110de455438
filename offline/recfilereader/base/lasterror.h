// The reader's last-error holder: the code and text of the last guarded operation, read by the
// host through IRecordingError and written by the reader's components through
// IPrivSetLastError.
#ifndef RECFILEREADER_BASE_LASTERROR_H
#define RECFILEREADER_BASE_LASTERROR_H

#include <string>

#include "base/privateinterfaces.h"
#include "base/scopedregistration.h"
#include "recfilereader/errors.h"

namespace recfilereader {

class CLastError final : public IRecordingError, public IPrivSetLastError {
 public:
  // Registers "IRecordingError" (public) and "IPrivSetLastError" (private) in the registry
  // found through `owner`; a null owner registers nothing (for tests of the holder alone).
  explicit CLastError(IInterfaceAccess* owner);
  CLastError(const CLastError&) = delete;
  CLastError& operator=(const CLastError&) = delete;

  LONG GetErrorCode() override { return code_; }
  const wchar_t* GetErrorText() override { return text_.c_str(); }
  void SetLastError(LONG code, const wchar_t* text) override;

 private:
  LONG code_ = 0;
  std::wstring text_ = L"No error";
  ScopedRegistration public_registration_;
  ScopedRegistration private_registration_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_BASE_LASTERROR_H
