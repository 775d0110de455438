#include "base/scopedregistration.h"

namespace recfilereader {

ScopedRegistration::ScopedRegistration(IInterfaceAccess* owner, const wchar_t* name, void* pointer,
                                       bool is_public)
    : pointer_(pointer) {
  if (owner == nullptr) return;
  registry_ = static_cast<IPrivInterfaceMgr*>(owner->GetInterface(L"IPrivInterfaceMgr"));
  if (registry_ != nullptr) registry_->RegisterInterface(name, pointer, is_public);
}

ScopedRegistration::~ScopedRegistration() {
  if (registry_ != nullptr) registry_->UnregisterInterface(pointer_);
}

}  // namespace recfilereader
