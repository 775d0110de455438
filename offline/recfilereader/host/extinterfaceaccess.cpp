#include "host/extinterfaceaccess.h"

#include <string_view>

namespace recfilereader {

CExtInterfaceAccess::CExtInterfaceAccess(IInterfaceAccess* owner, IInterfaceAccess* host)
    : registration_(owner, L"IExternalInterfaceAccess", static_cast<IExternalInterfaceAccess*>(this), false),
      host_(host) {
  FillTable();
}

void* CExtInterfaceAccess::AskHost(const wchar_t* name) {
  return host_ != nullptr ? host_->GetInterface(name) : nullptr;
}

void CExtInterfaceAccess::Enter(const wchar_t* name, void* pointer) { table_.emplace(name, pointer); }

void CExtInterfaceAccess::FillTable() {
  void* memory = AskHost(L"IRCMemoryMgr");
  if (memory == nullptr) memory = AskHost(L"IExMemoryMgr");
  if (memory == nullptr) memory = static_cast<IExMemoryMgr*>(&memory_);
  Enter(L"IRCMemoryMgr", memory);

  void* processes = AskHost(L"IRCThreadProcSvc");
  if (processes == nullptr) processes = AskHost(L"IThreadedProcessService");
  if (processes == nullptr) processes = static_cast<IThreadedProcessService*>(&same_thread_);
  Enter(L"IRCThreadProcSvc", processes);
  Enter(L"IThreadedProcessService", processes);

  void* errors = AskHost(L"IRCErrorMgr");
  if (errors == nullptr) errors = AskHost(L"IExErrorMgr");
  Enter(L"IRCErrorMgr", errors);
  Enter(L"IExErrorMgr", errors);

  for (const wchar_t* name : {L"IErrorMgr", L"ITimebase", L"IObjectProperties"}) Enter(name, AskHost(name));
}

void* CExtInterfaceAccess::GetInterface(const wchar_t* name) {
  if (name == nullptr) return nullptr;
  const auto found = table_.find(std::wstring_view(name));
  return found != table_.end() ? found->second : nullptr;
}

}  // namespace recfilereader
