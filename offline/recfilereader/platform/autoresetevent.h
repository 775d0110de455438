// An auto-reset event: Set wakes one waiter (or the next one to wait) and the wait consumes the
// signal. Events that must be waited on together share one EventGroup, whose lock and condition
// variable they use, so WaitForAny needs no polling.
#ifndef RECFILEREADER_PLATFORM_AUTORESETEVENT_H
#define RECFILEREADER_PLATFORM_AUTORESETEVENT_H

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace recfilereader {

struct EventGroup {
  std::mutex mutex;
  std::condition_variable changed;
};

class AutoResetEvent {
 public:
  AutoResetEvent() : group_(std::make_shared<EventGroup>()) {}
  explicit AutoResetEvent(std::shared_ptr<EventGroup> group) : group_(std::move(group)) {}
  AutoResetEvent(const AutoResetEvent&) = delete;
  AutoResetEvent& operator=(const AutoResetEvent&) = delete;

  void Set();
  void Reset();
  // True when the event was signalled within `timeout` (the signal is consumed).
  bool Wait(std::chrono::milliseconds timeout);
  // Waits without a time-out.
  void Wait();

 private:
  friend int WaitForAny(AutoResetEvent& first, AutoResetEvent& second,
                        std::chrono::milliseconds timeout);
  std::shared_ptr<EventGroup> group_;
  bool signalled_ = false;  // guarded by group_->mutex
};

// Waits until either event is signalled or the time-out passes. Returns 0 or 1, the index of the
// event whose signal was consumed (the first when both are set), or -1 on time-out. Both events
// must belong to the same EventGroup.
int WaitForAny(AutoResetEvent& first, AutoResetEvent& second, std::chrono::milliseconds timeout);

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_AUTORESETEVENT_H
