#include "host/tempfilesmgrwrp.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/localtime.h"
#include "platform/textconv.h"

namespace recfilereader {
namespace {

constexpr std::size_t kMaxDirectoryChars = 260;

std::string NarrowPath(const std::wstring& path) { return WideToUtf8(path); }

}  // namespace

CTempFilesMgrWrp::CTempFilesMgrWrp(IInterfaceAccess* owner)
    : registration_(owner, L"IPrivTempFilesMgr", static_cast<IPrivTempFilesMgr*>(this), false) {}

CTempFilesMgrWrp::~CTempFilesMgrWrp() {
  for (const std::wstring& path : files_) ::unlink(NarrowPath(path).c_str());
}

std::wstring CTempFilesMgrWrp::TempDirectory() {
  for (const char* variable : {"TEMP", "TMPDIR"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') {
      std::wstring directory = Utf8ToWide(value);
      if (directory.size() > kMaxDirectoryChars) directory.resize(kMaxDirectoryChars);
      return directory;
    }
  }
  return L"/tmp";
}

std::wstring CTempFilesMgrWrp::TempFileName(const std::wstring& prefix, const std::wstring& extension,
                                             const SYSTEMTIME& time) {
  std::wstring name = prefix + L".";
  for (std::uint8_t byte : SystemTimeBytes(time)) {
    wchar_t hex[4];
    std::swprintf(hex, 4, L"%x", static_cast<unsigned>(byte));
    name += hex;
  }
  return name + L"." + extension;
}

bool CTempFilesMgrWrp::CreateTempFile(const wchar_t* prefix, const wchar_t* extension, wchar_t* path,
                                      DWORD capacity) {
  if (path == nullptr || capacity == 0) return false;
  try {
    std::wstring directory = TempDirectory();
    if (!directory.empty() && directory.back() != L'/') directory += L'/';
    const std::wstring full =
        directory + TempFileName(prefix != nullptr ? prefix : L"", extension != nullptr ? extension : L"",
                                 LocalTimeNow());
    if (full.size() + 1 > capacity) return false;
    const int fd = ::open(NarrowPath(full).c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    ::close(fd);
    files_.insert(full);
    full.copy(path, full.size());
    path[full.size()] = L'\0';
    return true;
  } catch (...) {
    return false;
  }
}

void CTempFilesMgrWrp::DeleteTempFile(const wchar_t* path) {
  if (path == nullptr) return;
  const auto found = files_.find(path);
  if (found == files_.end()) return;
  ::unlink(NarrowPath(*found).c_str());
  files_.erase(found);
}

}  // namespace recfilereader
