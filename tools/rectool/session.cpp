#include "session.h"

#include <unistd.h>

namespace rectool {

rechost::HostServices& Session::host() {
  if (host_ != nullptr) return *host_;
  rechost::HostOptions host_options;
  host_options.program = "rectool";
  host_options.print_from = options_.verbose ? rechost::kSeverityInfo : rechost::kSeverityWarning;
  host_options.progress.stream = progress_stream();
  host_ = std::make_unique<rechost::HostServices>(host_options);
  // Before the reader starts any thread of its own.
  watcher_ = std::make_unique<InterruptWatcher>(host_->abort());
  return *host_;
}

// A bar only where someone watches it.
std::FILE* Session::progress_stream() const { return !options_.quiet && isatty(STDERR_FILENO) ? stderr : nullptr; }

void Session::CheckInterrupted() {
  if (interrupted()) throw Interrupted{};
}

}  // namespace rectool
