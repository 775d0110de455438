// The reader's own memory manager, used when the host offers none: blocks from the general
// heap with a reference count each. Not thread-safe: it serves one thread at a time. The host
// calls it directly, so no slot throws: exhaustion shows as a null block.
#ifndef RECFILEREADER_HOST_MEMMGRCPP_H
#define RECFILEREADER_HOST_MEMMGRCPP_H

#include <cstdint>
#include <map>

#include "recfilereader/hostservices.h"

namespace recfilereader {

class CMemMgrCpp final : public IRCMemoryMgr, public IRCMemoryLock {
 public:
  CMemMgrCpp() = default;
  ~CMemMgrCpp();
  CMemMgrCpp(const CMemMgrCpp&) = delete;
  CMemMgrCpp& operator=(const CMemMgrCpp&) = delete;

  void* Allocate(std::size_t size, DWORD flags) noexcept override;
  // A block this manager did not hand out yields null and is left alone.
  void* Reallocate(void* block, std::size_t size) noexcept override;
  void Free(void* block) noexcept override { Unlock(block); }

  void Lock(void* block) noexcept override;
  // At count 0 the block is freed. Blocks it did not hand out are ignored.
  void Unlock(void* block) noexcept override;
  bool IsShared(void* block) noexcept override;

  std::size_t live_blocks() const { return counts_.size(); }

 private:
  std::map<void*, std::int32_t> counts_;  // node-based: a record re-keys without allocating
};

}  // namespace recfilereader

#endif  // RECFILEREADER_HOST_MEMMGRCPP_H
