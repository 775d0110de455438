// What every lock-bytes object of the library shares: QueryInterface for IUnknown and
// ILockBytes, a reference count that deletes the object at zero, no region locking (memory is
// private to the process: there is nothing to lock against), and Stat from a name and a size.
#ifndef RECFILEREADER_PLATFORM_STORAGE_LOCKBYTESOBJECT_H
#define RECFILEREADER_PLATFORM_STORAGE_LOCKBYTESOBJECT_H

#include <cstring>
#include <cwchar>

#include "platform/hresults.h"
#include "platform/storage/comobject.h"
#include "platform/storage/storageinterfaces.h"
#include "recfilereader/propvariant.h"

namespace recfilereader {

class CLockBytesObject : public ILockBytes {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_ILockBytes) {
      *object = static_cast<ILockBytes*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return refs_.Add(); }
  ULONG Release() override {
    const ULONG left = refs_.Drop();
    if (left == 0) delete this;
    return left;
  }

  HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }

 protected:
  CLockBytesObject() = default;
  virtual ~CLockBytesObject() = default;

  // Fills `stat` for a lock-bytes object of `size` bytes; `name` (may be null) is handed out
  // unless the caller asked for no name.
  static HRESULT FillStat(STATSTG* stat, DWORD stat_flag, const wchar_t* name, ULONGLONG size) {
    if (stat == nullptr) return STG_E_INVALIDPOINTER;
    if (stat_flag != STATFLAG_DEFAULT && stat_flag != STATFLAG_NONAME) return STG_E_INVALIDFLAG;
    std::memset(static_cast<void*>(stat), 0, sizeof *stat);
    if (stat_flag == STATFLAG_DEFAULT && name != nullptr) {
      const std::size_t bytes = (std::wcslen(name) + 1) * sizeof(wchar_t);
      stat->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
      if (stat->pwcsName == nullptr) return STG_E_INSUFFICIENTMEMORY;
      std::memcpy(stat->pwcsName, name, bytes);
    }
    stat->type = STGTY_LOCKBYTES;
    stat->cbSize.QuadPart = size;
    return S_OK;
  }

 private:
  ComRefCount refs_;  // starts at 1: the creator's reference
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_LOCKBYTESOBJECT_H
