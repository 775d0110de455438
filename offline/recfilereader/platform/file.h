// The file layer: the only code that calls the operating system's file services. The caching
// file reader works through these two small interfaces, so tests replace the disk with an
// in-memory file that fails or shortens the n-th transfer.
#ifndef RECFILEREADER_PLATFORM_FILE_H
#define RECFILEREADER_PLATFORM_FILE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace recfilereader {

// One piece of a scattered read: `size` bytes to land at `data`.
struct IoSpan {
  void* data = nullptr;
  std::size_t size = 0;
};

// Outcome of one transfer: the bytes moved and, when it stopped early, the errno (0 = none;
// a short count with error 0 means the end of the file was reached).
struct IoResult {
  std::size_t bytes = 0;
  int error = 0;
};

// One open file. Transfers are positioned (pread/pwrite), so the file has no position of its
// own. An implementation must allow a read on one thread while another thread writes or reads.
class PlatformFile {
 public:
  virtual ~PlatformFile() = default;
  // One read call: up to `count` bytes at `offset`. Stops at the end of the file or at an
  // error; a transient error (EINTR, EAGAIN) is returned, not retried, so callers decide.
  virtual IoResult ReadAt(std::uint64_t offset, void* destination, std::size_t count) = 0;
  // Writes `count` bytes at `offset`, growing the file as needed.
  virtual IoResult WriteAt(std::uint64_t offset, const void* source, std::size_t count) = 0;
  // The file's size in bytes; errno on failure.
  virtual int GetSize(std::uint64_t& size) = 0;
  // Makes `size` the end of the file; errno on failure.
  virtual int Truncate(std::uint64_t size) = 0;
  // Copies `count` bytes at `source_offset` of `source` to `offset` of this file, growing it as
  // needed, and says how many arrived: short with error 0 when the source ended first. This
  // version reads and writes large chunks through memory; a file that can copy without the
  // bytes leaving the kernel does so instead. The two ranges must not overlap.
  virtual IoResult CopyFrom(PlatformFile& source, std::uint64_t source_offset, std::uint64_t offset,
                            std::size_t count);

  // ReadAt into `count` pieces that take consecutive bytes from `offset` on; bytes counts all
  // pieces together. The plain form reads piece by piece; a real file does it in one call.
  virtual IoResult ReadVectorAt(std::uint64_t offset, const IoSpan* spans, std::size_t count) {
    IoResult total;
    for (std::size_t i = 0; i < count; ++i) {
      const IoResult r = ReadAt(offset + total.bytes, spans[i].data, spans[i].size);
      total.bytes += r.bytes;
      total.error = r.error;
      if (r.error != 0 || r.bytes < spans[i].size) break;
    }
    return total;
  }
};

enum class FileAccess { kRead, kReadWrite };

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // True when the file may be opened for writing by this process; false when it is read-only
  // or its attributes cannot be read.
  virtual bool IsWritable(const std::wstring& path) = 0;
  // Opens an existing file. Returns 0 and sets `file`, or the errno.
  virtual int Open(const std::wstring& path, FileAccess access,
                   std::shared_ptr<PlatformFile>& file) = 0;
  // Creates a new file for reading and writing; fails with EEXIST when it exists.
  virtual int CreateNew(const std::wstring& path, std::shared_ptr<PlatformFile>& file) = 0;
};

// The POSIX file system (open/pread/pwrite/fstat/ftruncate). Stateless and shared.
FileSystem& PosixFileSystem();

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_FILE_H
