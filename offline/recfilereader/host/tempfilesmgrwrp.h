// Temporary files that live no longer than the reader. Each manager keeps them in a private
// directory of its own (mode 0700, random name) inside the temporary folder (TEMP, then TMPDIR,
// then /tmp), made with the first file and removed with everything in it when the manager
// ends. Other local users can neither plant nor swap files there, and two readers never share
// a path, however close together they create their files.
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
  // leading zeros + "." + extension, in the private directory. A file of that name this
  // manager made before (the same name within one millisecond) is replaced; nothing else
  // there is followed or reused.
  bool CreateTempFile(const wchar_t* prefix, const wchar_t* extension, wchar_t* path, DWORD capacity) override;
  void DeleteTempFile(const wchar_t* path) override;

  static std::wstring TempDirectory();
  static std::wstring TempFileName(const std::wstring& prefix, const std::wstring& extension,
                                   const SYSTEMTIME& time);

 private:
  // Makes the private directory unless it exists; false when it cannot be made.
  bool HavePrivateDirectory();
  // Creates `name` in the private directory, never through a link; false on failure.
  bool CreateFileNamed(const std::string& name, bool replace);
  // The part of one of our paths below the private directory.
  std::string NameOf(const std::wstring& path) const;
  void RemovePrivateDirectory() noexcept;

  ScopedRegistration registration_;
  std::wstring directory_;      // the private directory, empty until the first file
  std::string directory_utf8_;  // the same, as the system spells it
  int directory_fd_ = -1;   // kept open: files are made and removed relative to it
  std::set<std::wstring, WideNoCaseLess> files_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_HOST_TEMPFILESMGRWRP_H
