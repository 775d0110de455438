// A recursive mutex that spins briefly before it sleeps. The cache lock is taken for every
// read and, by the worker, for passes that usually last a microsecond: a reader that finds it
// held is better served by waiting those few microseconds on the processor than by a sleep and
// wake-up through the kernel, which cost ten times as long. Taking it again on the owning
// thread is a counter increment.
#ifndef RECFILEREADER_FILEACCESS_SPINRECURSIVEMUTEX_H
#define RECFILEREADER_FILEACCESS_SPINRECURSIVEMUTEX_H

#include <atomic>
#include <mutex>
#include <thread>

namespace recfilereader {

class SpinRecursiveMutex {
 public:
  SpinRecursiveMutex() = default;
  SpinRecursiveMutex(const SpinRecursiveMutex&) = delete;
  SpinRecursiveMutex& operator=(const SpinRecursiveMutex&) = delete;

  void lock() {
    const std::thread::id self = std::this_thread::get_id();
    if (owner_.load(std::memory_order_relaxed) == self) {
      ++depth_;
      return;
    }
    bool acquired = false;
    for (int spin = 0; spin < kSpins && !acquired; ++spin) {
      acquired = mutex_.try_lock();
      if (!acquired) Pause();
    }
    if (!acquired) mutex_.lock();
    owner_.store(self, std::memory_order_relaxed);
    depth_ = 1;
  }

  void unlock() {
    if (--depth_ > 0) return;
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
  }

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
  // The owning thread, read without the mutex only to compare with the caller: a thread sees
  // its own id there only when it stored it.
  std::atomic<std::thread::id> owner_{};
  int depth_ = 0;  // guarded by mutex_
};

}  // namespace recfilereader

#endif  // RECFILEREADER_FILEACCESS_SPINRECURSIVEMUTEX_H
