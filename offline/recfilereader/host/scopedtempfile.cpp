#include "host/scopedtempfile.h"

#include "base/exceptions.h"

namespace recfilereader {

ScopedTempFile::ScopedTempFile(IInterfaceAccess* access, const wchar_t* tag,
                               const wchar_t* extension, const wchar_t* failure) {
  IPrivTempFilesMgr* manager =
      access != nullptr ? static_cast<IPrivTempFilesMgr*>(access->GetInterface(L"IPrivTempFilesMgr"))
                        : nullptr;
  if (manager == nullptr || !manager->CreateTempFile(tag, extension, path_, kMaxTempPath)) {
    throw exception_rt(failure);
  }
  manager_ = manager;
}

ScopedTempFile::~ScopedTempFile() {
  if (manager_ != nullptr) manager_->DeleteTempFile(path_);
}

}  // namespace recfilereader
