// A byte sequence kept in pages of 1 MiB, each page taken from the system's virtual memory on
// its own, so that a large buffer never needs one contiguous block and never moves when it
// grows. Byte o lies in page o >> 20 at o & 0xFFFFF. Shared through std::shared_ptr by the
// blob objects and the lock bytes that present it to compound documents. Not thread-safe.
#ifndef RECFILEREADER_PROPERTIES_COMPOSITEBUFFER_H
#define RECFILEREADER_PROPERTIES_COMPOSITEBUFFER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace recfilereader {

class CCompositeBuffer {
 public:
  static constexpr std::size_t kPageShift = 20;
  static constexpr std::size_t kPageSize = std::size_t{1} << kPageShift;

  CCompositeBuffer() = default;
  ~CCompositeBuffer();
  CCompositeBuffer(const CCompositeBuffer&) = delete;
  CCompositeBuffer& operator=(const CCompositeBuffer&) = delete;

  std::size_t GetSize() const { return size_; }
  std::size_t GetPageCount() const { return pages_.size(); }

  // Takes or gives back pages so that exactly the pages `size` needs are held. Bytes that the
  // growth adds read as zero. False when a page cannot be had; the buffer is then unchanged.
  [[nodiscard]] bool Resize(std::size_t size);
  // Copies `count` bytes at `offset`, across pages as needed. False when the range does not
  // lie within the size.
  [[nodiscard]] bool Write(std::size_t offset, const void* data, std::size_t count);
  [[nodiscard]] bool Read(std::size_t offset, void* buffer, std::size_t count) const;

 private:
  template <class Copy>
  void ForEachPiece(std::size_t offset, std::size_t count, Copy&& copy) const;
  void ReleasePagesFrom(std::size_t first);

  std::vector<std::uint8_t*> pages_;
  std::size_t size_ = 0;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PROPERTIES_COMPOSITEBUFFER_H
