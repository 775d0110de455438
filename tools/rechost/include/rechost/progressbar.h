// The status sink of a threaded process, drawn as a one-line bar. The process reports from its
// worker thread; the waiting thread draws, so the terminal is written from one thread only.
#ifndef RECHOST_PROGRESSBAR_H
#define RECHOST_PROGRESSBAR_H

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

#include "recfilereader/hostservices.h"

namespace rechost {

// The reader's processes report the completed fraction times this.
inline constexpr LONG kProgressScale = 5000;

class ProgressBar final : public IThreadedProcessStatus {
 public:
  ProgressBar(std::FILE* stream, std::string caption) : stream_(stream), caption_(std::move(caption)) {}

  void SetProgress(LONG progress) override { progress_ = progress; }
  LONG progress() const { return progress_.load(); }
  void SetStatusText(const wchar_t* text) override;
  void Notify(DWORD) override {}
  void Refresh() override {}

  // Draws the bar over the line it stands on.
  void Draw();
  // Removes the bar when it was drawn.
  void Erase();

 private:
  std::FILE* stream_;
  std::string caption_;
  std::atomic<LONG> progress_{0};
  std::mutex lock_;
  std::string status_;
  bool drawn_ = false;
};

}  // namespace rechost

#endif  // RECHOST_PROGRESSBAR_H
