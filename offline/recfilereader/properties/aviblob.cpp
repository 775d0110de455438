#include "properties/aviblob.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <memory>

#include "base/exceptions.h"
#include "recfilereader/propvariant.h"

namespace recfilereader {
namespace {

struct TaskMemFree {
  void operator()(void* block) const { CoTaskMemFree(block); }
};

}  // namespace

// Opened without blocking, so that a pipe planted at the name cannot hold the reader; the flag
// changes nothing for the regular file that is kept.
AviTempFile::AviTempFile(const std::string& path, SourceTag where, std::source_location at)
    : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600)), where_(where) {
  if (fd_ < 0) ThrowSystemError(errno, where, at);
  struct stat status {};
  const int error = ::fstat(fd_, &status) != 0 ? errno : S_ISREG(status.st_mode) ? 0 : EINVAL;
  if (error != 0) {
    ::close(fd_);
    ThrowSystemError(error, where, at);
  }
}

AviTempFile::~AviTempFile() { ::close(fd_); }

void AviTempFile::ReadToBlob(PROPVARIANT& result, std::source_location at) const {
  const SourceTag where = where_;
  struct stat status {};
  if (::fstat(fd_, &status) != 0) ThrowSystemError(errno, where, at);
  const auto size = static_cast<std::uint64_t>(status.st_size);
  if (size > std::numeric_limits<ULONG>::max()) ThrowSystemError(EFBIG, where, at);

  std::unique_ptr<std::uint8_t, TaskMemFree> bytes(static_cast<std::uint8_t*>(CoTaskMemAlloc(size)));
  if (!bytes) throw exception_rt(MemoryFailureText(MemorySource::kOperatorNew, size, where, at));
  std::uint64_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd_, bytes.get() + done, size - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowSystemError(errno, where, at);
    if (n == 0) ThrowSystemError(EIO, where, at);  // the file shrank under us
    done += static_cast<std::uint64_t>(n);
  }

  PropVariantClear(&result);
  result.vt = VT_BLOB;
  result.blob.cbSize = static_cast<ULONG>(size);
  result.blob.pBlobData = bytes.release();
}

}  // namespace recfilereader
