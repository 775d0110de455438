#include "platform/autoresetevent.h"

#include <cassert>

namespace recfilereader {

void AutoResetEvent::Set() {
  {
    std::lock_guard lock(group_->mutex);
    signalled_ = true;
  }
  group_->changed.notify_all();
}

void AutoResetEvent::Reset() {
  std::lock_guard lock(group_->mutex);
  signalled_ = false;
}

bool AutoResetEvent::Wait(std::chrono::milliseconds timeout) {
  std::unique_lock lock(group_->mutex);
  if (!group_->changed.wait_for(lock, timeout, [this] { return signalled_; })) return false;
  signalled_ = false;
  return true;
}

void AutoResetEvent::Wait() {
  std::unique_lock lock(group_->mutex);
  group_->changed.wait(lock, [this] { return signalled_; });
  signalled_ = false;
}

int WaitForAny(AutoResetEvent& first, AutoResetEvent& second, std::chrono::milliseconds timeout) {
  assert(first.group_ == second.group_);
  std::unique_lock lock(first.group_->mutex);
  const bool woken = first.group_->changed.wait_for(
      lock, timeout, [&] { return first.signalled_ || second.signalled_; });
  if (!woken) return -1;
  if (first.signalled_) {
    first.signalled_ = false;
    return 0;
  }
  second.signalled_ = false;
  return 1;
}

}  // namespace recfilereader
