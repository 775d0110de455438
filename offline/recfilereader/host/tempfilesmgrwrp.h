// Temporary files that live no longer than the reader: created in the directory named by TEMP
// (then TMPDIR, then /tmp), deleted on request or when the reader ends.
#ifndef RECFILEREADER_HOST_TEMPFILESMGRWRP_H
#define RECFILEREADER_HOST_TEMPFILESMGRWRP_H

#include <set>
#include <string>

#include "base/privateinterfaces.h"
#include "base/scopedregistration.h"
#include "platform/textconv.h"
#include "recfilereader/compat.h"

namespace recfilereader {

// Longest path CreateTempFile hands out, in characters with the terminator.
constexpr DWORD kMaxTempPath = 1024;

class CTempFilesMgrWrp final : public IPrivTempFilesMgr {
 public:
  // Registers itself privately as "IPrivTempFilesMgr" through `owner`.
  explicit CTempFilesMgrWrp(IInterfaceAccess* owner);
  ~CTempFilesMgrWrp();
  CTempFilesMgrWrp(const CTempFilesMgrWrp&) = delete;
  CTempFilesMgrWrp& operator=(const CTempFilesMgrWrp&) = delete;

  // The name is prefix "." + the 16 bytes of the local time as hexadecimal numbers without
  // leading zeros + "." + extension; an existing file of that name is replaced.
  bool CreateTempFile(const wchar_t* prefix, const wchar_t* extension, wchar_t* path, DWORD capacity) override;
  void DeleteTempFile(const wchar_t* path) override;

  static std::wstring TempDirectory();
  static std::wstring TempFileName(const std::wstring& prefix, const std::wstring& extension,
                                   const SYSTEMTIME& time);

 private:
  ScopedRegistration registration_;
  std::set<std::wstring, WideNoCaseLess> files_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_HOST_TEMPFILESMGRWRP_H
