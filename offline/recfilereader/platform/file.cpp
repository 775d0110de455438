#include "platform/file.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/textconv.h"

namespace recfilereader {
namespace {

// pread/pwrite move at most this much per call on Linux.
constexpr std::size_t kMaxTransfer = 0x7FFFF000;
// What the chunked copy moves per read and write.
constexpr std::size_t kCopyChunk = 1 << 20;

// The kernel cannot copy between these two files, or not at all: nothing was copied, and the
// chunked copy may still succeed.
bool IsCopyRefused(int error) { return error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == EINVAL; }

// What a call that moves no byte before the end means for a transfer.
enum class AtEnd { kStop, kNoSpace };

// Repeats `transfer(done)`, a system call that moves bytes from `done` on and returns how many
// (0 at the end, -1 with errno), until `wanted` bytes moved, the end or a failure. A regular
// file's calls are short only at the end or past the per-call limit, so one call of ours moves
// what the file allows. An interrupted call moved nothing and is repeated.
template <class Transfer>
IoResult TransferAll(std::size_t wanted, AtEnd at_end, Transfer&& transfer) {
  IoResult result;
  while (result.bytes < wanted) {
    const ssize_t n = transfer(result.bytes);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result.error = errno;
      break;
    }
    if (n == 0) {
      if (at_end == AtEnd::kNoSpace) result.error = ENOSPC;
      break;
    }
    result.bytes += static_cast<std::size_t>(n);
  }
  return result;
}

class PosixFile final : public PlatformFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  IoResult ReadAt(std::uint64_t offset, void* destination, std::size_t count) override {
    auto* out = static_cast<char*>(destination);
    return TransferAll(count, AtEnd::kStop, [&](std::size_t done) {
      return ::pread(fd_, out + done, std::min(count - done, kMaxTransfer), static_cast<off_t>(offset + done));
    });
  }

  IoResult WriteAt(std::uint64_t offset, const void* source, std::size_t count) override {
    const auto* in = static_cast<const char*>(source);
    return TransferAll(count, AtEnd::kNoSpace, [&](std::size_t done) {
      return ::pwrite(fd_, in + done, std::min(count - done, kMaxTransfer), static_cast<off_t>(offset + done));
    });
  }

  int GetSize(std::uint64_t& size) override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return errno;
    size = static_cast<std::uint64_t>(st.st_size);
    return 0;
  }

  int Truncate(std::uint64_t size) override {
    return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 ? 0 : errno;
  }

  // Within the kernel when the source is a file here too; on ext4 the bytes then go from page
  // to page, and a file system with shared extents may share them instead. Where the kernel
  // cannot copy between the two (other file systems, old kernels), the chunked copy carries on.
  IoResult CopyFrom(PlatformFile& source, std::uint64_t source_offset, std::uint64_t offset,
                    std::size_t count) override {
    auto* posix = dynamic_cast<PosixFile*>(&source);
    if (posix == nullptr) return PlatformFile::CopyFrom(source, source_offset, offset, count);
    const IoResult copied = TransferAll(count, AtEnd::kStop, [&](std::size_t done) {
      auto from = static_cast<off_t>(source_offset + done);
      auto to = static_cast<off_t>(offset + done);
      return ::copy_file_range(posix->fd_, &from, fd_, &to, std::min(count - done, kMaxTransfer), 0);
    });
    if (!IsCopyRefused(copied.error)) return copied;
    const IoResult rest =
        PlatformFile::CopyFrom(source, source_offset + copied.bytes, offset + copied.bytes, count - copied.bytes);
    return {copied.bytes + rest.bytes, rest.error};
  }

  // One preadv for the pieces (a payload's parts and what follows it, or a run of blocks' heads
  // and payloads), repeated from where a short transfer stopped, like ReadAt.
  IoResult ReadVectorAt(std::uint64_t offset, const IoSpan* spans, std::size_t count) override {
    constexpr std::size_t kMaxPieces = 160;
    if (count > kMaxPieces) return PlatformFile::ReadVectorAt(offset, spans, count);
    iovec pieces[kMaxPieces];
    std::size_t wanted = 0;
    for (std::size_t i = 0; i < count; ++i) {
      pieces[i] = iovec{spans[i].data, spans[i].size};
      wanted += spans[i].size;
    }
    std::size_t first = 0, advanced = 0;
    return TransferAll(wanted, AtEnd::kStop, [&](std::size_t done) {
      // Moves the pieces past what the calls so far have filled.
      for (std::size_t left = done - advanced; left > 0 || (first < count && pieces[first].iov_len == 0);) {
        const std::size_t taken = std::min(left, pieces[first].iov_len);
        pieces[first].iov_base = static_cast<char*>(pieces[first].iov_base) + taken;
        pieces[first].iov_len -= taken;
        left -= taken;
        if (pieces[first].iov_len == 0) ++first;
      }
      advanced = done;
      return ::preadv(fd_, pieces + first, static_cast<int>(count - first), static_cast<off_t>(offset + done));
    });
  }

 private:
  const int fd_;
};

class PosixFiles final : public FileSystem {
 public:
  // A file nobody may write is read-only, as its attribute says, even for a user (root) whom
  // the system would let write it anyway.
  bool IsWritable(const std::wstring& path) override {
    const std::string name = WideToUtf8(path);
    struct stat status {};
    return ::access(name.c_str(), W_OK) == 0 && ::stat(name.c_str(), &status) == 0 && (status.st_mode & 0222) != 0;
  }

  int Open(const std::wstring& path, FileAccess access,
           std::shared_ptr<PlatformFile>& file) override {
    const int flags = (access == FileAccess::kReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    return OpenWith(path, flags, file);
  }

  int CreateNew(const std::wstring& path, std::shared_ptr<PlatformFile>& file) override {
    return OpenWith(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, file);
  }

 private:
  // Opens without blocking, so that a named pipe without a writer cannot hold the caller, and
  // keeps only regular files: a pipe, device or folder holds no recording. The descriptor
  // blocks again afterwards, as positioned reads and writes of a regular file expect.
  static int OpenWith(const std::wstring& path, int flags, std::shared_ptr<PlatformFile>& file) {
    const std::string narrow = WideToUtf8(path);
    int fd;
    do {
      fd = ::open(narrow.c_str(), flags | O_NONBLOCK, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno;
    const int error = RequireRegularBlockingFile(fd);
    if (error != 0) {
      ::close(fd);
      return error;
    }
    try {
      file = std::make_shared<PosixFile>(fd);
    } catch (...) {
      ::close(fd);
      throw;
    }
    return 0;
  }

  static int RequireRegularBlockingFile(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return errno;
    if (S_ISDIR(st.st_mode)) return EISDIR;
    if (!S_ISREG(st.st_mode)) return EINVAL;
    const int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) return errno;
    return 0;
  }
};

}  // namespace

IoResult PlatformFile::CopyFrom(PlatformFile& source, std::uint64_t source_offset, std::uint64_t offset,
                               std::size_t count) {
  std::vector<std::uint8_t> chunk(std::min(count, kCopyChunk));
  IoResult result;
  while (result.bytes < count) {
    const std::size_t wanted = std::min(count - result.bytes, chunk.size());
    const IoResult read = source.ReadAt(source_offset + result.bytes, chunk.data(), wanted);
    if (read.error != 0 && read.bytes == 0) return {result.bytes, read.error};
    if (read.bytes == 0) break;  // the source ended
    const IoResult written = WriteAt(offset + result.bytes, chunk.data(), read.bytes);
    result.bytes += written.bytes;
    if (written.error != 0 || written.bytes < read.bytes) return {result.bytes, written.error};
  }
  return result;
}

FileSystem& PosixFileSystem() {
  static PosixFiles files;  // stateless
  return files;
}

}  // namespace recfilereader
