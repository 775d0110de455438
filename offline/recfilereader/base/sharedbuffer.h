// A reference-counted byte buffer with a size and a capacity. Copies share the bytes. Growing
// beyond the capacity takes a new array (keeping the bytes held so far) and reports a failed
// allocation as false instead of throwing; shrinking only changes the size, so a buffer that is
// reused for reads of varying sizes is reallocated only when a larger size arrives.
#ifndef RECFILEREADER_BASE_SHAREDBUFFER_H
#define RECFILEREADER_BASE_SHAREDBUFFER_H

#include <cstddef>
#include <cstdint>
#include <memory>

namespace recfilereader {

class CSharedBuffer {
 public:
  CSharedBuffer() = default;

  // Sets the size to `size`. False when a larger array was needed and could not be had; the
  // buffer is then unchanged.
  [[nodiscard]] bool Resize(std::size_t size) {
    if (size <= capacity_) {
      size_ = size;
      return true;
    }
    return Grow(size);
  }
  // Drops this holder's share of the bytes: size and capacity become 0.
  void Release() {
    storage_.reset();
    size_ = 0;
    capacity_ = 0;
  }

  std::uint8_t* data() { return storage_.get(); }
  const std::uint8_t* data() const { return storage_.get(); }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  // Holders of the bytes, this one included (0 without bytes).
  long use_count() const { return storage_.use_count(); }

 private:
  bool Grow(std::size_t size);

  std::shared_ptr<std::uint8_t[]> storage_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_BASE_SHAREDBUFFER_H
