// The host's services as the reader sees them: looked up once by name when the reader is made,
// with the reader's own memory manager and same-thread process service standing in where the
// host offers none. Read-only after construction, so any thread may use it.
#ifndef RECFILEREADER_HOST_EXTINTERFACEACCESS_H
#define RECFILEREADER_HOST_EXTINTERFACEACCESS_H

#include <map>
#include <string>

#include "host/memmgrcpp.h"
#include "base/privateinterfaces.h"
#include "base/scopedregistration.h"
#include "host/tpssamethread.h"

namespace recfilereader {

class CExtInterfaceAccess final : public IExternalInterfaceAccess {
 public:
  // Registers itself privately as "IExternalInterfaceAccess" through `owner`; `host` may be null.
  CExtInterfaceAccess(IInterfaceAccess* owner, IInterfaceAccess* host);
  CExtInterfaceAccess(const CExtInterfaceAccess&) = delete;
  CExtInterfaceAccess& operator=(const CExtInterfaceAccess&) = delete;

  // From the table only; a name not entered, or entered as null, gives null.
  void* GetInterface(const wchar_t* name) override;

  IExMemoryMgr* memory_manager() { return static_cast<IExMemoryMgr*>(GetInterface(L"IRCMemoryMgr")); }
  CMemMgrCpp& own_memory_manager() { return memory_; }

 private:
  void FillTable();
  void* AskHost(const wchar_t* name);
  void Enter(const wchar_t* name, void* pointer);

  ScopedRegistration registration_;
  std::map<std::wstring, void*, std::less<>> table_;  // looked up by view: no allocation
  IInterfaceAccess* host_;
  CMemMgrCpp memory_;
  CTpsSameThread same_thread_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_HOST_EXTINTERFACEACCESS_H
