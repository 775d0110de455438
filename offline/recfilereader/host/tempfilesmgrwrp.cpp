#include "host/tempfilesmgrwrp.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "platform/localtime.h"

namespace recfilereader {
namespace {

constexpr std::size_t kMaxDirectoryChars = 260;
constexpr char kPrivateDirectoryPattern[] = "recfilereader-XXXXXX";

}  // namespace

CTempFilesMgrWrp::CTempFilesMgrWrp(IInterfaceAccess* owner)
    : registration_(owner, L"IPrivTempFilesMgr", static_cast<IPrivTempFilesMgr*>(this), false) {}

CTempFilesMgrWrp::~CTempFilesMgrWrp() { RemovePrivateDirectory(); }

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
    if (!HavePrivateDirectory()) return false;
    const std::wstring name = TempFileName(prefix != nullptr ? prefix : L"", extension != nullptr ? extension : L"",
                                           LocalTimeNow());
    const std::wstring full = directory_ + L"/" + name;
    if (full.size() + 1 > capacity || name.find(L'/') != std::wstring::npos) return false;
    if (!CreateFileNamed(WideToUtf8(name), files_.contains(full))) return false;
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
  try {
    const auto found = files_.find(path);
    if (found == files_.end()) return;
    ::unlinkat(directory_fd_, NameOf(*found).c_str(), 0);
    files_.erase(found);
  } catch (...) {
    // A name that cannot be converted is left for the directory's removal.
  }
}

bool CTempFilesMgrWrp::HavePrivateDirectory() {
  if (directory_fd_ >= 0) return true;
  std::string directory = WideToUtf8(TempDirectory());
  if (directory.empty() || directory.back() != '/') directory += '/';
  directory += kPrivateDirectoryPattern;
  if (::mkdtemp(directory.data()) == nullptr) return false;  // made with mode 0700
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    ::rmdir(directory.c_str());
    return false;
  }
  try {
    directory_ = Utf8ToWide(directory);
    directory_utf8_ = std::move(directory);
  } catch (...) {
    ::close(fd);
    ::rmdir(directory.c_str());
    throw;
  }
  directory_fd_ = fd;
  return true;
}

bool CTempFilesMgrWrp::CreateFileNamed(const std::string& name, bool replace) {
  if (replace) ::unlinkat(directory_fd_, name.c_str(), 0);
  const int fd = ::openat(directory_fd_, name.c_str(), O_CREAT | O_EXCL | O_NOFOLLOW | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::string CTempFilesMgrWrp::NameOf(const std::wstring& path) const {
  return WideToUtf8(std::wstring_view(path).substr(directory_.size() + 1));
}

// Everything in the private directory goes, not only the files remembered: whatever a caller
// left there under another name would otherwise keep the directory alive.
void CTempFilesMgrWrp::RemovePrivateDirectory() noexcept {
  if (directory_fd_ < 0) return;
  const int listing = ::dup(directory_fd_);
  DIR* entries = listing >= 0 ? ::fdopendir(listing) : nullptr;
  if (entries == nullptr && listing >= 0) ::close(listing);
  if (entries != nullptr) {
    while (const dirent* entry = ::readdir(entries)) {
      const std::string_view name = entry->d_name;
      if (name != "." && name != "..") ::unlinkat(directory_fd_, entry->d_name, 0);
    }
    ::closedir(entries);
  }
  ::close(directory_fd_);
  directory_fd_ = -1;
  ::rmdir(directory_utf8_.c_str());
}

}  // namespace recfilereader
