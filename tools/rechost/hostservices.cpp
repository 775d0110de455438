#include "rechost/hostservices.h"

#include <cwchar>

namespace rechost {

HostServices::HostServices(const HostOptions& options)
    : messages_(options.messages, options.print_from, options.program), processes_(abort_, options.progress) {}

void* HostServices::GetInterface(const wchar_t* name) {
  if (name == nullptr) return nullptr;
  const std::wstring_view wanted(name);
  if (wanted == L"IExMemoryMgr") return static_cast<IExMemoryMgr*>(&memory_);
  if (wanted == L"IThreadedProcessService") return static_cast<IThreadedProcessService*>(&processes_);
  if (wanted == L"IExErrorMgr") return static_cast<IExErrorMgr*>(&messages_);
  return nullptr;
}

}  // namespace rechost
