// The reader's last error: the code and text of the last failed (or 0 after a successful)
// guarded operation. Codes: 0 "No error", 10 general failure, 20 the recording's content,
// 30 aborted by the user.
#ifndef RECFILEREADER_ERRORS_H
#define RECFILEREADER_ERRORS_H

#include "recfilereader/compat.h"

struct IRecordingError {
  virtual LONG GetErrorCode() = 0;
  // Owned by the reader; valid until the next guarded operation.
  virtual const wchar_t* GetErrorText() = 0;

 protected:
  ~IRecordingError() = default;
};

#endif  // RECFILEREADER_ERRORS_H
