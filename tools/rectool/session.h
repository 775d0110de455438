// What every verb shares: the common options, the host services with the abort flag that Ctrl-C
// sets, the file being worked on (named by every error) and how the run ends.
#ifndef RECTOOL_SESSION_H
#define RECTOOL_SESSION_H

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "interruptwatcher.h"
#include "rechost/rechost.h"

namespace rectool {

enum ExitCode : int {
  kExitOk = 0,
  kExitFailed = 1,       // the file could not be read or written, the reader reported an error
  kExitUsage = 2,        // wrong usage
  kExitDamage = 3,       // check found damage, or repair had to drop data
  kExitInterrupted = 130,
};

// Wrong usage found after parsing (a terminal as the payload sink, a value that does not convert).
class UsageError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};
// A failure of the tool itself (a file it cannot write), not of the reader.
class ToolError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};
// The user asked to stop.
struct Interrupted {};

struct CommonOptions {
  bool json = false;
  bool ndjson = false;
  bool quiet = false;
  bool verbose = false;
};

class Session {
 public:
  CommonOptions& options() { return options_; }
  // Made at the first use, once the options are known.
  rechost::HostServices& host();
  // Where progress bars go: stderr when it is a terminal and --quiet was not given, else null.
  std::FILE* progress_stream() const;
  // Throws Interrupted when the user has asked to stop.
  void CheckInterrupted();
  bool interrupted() const { return host_ != nullptr && host_->abort().requested(); }

  // The file named by errors from now on.
  void set_file(const std::string& file) { file_ = file; }
  const std::string& file() const { return file_; }
  void set_exit(int code) { exit_ = code; }
  int exit_code() const { return exit_; }

 private:
  CommonOptions options_;
  std::unique_ptr<rechost::HostServices> host_;
  std::unique_ptr<InterruptWatcher> watcher_;
  std::string file_;
  int exit_ = kExitOk;
};

}  // namespace rectool

#endif  // RECTOOL_SESSION_H
