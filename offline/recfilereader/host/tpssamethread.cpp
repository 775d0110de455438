#include "host/tpssamethread.h"

#include <chrono>
#include <thread>

#include "platform/autoresetevent.h"

namespace recfilereader {
namespace {

using Clock = std::chrono::steady_clock;

// WaitForMultipleObjects over events that need not share a group: poll in short steps.
DWORD WaitAny(DWORD count, const HANDLE* handles, DWORD milliseconds) {
  if (count == 0 || handles == nullptr) return WAIT_FAILED;
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    for (DWORD i = 0; i < count; ++i) {
      auto* event = static_cast<AutoResetEvent*>(handles[i]);
      if (event == nullptr) return WAIT_FAILED;
      if (event->Wait(std::chrono::milliseconds(0))) return WAIT_OBJECT_0 + i;
    }
    if (milliseconds != INFINITE && Clock::now() >= deadline) return WAIT_TIMEOUT;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace

bool CTpsAbortStub::Sleep(DWORD milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  return true;
}

bool CTpsAbortStub::WaitForObject(HANDLE handle, DWORD milliseconds, DWORD* result) {
  const DWORD outcome = WaitAny(1, &handle, milliseconds);
  if (result != nullptr) *result = outcome;
  return true;
}

bool CTpsAbortStub::WaitForObjects(DWORD count, const HANDLE* handles, DWORD milliseconds, DWORD* result) {
  const DWORD outcome = WaitAny(count, handles, milliseconds);
  if (result != nullptr) *result = outcome;
  return true;
}

bool CTpsSameThread::RunProcess(IThreadedProcess* process, DWORD, DWORD, const wchar_t*) {
  if (process == nullptr) return false;
  process->Start(0);
  process->Execute(&status_, &abort_);
  process->Finish(0);
  return true;
}

}  // namespace recfilereader
