// The COM identity every lock-bytes object of the library shares: QueryInterface for IUnknown
// and ILockBytes, and a reference count that deletes the object at zero.
#ifndef RECFILEREADER_PLATFORM_STORAGE_LOCKBYTESOBJECT_H
#define RECFILEREADER_PLATFORM_STORAGE_LOCKBYTESOBJECT_H

#include "platform/storage/comobject.h"
#include "platform/storage/storageinterfaces.h"

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

 protected:
  CLockBytesObject() = default;
  virtual ~CLockBytesObject() = default;

 private:
  ComRefCount refs_;  // starts at 1: the creator's reference
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_LOCKBYTESOBJECT_H
