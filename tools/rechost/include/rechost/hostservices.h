// The services a host offers the reader, found by name through the IInterfaceAccess handed to
// CreateRecordingReader: the memory manager, the threaded-process service with its abort flag
// and the error manager that prints the reader's messages.
#ifndef RECHOST_HOSTSERVICES_H
#define RECHOST_HOSTSERVICES_H

#include <cstdio>
#include <string>

#include "recfilereader/base.h"
#include "rechost/abortflag.h"
#include "rechost/memorymanager.h"
#include "rechost/messageprinter.h"
#include "rechost/processservice.h"

namespace rechost {

struct HostOptions {
  std::string program = "host";           // starts every printed message
  std::FILE* messages = stderr;           // where the reader's messages go (null: nowhere)
  DWORD print_from = kSeverityWarning;    // the least severity printed
  ProgressOptions progress;               // progress bar of long work (off by default)
};

class HostServices final : public IInterfaceAccess {
 public:
  explicit HostServices(const HostOptions& options = {});
  HostServices(const HostServices&) = delete;
  HostServices& operator=(const HostServices&) = delete;

  void* GetInterface(const wchar_t* name) override;

  MemoryManager& memory() { return memory_; }
  MessagePrinter& messages() { return messages_; }
  AbortFlag& abort() { return abort_; }

 private:
  MemoryManager memory_;
  MessagePrinter messages_;
  AbortFlag abort_;
  ProcessService processes_;
};

}  // namespace rechost

#endif  // RECHOST_HOSTSERVICES_H
