// A memory manager for tests that counts its live blocks and refuses blocks above a limit, and
// the text of what an action raises.
#ifndef RECFILEREADER_TESTS_SUPPORT_TESTMEMORY_H
#define RECFILEREADER_TESTS_SUPPORT_TESTMEMORY_H

#include <cstdlib>
#include <functional>
#include <set>
#include <string>

#include "base/exceptions.h"
#include "recfilereader/hostservices.h"

namespace rectest {

class LimitedMemory final : public IExMemoryMgr {
 public:
  explicit LimitedMemory(std::size_t limit = static_cast<std::size_t>(-1)) : limit_(limit) {}
  ~LimitedMemory() { for (void* block : live_) std::free(block); }
  void* Allocate(std::size_t size, DWORD) override {
    if (size > limit_) return nullptr;
    void* block = std::malloc(size == 0 ? 1 : size);
    live_.insert(block);
    return block;
  }
  void* Reallocate(void*, std::size_t) override { return nullptr; }
  void Free(void* block) override { live_.erase(block); std::free(block); }
  std::size_t live() const { return live_.size(); }
  void set_limit(std::size_t limit) { limit_ = limit; }

 private:
  std::size_t limit_;
  std::set<void*> live_;
};

// The text of the exception_rt `action` raises; empty when it raises none.
inline std::wstring RaisedText(const std::function<void()>& action) {
  try {
    action();
  } catch (const recfilereader::exception_rt& e) {
    return e.wtext();
  }
  return L"";
}

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_SUPPORT_TESTMEMORY_H
