// The one exception a host program sees: a failed library call carries the reader's error code
// (10 general failure, 20 the recording's content, 30 aborted) and text; failures of the host
// side itself carry code 10.
#ifndef RECHOST_ERROR_H
#define RECHOST_ERROR_H

#include <stdexcept>
#include <string>

#include "recfilereader/compat.h"

namespace rechost {

inline constexpr LONG kCodeFailure = 10;
inline constexpr LONG kCodeRecording = 20;
inline constexpr LONG kCodeAborted = 30;

class Error : public std::runtime_error {
 public:
  Error(LONG code, const std::string& text);
  LONG code() const { return code_; }
  // The library's text alone, without the code.
  const std::string& text() const { return text_; }

 private:
  LONG code_;
  std::string text_;
};

}  // namespace rechost

#endif  // RECHOST_ERROR_H
