// The guard around every host-facing operation: the only place where exceptions become the
// last error's code and text. Nothing thrown inside the body crosses the interface.
#ifndef RECFILEREADER_BASE_GUARD_H
#define RECFILEREADER_BASE_GUARD_H

#include <new>
#include <string>
#include <utility>

#include "base/exceptions.h"
#include "base/privateinterfaces.h"

namespace recfilereader {

// Error codes of the last-error holder.
constexpr LONG kErrorNone = 0;
constexpr LONG kErrorGeneral = 10;
constexpr LONG kErrorRecording = 20;
constexpr LONG kErrorUserAbort = 30;

// The text recorded for a failure outside the library's own family.
std::wstring ForeignFailureText(const std::exception* failure);
std::wstring ComErrorText(const com_error& failure);

// A failure as the last error would record it, for work that keeps its outcome itself (the
// threaded processes). The text is empty when building it failed.
struct FailureOutcome {
  LONG code = kErrorGeneral;
  std::wstring text;
};

// The outcome of the exception currently being handled. Call only from a catch.
FailureOutcome CurrentFailureOutcome() noexcept;

// Records the exception currently being handled; returns its code. Call only from a catch.
LONG RecordCurrentException(IPrivSetLastError& last) noexcept;

// Runs `body`. On return the last error is 0 and the body's result is returned; on a
// failure the last error takes the failure's code and text, `cleanup` runs, and `failure` is
// returned. The cleanup itself must not throw.
template <class R, class Body, class Cleanup>
R GuardWithCleanup(IPrivSetLastError& last, R failure, Body&& body, Cleanup&& cleanup) noexcept {
  try {
    R result = std::forward<Body>(body)();
    last.SetLastError(kErrorNone, L"");
    return result;
  } catch (...) {
    RecordCurrentException(last);
  }
  try {
    std::forward<Cleanup>(cleanup)();
  } catch (...) {
    // The first failure is the one the host needs to see.
  }
  return failure;
}

template <class R, class Body>
R Guard(IPrivSetLastError& last, R failure, Body&& body) noexcept {
  return GuardWithCleanup(last, failure, std::forward<Body>(body), [] {});
}

// Runs `body`, turning any exception into `failure`, for operations that answer only true or
// false (property tables) and keep no last error.
template <class R, class Body>
R Contained(R failure, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return failure;
  }
}

}  // namespace recfilereader

#endif  // RECFILEREADER_BASE_GUARD_H
