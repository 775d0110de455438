#include "rechost/messageprinter.h"

#include <unistd.h>

#include <cwchar>

#include "rechost/text.h"

namespace rechost {

const char* SeverityName(DWORD severity) {
  if (severity >= kSeverityError) return "error";
  if (severity >= kSeverityWarning) return "warning";
  return "info";
}

void MessagePrinter::Mark() {
  std::lock_guard<std::mutex> hold(lock_);
  collected_.clear();
}

std::vector<HostMessage> MessagePrinter::Collected() {
  std::lock_guard<std::mutex> hold(lock_);
  return collected_;
}

void MessagePrinter::Report(const HostErrorRecord* record) {
  if (record == nullptr) return;
  // The text is terminated by contract; a host still reads no further than the field.
  const std::size_t length = wcsnlen(record->Text, sizeof record->Text / sizeof record->Text[0]);
  HostMessage message{record->Code >> 29, (record->Code >> 16) & 0x1FFF,
                      Narrow(std::wstring_view(record->Text, length))};
  std::lock_guard<std::mutex> hold(lock_);
  if (stream_ != nullptr && message.severity >= print_from_) {
    // A progress bar may stand on the terminal's last line: the message takes its place.
    const char* clear_line = isatty(fileno(stream_)) ? "\r\033[K" : "";
    std::fprintf(stream_, "%s%s: %s: %s\n", clear_line, prefix_.c_str(), SeverityName(message.severity),
                 message.text.c_str());
  }
  collected_.push_back(std::move(message));
}

}  // namespace rechost
