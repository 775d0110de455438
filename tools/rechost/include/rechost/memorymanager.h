// The memory manager the reader allocates package buffers through: the C heap, so that what the
// reader hands out is freed with this manager and nothing else.
#ifndef RECHOST_MEMORYMANAGER_H
#define RECHOST_MEMORYMANAGER_H

#include "recfilereader/hostservices.h"

namespace rechost {

class MemoryManager final : public IExMemoryMgr {
 public:
  void* Allocate(std::size_t size, DWORD flags) override;
  void* Reallocate(void* block, std::size_t size) override;
  void Free(void* block) override;
};

}  // namespace rechost

#endif  // RECHOST_MEMORYMANAGER_H
