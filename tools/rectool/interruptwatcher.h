// Ctrl-C and SIGTERM become a request on the abort flag instead of killing the process, so that
// the reader's work stops at its next check and no half-written file stays behind. A second
// signal while the first is being honoured ends the process at once (exit 130).
#ifndef RECTOOL_INTERRUPTWATCHER_H
#define RECTOOL_INTERRUPTWATCHER_H

#include <atomic>
#include <thread>

#include "rechost/abortflag.h"

namespace rectool {

class InterruptWatcher {
 public:
  // Must be made before any other thread starts, since the signals are blocked for every thread
  // that is started after it and taken by the watcher's own thread alone.
  explicit InterruptWatcher(rechost::AbortFlag& abort);
  ~InterruptWatcher();
  InterruptWatcher(const InterruptWatcher&) = delete;
  InterruptWatcher& operator=(const InterruptWatcher&) = delete;

 private:
  void Watch();

  rechost::AbortFlag& abort_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace rectool

#endif  // RECTOOL_INTERRUPTWATCHER_H
