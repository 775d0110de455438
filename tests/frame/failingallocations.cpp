// Allocation-failure injection for the frame tests: replaces operator new in this test program.
// From FailAllocationsAfter(n) on, operator new on the calling thread fails once n more
// allocations have succeeded; n = -1 lets every allocation through again.
#include <cstdlib>
#include <new>

namespace {

thread_local long allocations_left = -1;  // -1: not armed

void* Take(std::size_t size) noexcept {
  if (allocations_left == 0) return nullptr;
  if (allocations_left > 0) --allocations_left;
  return std::malloc(size == 0 ? 1 : size);
}

void* TakeOrThrow(std::size_t size) {
  if (void* block = Take(size)) return block;
  throw std::bad_alloc();
}

}  // namespace

namespace rectest {
void FailAllocationsAfter(long allowed) { allocations_left = allowed; }
}  // namespace rectest

// Every unaligned form is replaced, so that all blocks from malloc go back to free.
void* operator new(std::size_t size) { return TakeOrThrow(size); }
void* operator new[](std::size_t size) { return TakeOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Take(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Take(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
