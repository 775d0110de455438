// The threaded-process service used when the host offers none (and for quick opens): runs the
// process on the calling thread, shows no progress and never aborts.
#ifndef RECFILEREADER_HOST_TPSSAMETHREAD_H
#define RECFILEREADER_HOST_TPSSAMETHREAD_H

#include "recfilereader/hostservices.h"

namespace recfilereader {

class CTpsStatusStub final : public IThreadedProcessStatus {
 public:
  void SetProgress(LONG) override {}
  void SetStatusText(const wchar_t*) override {}
  void Notify(DWORD) override {}
  void Refresh() override {}
};

// Never aborts. Handles are the library's AutoResetEvent objects.
class CTpsAbortStub final : public IAbort {
 public:
  bool IsAborted() override { return false; }
  bool Sleep(DWORD milliseconds) override;
  bool WaitForObject(HANDLE handle, DWORD milliseconds, DWORD* result) override;
  bool WaitForObjects(DWORD count, const HANDLE* handles, DWORD milliseconds, DWORD* result) override;
};

class CTpsSameThread final : public IThreadedProcessService {
 public:
  // Start(0), Execute(status stub, abort stub), Finish(0); true.
  bool RunProcess(IThreadedProcess* process, DWORD options, DWORD flags, const wchar_t* caption) override;

 private:
  CTpsStatusStub status_;
  CTpsAbortStub abort_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_HOST_TPSSAMETHREAD_H
