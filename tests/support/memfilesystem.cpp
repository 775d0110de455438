#include "support/memfilesystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace rectest {

using recfilereader::FileAccess;
using recfilereader::IoResult;
using recfilereader::PlatformFile;

class MemFile final : public PlatformFile {
 public:
  MemFile(MemFileSystem& files, std::shared_ptr<MemFileSystem::Data> data, bool writable)
      : files_(files), data_(std::move(data)), writable_(writable) {}

  IoResult ReadAt(std::uint64_t offset, void* destination, std::size_t count) override {
    const std::function<void()> hook = [&] {
      std::lock_guard lock(files_.mutex_);
      return files_.before_read_;
    }();
    if (hook) hook();  // outside the lock: it may hold this thread
    std::lock_guard lock(files_.mutex_);
    Fault fault;
    const bool faulty = MemFileSystem::Next(files_.reads_, fault);
    const std::uint64_t size = data_->bytes.size();
    std::size_t n = offset >= size ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(count, size - offset));
    if (faulty) n = std::min(n, fault.bytes);
    if (n > 0) std::memcpy(destination, data_->bytes.data() + offset, n);
    return IoResult{n, faulty ? fault.error : 0};
  }

  IoResult WriteAt(std::uint64_t offset, const void* source, std::size_t count) override {
    if (!writable_) return IoResult{0, EBADF};
    std::lock_guard lock(files_.mutex_);
    Fault fault;
    const bool faulty = MemFileSystem::Next(files_.writes_, fault);
    const std::size_t n = faulty ? std::min(count, fault.bytes) : count;
    if (data_->bytes.size() < offset + n) data_->bytes.resize(offset + n);
    if (n > 0) std::memcpy(data_->bytes.data() + offset, source, n);
    return IoResult{n, faulty ? fault.error : 0};
  }

  int GetSize(std::uint64_t& size) override {
    std::lock_guard lock(files_.mutex_);
    size = data_->bytes.size();
    return 0;
  }

  int Truncate(std::uint64_t size) override {
    if (!writable_) return EBADF;
    std::lock_guard lock(files_.mutex_);
    data_->bytes.resize(size);
    return 0;
  }

 private:
  MemFileSystem& files_;
  std::shared_ptr<MemFileSystem::Data> data_;
  const bool writable_;
};

bool MemFileSystem::IsWritable(const std::wstring& path) {
  std::lock_guard lock(mutex_);
  auto it = files_.find(path);
  return it != files_.end() && !it->second->read_only;
}

int MemFileSystem::Open(const std::wstring& path, FileAccess access,
                        std::shared_ptr<PlatformFile>& file) {
  std::lock_guard lock(mutex_);
  auto it = files_.find(path);
  if (it == files_.end()) return ENOENT;
  const bool write = access == FileAccess::kReadWrite;
  if (write && (it->second->deny_writing || it->second->read_only)) return EACCES;
  file = std::make_shared<MemFile>(*this, it->second, write);
  return 0;
}

int MemFileSystem::CreateNew(const std::wstring& path, std::shared_ptr<PlatformFile>& file) {
  std::lock_guard lock(mutex_);
  if (files_.count(path) != 0) return EEXIST;
  file = std::make_shared<MemFile>(*this, files_[path] = std::make_shared<Data>(), true);
  return 0;
}

std::shared_ptr<MemFileSystem::Data> MemFileSystem::Add(const std::wstring& path, std::vector<std::uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  return files_[path] = std::make_shared<Data>(Data{std::move(bytes)});
}

std::vector<std::uint8_t> MemFileSystem::Bytes(const std::wstring& path) {
  std::lock_guard lock(mutex_);
  return files_.at(path)->bytes;
}

void MemFileSystem::SetBeforeRead(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  before_read_ = std::move(hook);
}

void MemFileSystem::Fail(Calls& calls, int nth, Fault fault) {
  std::lock_guard lock(mutex_);
  calls.faults[calls.count + nth] = fault;
}

bool MemFileSystem::Next(Calls& calls, Fault& fault) {
  auto it = calls.faults.find(++calls.count);
  if (it == calls.faults.end()) return false;
  fault = it->second;
  return true;
}

}  // namespace rectest
