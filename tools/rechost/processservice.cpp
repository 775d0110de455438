#include "rechost/processservice.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "rechost/progressbar.h"
#include "rechost/text.h"

namespace rechost {
namespace {

constexpr std::chrono::milliseconds kRedrawEvery{100};

}  // namespace

bool ProcessService::RunProcess(IThreadedProcess* process, DWORD, DWORD, const wchar_t* caption) {
  if (process == nullptr) return false;
  ProgressBar bar(progress_.stream, Narrow(caption));
  std::mutex lock;
  std::condition_variable finished;
  bool done = false;
  std::thread worker([&] {
    process->Start(0);
    process->Execute(&bar, &abort_);
    // What an aborted process produced is thrown away.
    process->Finish(abort_.requested() ? 1 : 0);
    std::lock_guard<std::mutex> hold(lock);
    done = true;
    finished.notify_one();
  });
  const auto started = std::chrono::steady_clock::now();
  {
    std::unique_lock<std::mutex> hold(lock);
    // The first tick comes at once: a host that wants to stop learns of it before any work.
    do {
      if (progress_.on_tick) {
        hold.unlock();
        progress_.on_tick(bar.progress());
        hold.lock();
      }
      if (progress_.stream != nullptr && std::chrono::steady_clock::now() - started >= progress_.delay) bar.Draw();
    } while (!finished.wait_for(hold, kRedrawEvery, [&] { return done; }));
  }
  worker.join();
  bar.Erase();
  return true;
}

}  // namespace rechost
