// ReadWindow: reads a block stream's file through a window, so that walking many small blocks
// costs one read per window instead of one or two per block. After a large block the window is
// refilled with little more than the next header, so that large payloads are not read for
// nothing. Borrows the stream; moves its position only when refilling.
#ifndef RECFILEREADER_WRITING_READWINDOW_H
#define RECFILEREADER_WRITING_READWINDOW_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/exceptions.h"
#include "container/recstream.h"
#include "platform/bytes.h"

namespace recfilereader {

class ReadWindow {
 public:
  static constexpr std::size_t kSize = 1 << 20;
  static constexpr std::size_t kHeaderRead = 4096;
  static constexpr std::uint64_t kLargeBlock = 16384;

  // Never holds more than the file: `file_size` bounds the buffer.
  ReadWindow(CRecStream& stream, std::uint64_t file_size)
      : stream_(stream),
        file_size_(file_size),
        bytes_(static_cast<std::size_t>(std::min<std::uint64_t>(kSize, file_size))) {}

  // Blocks like the last one walked are likely to follow.
  void Expect(std::uint64_t block_size) { large_ = block_size >= kLargeBlock; }
  // The `count` bytes at `offset`; the caller checked that the file holds them and that count
  // is at most capacity().
  const std::uint8_t* At(std::uint64_t offset, std::size_t count) {
    if (offset < start_ || offset - start_ + count > filled_) Fill(offset, count);
    return bytes_.data() + (offset - start_);
  }
  // True when the `count` bytes at `offset` are in the window already.
  bool Holds(std::uint64_t offset, std::uint64_t count) const {
    return offset >= start_ && offset - start_ <= filled_ && count <= filled_ - (offset - start_);
  }
  // The `count` bytes at `offset` when the window holds them already; null when it does not.
  const std::uint8_t* Find(std::uint64_t offset, std::size_t count) const {
    return Holds(offset, count) ? bytes_.data() + (offset - start_) : nullptr;
  }
  std::size_t capacity() const { return bytes_.size(); }
  // The timestamp of the data block with `header` at `offset`, which the file holds: from its
  // package's extended header when Tag says it has one (a payload too short for it:
  // exception_rec_corrupted), else Link.
  std::uint64_t DataTimestamp(const RecBlockHeader& header, std::uint64_t offset) {
    if (header.Tag != kTagExtendedPackage) return header.Link;
    if (header.DataLength < kExtendedPackageHeaderSize) throw exception_rec_corrupted();
    return LoadLe64(At(offset + kBlockHeaderSize + kExtendedTimestampOffset, 8));
  }

 private:
  void Fill(std::uint64_t offset, std::size_t count) {
    filled_ = 0;
    start_ = offset;
    const std::size_t wanted = large_ ? std::max(count, kHeaderRead) : bytes_.size();
    const auto size = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(std::min(wanted, bytes_.size()), file_size_ - offset));
    stream_.SetPosition(offset);
    stream_.ReadData(bytes_.data(), size);
    filled_ = size;
  }

  CRecStream& stream_;
  const std::uint64_t file_size_;
  std::vector<std::uint8_t> bytes_;
  std::uint64_t start_ = 0;
  std::size_t filled_ = 0;
  bool large_ = false;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_WRITING_READWINDOW_H
