#include "base/sharedbuffer.h"

#include <sys/mman.h>

#include <cstring>
#include <new>

namespace recfilereader {

namespace {

// Arrays from this size on are mapped from the system and given back to it when released. Left
// to the allocator, the cache's entry buffers (loaded on the worker thread, often freed on the
// reading one) raise its mapping threshold and end up in its arenas, which keep the memory: a
// cache held at 64 MiB then kept twice that resident.
constexpr std::size_t kMappedSize = 1 << 20;

std::shared_ptr<std::uint8_t[]> MapArray(std::size_t size) {
  void* mapped = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  auto* array = static_cast<std::uint8_t*>(mapped);
  try {
    // Unmaps the array itself when the control block cannot be had.
    return std::shared_ptr<std::uint8_t[]>(array, [size](std::uint8_t* p) { ::munmap(p, size); });
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// Not value-initialised: the caller fills the bytes at once, and zeroing a 4 MiB cache entry
// before reading into it would cost as much as the copy.
std::shared_ptr<std::uint8_t[]> NewArray(std::size_t size) {
  if (size >= kMappedSize) return MapArray(size);
  std::uint8_t* array = new (std::nothrow) std::uint8_t[size];
  if (array == nullptr) return nullptr;
  try {
    return std::shared_ptr<std::uint8_t[]>(array);  // takes ownership even when that fails
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

bool CSharedBuffer::Grow(std::size_t size) {
  std::shared_ptr<std::uint8_t[]> storage = NewArray(size);
  if (storage == nullptr) return false;
  std::uint8_t* array = storage.get();
  if (size_ > 0) std::memcpy(array, storage_.get(), size_);
  storage_ = std::move(storage);
  size_ = size;
  capacity_ = size;
  return true;
}

}  // namespace recfilereader
