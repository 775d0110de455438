// The threaded-process service: runs the reader's long work (opening, extraction, repair) on a
// worker thread while the calling thread waits, draws a progress bar when asked to and the work
// takes longer than a moment, and hands the process the shared abort flag.
#ifndef RECHOST_PROCESSSERVICE_H
#define RECHOST_PROCESSSERVICE_H

#include <chrono>
#include <cstdio>
#include <functional>

#include "recfilereader/hostservices.h"
#include "rechost/abortflag.h"

namespace rechost {

struct ProgressOptions {
  std::FILE* stream = nullptr;  // null: no bar
  std::chrono::milliseconds delay{1000};  // work shorter than this shows nothing
  // Called on the waiting thread at the start of the work and then about ten times a second with the
  // completed fraction times kProgressScale: a host's own progress display, or its check for an
  // interrupt that it answers by requesting the abort.
  std::function<void(LONG progress)> on_tick;
};

class ProcessService final : public IThreadedProcessService {
 public:
  ProcessService(AbortFlag& abort, ProgressOptions progress) : abort_(abort), progress_(progress) {}

  // Returns once the process has finished or given up after an abort.
  bool RunProcess(IThreadedProcess* process, DWORD options, DWORD flags, const wchar_t* caption) override;

 private:
  AbortFlag& abort_;
  ProgressOptions progress_;
};

}  // namespace rechost

#endif  // RECHOST_PROCESSSERVICE_H
