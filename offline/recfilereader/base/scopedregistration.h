// A registration that lasts as long as its owner: made in the registry found through the
// owner's interface access ("IPrivInterfaceMgr", a private lookup) and removed on destruction.
// Without an owner or a registry it does nothing.
#ifndef RECFILEREADER_BASE_SCOPEDREGISTRATION_H
#define RECFILEREADER_BASE_SCOPEDREGISTRATION_H

#include "base/privateinterfaces.h"

namespace recfilereader {

class ScopedRegistration {
 public:
  ScopedRegistration(IInterfaceAccess* owner, const wchar_t* name, void* pointer, bool is_public);
  ~ScopedRegistration();
  ScopedRegistration(const ScopedRegistration&) = delete;
  ScopedRegistration& operator=(const ScopedRegistration&) = delete;

 private:
  IPrivInterfaceMgr* registry_ = nullptr;
  void* pointer_ = nullptr;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_BASE_SCOPEDREGISTRATION_H
