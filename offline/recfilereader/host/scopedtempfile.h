// A temporary file of the reader's temporary files manager, deleted however the work that needs
// it ends: the audio and video conversions write their AVI files through one.
#ifndef RECFILEREADER_HOST_SCOPEDTEMPFILE_H
#define RECFILEREADER_HOST_SCOPEDTEMPFILE_H

#include "base/privateinterfaces.h"
#include "host/tempfilesmgrwrp.h"
#include "recfilereader/base.h"

namespace recfilereader {

class ScopedTempFile {
 public:
  // Makes the file through the "IPrivTempFilesMgr" that `access` reaches; throws exception_rt
  // with `failure` when there is no manager or it cannot make the file.
  ScopedTempFile(IInterfaceAccess* access, const wchar_t* tag, const wchar_t* extension,
                 const wchar_t* failure);
  ~ScopedTempFile();
  ScopedTempFile(const ScopedTempFile&) = delete;
  ScopedTempFile& operator=(const ScopedTempFile&) = delete;

  const wchar_t* path() const { return path_; }

 private:
  IPrivTempFilesMgr* manager_ = nullptr;
  wchar_t path_[kMaxTempPath] = {};
};

}  // namespace recfilereader

#endif  // RECFILEREADER_HOST_SCOPEDTEMPFILE_H
