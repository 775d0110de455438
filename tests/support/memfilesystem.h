// An in-memory file system for the file layer, with faults: the n-th read or write call (counted
// across all files, from 1) fails with an errno or stops short, a file may refuse to open for
// writing or be read-only, and a hook runs before every read so a test can hold a reader there.
#ifndef RECFILEREADER_TESTS_SUPPORT_MEMFILESYSTEM_H
#define RECFILEREADER_TESTS_SUPPORT_MEMFILESYSTEM_H

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/file.h"

namespace rectest {

struct Fault {
  int error = 0;          // errno to report; 0 with a short count means "stopped short"
  std::size_t bytes = 0;  // bytes moved before the call stops
};

class MemFileSystem final : public recfilereader::FileSystem {
 public:
  struct Data {  // guarded by the file system's mutex
    std::vector<std::uint8_t> bytes;
    bool read_only = false;      // IsWritable says no
    bool deny_writing = false;   // opening for writing fails with EACCES
  };

  bool IsWritable(const std::wstring& path) override;
  int Open(const std::wstring& path, recfilereader::FileAccess access,
           std::shared_ptr<recfilereader::PlatformFile>& file) override;
  int CreateNew(const std::wstring& path, std::shared_ptr<recfilereader::PlatformFile>& file) override;

  // Adds or replaces a file.
  std::shared_ptr<Data> Add(const std::wstring& path, std::vector<std::uint8_t> bytes);
  std::vector<std::uint8_t> Bytes(const std::wstring& path);

  // Faults by call number (1-based), counted from now on.
  void FailRead(int nth, Fault fault) { Fail(reads_, nth, fault); }
  void FailWrite(int nth, Fault fault) { Fail(writes_, nth, fault); }
  // `hook` runs before every read from then on (null: none), on the reading thread.
  void SetBeforeRead(std::function<void()> hook);

 private:
  friend class MemFile;
  struct Calls {
    std::map<int, Fault> faults;
    int count = 0;
  };
  // Counts a call and gives its fault, if any; the caller holds mutex_.
  static bool Next(Calls& calls, Fault& fault);
  void Fail(Calls& calls, int nth, Fault fault);

  std::mutex mutex_;
  std::map<std::wstring, std::shared_ptr<Data>> files_;
  Calls reads_, writes_;
  std::function<void()> before_read_;
};

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_SUPPORT_MEMFILESYSTEM_H
