// A microsecond stopwatch over the monotonic clock, or over a clock the owner gives (tests pass
// one they move by hand instead of sleeping). Readings are microseconds; the elapsed time is the
// reading minus the start, wrapped into the positive range should the clock ever run below the
// start.
#ifndef RECFILEREADER_PLATFORM_STOPWATCH_H
#define RECFILEREADER_PLATFORM_STOPWATCH_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <utility>

namespace recfilereader {

class MicroStopwatch {
 public:
  MicroStopwatch() = default;
  // `clock` answers microseconds; null: the monotonic clock.
  explicit MicroStopwatch(std::function<std::uint64_t()> clock) : clock_(std::move(clock)) {}

  // Thread contract: Start and Stop belong to one thread; Elapsed may be called from any thread
  // once the start happened before (for example before the thread that reads it was started).
  void Start() {
    start_ = Now();
    running_ = true;
  }
  void Stop() {
    last_elapsed_ = Elapsed();
    running_ = false;
  }
  bool running() const { return running_; }

  std::uint64_t Elapsed() const {
    if (!running_) return last_elapsed_;
    const std::uint64_t now = Now();
    if (now < start_) return now - start_ + 0x7FFFFFFFFFFFFFFFull;
    return now - start_;
  }

  static std::uint64_t Reading() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
  }

 private:
  std::uint64_t Now() const { return clock_ ? clock_() : Reading(); }

  std::function<std::uint64_t()> clock_;
  bool running_ = false;
  std::uint64_t start_ = 0;
  std::uint64_t last_elapsed_ = 0;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STOPWATCH_H
