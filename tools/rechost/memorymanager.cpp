#include "rechost/memorymanager.h"

#include <cstdlib>

namespace rechost {

// A zero-byte request still yields a block of its own, so that freeing it is always sound.
void* MemoryManager::Allocate(std::size_t size, DWORD) { return std::malloc(size == 0 ? 1 : size); }

void* MemoryManager::Reallocate(void* block, std::size_t size) { return std::realloc(block, size == 0 ? 1 : size); }

void MemoryManager::Free(void* block) { std::free(block); }

}  // namespace rechost
