#include "rechost/abortflag.h"

#include <chrono>

namespace rechost {

void AbortFlag::Request() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    requested_ = true;
  }
  wake_.notify_all();
}

bool AbortFlag::Sleep(DWORD milliseconds) {
  std::unique_lock<std::mutex> hold(lock_);
  return !wake_.wait_for(hold, std::chrono::milliseconds(milliseconds), [&] { return requested_.load(); });
}

bool AbortFlag::WaitForObject(HANDLE, DWORD, DWORD* result) {
  if (result != nullptr) *result = WAIT_FAILED;
  return false;
}

bool AbortFlag::WaitForObjects(DWORD, const HANDLE*, DWORD, DWORD* result) {
  if (result != nullptr) *result = WAIT_FAILED;
  return false;
}

}  // namespace rechost
