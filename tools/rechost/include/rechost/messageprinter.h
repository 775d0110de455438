// The host's error manager: the reader's messages (load steps, warnings, failed saves) printed
// to a stream, one line each with its severity. It also remembers the worst message since the
// last Mark, because some failures reach the host only this way (a save whose tail could not be
// written is undone and reported, not returned).
#ifndef RECHOST_MESSAGEPRINTER_H
#define RECHOST_MESSAGEPRINTER_H

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "recfilereader/hostservices.h"

namespace rechost {

inline constexpr DWORD kSeverityInfo = 0;
inline constexpr DWORD kSeverityWarning = 2;
inline constexpr DWORD kSeverityError = 4;

struct HostMessage {
  DWORD severity;
  DWORD id;
  std::string text;
};

// "info", "warning" or "error" for a record's severity.
const char* SeverityName(DWORD severity);

class MessagePrinter final : public IExErrorMgr {
 public:
  // Messages of at least `print_from` severity are printed to `stream` (null: none), each line
  // starting with `prefix` (the program's name).
  MessagePrinter(std::FILE* stream, DWORD print_from, std::string prefix)
      : stream_(stream), print_from_(print_from), prefix_(std::move(prefix)) {}

  void set_print_from(DWORD severity) { print_from_ = severity; }
  DWORD print_from() const { return print_from_; }
  // Starts a new collection of messages.
  void Mark();
  // The messages since the last Mark, in the order they came.
  std::vector<HostMessage> Collected();

  void Reserved() override {}
  // Called from any thread: the reader reports from its workers too.
  void Report(const HostErrorRecord* record) override;

 private:
  std::mutex lock_;
  std::FILE* stream_;
  DWORD print_from_;
  std::string prefix_;
  std::vector<HostMessage> collected_;
};

}  // namespace rechost

#endif  // RECHOST_MESSAGEPRINTER_H
