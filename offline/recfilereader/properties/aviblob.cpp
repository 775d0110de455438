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

class FileCloser {
 public:
  explicit FileCloser(int fd) : fd_(fd) {}
  ~FileCloser() { ::close(fd_); }
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;

 private:
  int fd_;
};

struct TaskMemFree {
  void operator()(void* block) const { CoTaskMemFree(block); }
};

}  // namespace

void ReadFileToBlob(const std::string& path, PROPVARIANT& result, SourceTag where, std::source_location at) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) ThrowSystemError(errno, where, at);
  FileCloser closer(fd);

  struct stat status {};
  if (::fstat(fd, &status) != 0) ThrowSystemError(errno, where, at);
  const auto size = static_cast<std::uint64_t>(status.st_size);
  if (size > std::numeric_limits<ULONG>::max()) ThrowSystemError(EFBIG, where, at);

  std::unique_ptr<std::uint8_t, TaskMemFree> bytes(static_cast<std::uint8_t*>(CoTaskMemAlloc(size)));
  if (!bytes) throw exception_rt(MemoryFailureText(MemorySource::kOperatorNew, size, where, at));
  std::uint64_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, bytes.get() + done, size - done, static_cast<off_t>(done));
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
