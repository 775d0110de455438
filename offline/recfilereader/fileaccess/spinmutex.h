// A plain (not recursive) mutex that spins briefly before it sleeps, annotated as a capability
// so that clang checks its use. The cache lock is taken for every read and, by the worker, for
// passes that usually last a microsecond: a reader that finds it held is better served by
// waiting those few microseconds on the processor than by a sleep and wake-up through the
// kernel, which cost ten times as long.
#ifndef RECFILEREADER_FILEACCESS_SPINMUTEX_H
#define RECFILEREADER_FILEACCESS_SPINMUTEX_H

#include <mutex>

#include "fileaccess/threadannotations.h"

namespace recfilereader {

class CAPABILITY("mutex") SpinMutex {
 public:
  SpinMutex() = default;
  SpinMutex(const SpinMutex&) = delete;
  SpinMutex& operator=(const SpinMutex&) = delete;

  void Lock() ACQUIRE() {
    for (int spin = 0; spin < kSpins; ++spin) {
      if (mutex_.try_lock()) return;
      Pause();
    }
    mutex_.lock();
  }
  void Unlock() RELEASE() { mutex_.unlock(); }

 private:
  static constexpr int kSpins = 256;

  static void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
  }

  std::mutex mutex_;
};

// Holds a SpinMutex for its scope.
class SCOPED_CAPABILITY SpinMutexLock {
 public:
  explicit SpinMutexLock(SpinMutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~SpinMutexLock() RELEASE() { mutex_.Unlock(); }
  SpinMutexLock(const SpinMutexLock&) = delete;
  SpinMutexLock& operator=(const SpinMutexLock&) = delete;

 private:
  SpinMutex& mutex_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_FILEACCESS_SPINMUTEX_H
