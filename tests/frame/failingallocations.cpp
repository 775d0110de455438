// Allocation-failure injection for the frame tests: replaces operator new in this test program.
// From FailAllocationsAfter(n) on, operator new on the calling thread fails once n more
// allocations have succeeded; n = -1 lets every allocation through again.
#include <cstdlib>
#include <new>

namespace {
thread_local long allocations_left = -1;  // -1: not armed
}  // namespace

namespace rectest {
void FailAllocationsAfter(long allowed) { allocations_left = allowed; }
}  // namespace rectest

// Every unaligned form is replaced, so that all blocks from malloc go back to free.
void* operator new(std::size_t size) {
  if (allocations_left == 0) throw std::bad_alloc();
  if (allocations_left > 0) --allocations_left;
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return ::operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& nothrow) noexcept { return ::operator new(size, nothrow); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
