#include "interruptwatcher.h"

#include <signal.h>
#include <unistd.h>

#include <ctime>

namespace rectool {
namespace {

constexpr long kPollNanoseconds = 50'000'000;
constexpr int kInterruptedExit = 130;

sigset_t WatchedSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

}  // namespace

InterruptWatcher::InterruptWatcher(rechost::AbortFlag& abort) : abort_(abort) {
  const sigset_t signals = WatchedSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  thread_ = std::thread([this] { Watch(); });
}

InterruptWatcher::~InterruptWatcher() {
  stop_ = true;
  thread_.join();
}

// Waits in short steps so that the destructor can end the thread without a signal of its own.
void InterruptWatcher::Watch() {
  const sigset_t signals = WatchedSignals();
  const timespec step{0, kPollNanoseconds};
  while (!stop_) {
    if (sigtimedwait(&signals, nullptr, &step) < 0) continue;
    if (abort_.requested()) _exit(kInterruptedExit);
    abort_.Request();
  }
}

}  // namespace rectool
