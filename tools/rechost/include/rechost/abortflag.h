// The abort source of the reader's long work: set from any thread (a signal watcher, a UI),
// read by the process between its steps. Sleeping is cut short by a request.
#ifndef RECHOST_ABORTFLAG_H
#define RECHOST_ABORTFLAG_H

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "recfilereader/hostservices.h"

namespace rechost {

class AbortFlag final : public IAbort {
 public:
  void Request();
  bool requested() const { return requested_.load(); }

  bool IsAborted() override { return requested(); }
  bool Sleep(DWORD milliseconds) override;
  // The reader's handles are its own events, which a host cannot wait on: these answer
  // WAIT_FAILED, and the reader falls back on polling IsAborted.
  bool WaitForObject(HANDLE handle, DWORD milliseconds, DWORD* result) override;
  bool WaitForObjects(DWORD count, const HANDLE* handles, DWORD milliseconds, DWORD* result) override;

 private:
  std::atomic<bool> requested_{false};
  std::mutex lock_;
  std::condition_variable wake_;
};

}  // namespace rechost

#endif  // RECHOST_ABORTFLAG_H
