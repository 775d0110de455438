#include "base/sharedbuffer.h"

#include <cstring>
#include <new>

namespace recfilereader {

bool CSharedBuffer::Grow(std::size_t size) {
  // Not value-initialised: the caller fills the bytes at once, and zeroing a 4 MiB cache entry
  // before reading into it would cost as much as the copy.
  std::uint8_t* array = new (std::nothrow) std::uint8_t[size];
  if (array == nullptr) return false;
  std::shared_ptr<std::uint8_t[]> storage;
  try {
    storage.reset(array);  // takes ownership even when the control block cannot be had
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (size_ > 0) std::memcpy(array, storage_.get(), size_);
  storage_ = std::move(storage);
  size_ = size;
  capacity_ = size;
  return true;
}

}  // namespace recfilereader
