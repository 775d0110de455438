#include "data/packagesearch.h"

#include <algorithm>
#include <optional>

#include "platform/bytes.h"

namespace recfilereader {

namespace {

// True while the position lies inside the data in `direction`.
bool InsideData(std::uint64_t position, ULONG direction, std::uint64_t data_start, std::uint64_t data_end) {
  return direction == kReadForward ? position < data_end : position > data_start;
}

}  // namespace

bool ReadPackageInDirection(CRecStream& stream, ULONG direction, std::uint64_t data_start,
                            std::uint64_t data_end, CDataPackage& package) {
  if (direction != kReadForward && direction != kReadBackward) return false;
  RecBlock& block = package.read_block();
  for (std::uint64_t position = stream.GetPosition(); InsideData(position, direction, data_start, data_end);) {
    // Only a package's extended header is read now: its data waits in the file until it is
    // handed out, and then goes straight into the host's buffer.
    if (direction == kReadForward) {
      stream.ReadBlockForward(block, kExtendedPackageHeaderSize);
    } else {
      stream.ReadBlockBackward(block, kExtendedPackageHeaderSize);
    }
    if (block.header.Type == kBlockData) {
      package.Load(block, &block.payload, &stream);
      return true;
    }
    const std::uint64_t moved_to = stream.GetPosition();
    // A stream that stands still would hold the search here for ever.
    if (moved_to == position) return false;
    position = moved_to;
  }
  return false;
}

namespace {

// A block's header and, for a second-format data block, its package's timestamp, read together.
struct PeekedBlock {
  RecBlockHeader header;
  std::optional<std::uint64_t> timestamp;  // nullopt: too short for its extended header
};

PeekedBlock PeekBlock(CRecStream& stream, std::uint64_t offset) {
  constexpr std::size_t kPeekSize = kBlockHeaderSize + kExtendedTimestampOffset + sizeof(std::uint64_t);
  std::uint8_t raw[kPeekSize] = {};
  const std::uint64_t left = stream.GetFileSize() > offset ? stream.GetFileSize() - offset : 0;
  const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kPeekSize, std::max<std::uint64_t>(left, kBlockHeaderSize)));
  stream.SetPosition(offset);
  stream.ReadData(raw, count);  // a header cut off by the end of the file fails here
  PeekedBlock peeked{RecBlockHeader::DecodeFrom(raw), std::nullopt};
  if (peeked.header.Tag != kTagExtendedPackage) {
    peeked.timestamp = peeked.header.Link;
  } else if (peeked.header.DataLength >= kExtendedPackageHeaderSize && count == kPeekSize) {
    peeked.timestamp = LoadLe64(raw + kBlockHeaderSize + kExtendedTimestampOffset);
  }
  return peeked;
}

}  // namespace

bool SkipToTimestamp(CRecStream& stream, std::uint64_t timestamp, std::uint64_t data_end) {
  for (std::uint64_t at = stream.GetPosition(); at < data_end;) {
    const PeekedBlock block = PeekBlock(stream, at);
    const bool lands = !block.header.IsReadable() ||
                       (block.header.Type == kBlockData && (!block.timestamp || *block.timestamp >= timestamp));
    if (lands) {
      stream.SetPosition(at);
      return true;
    }
    at += block.header.TotalSize();
  }
  return false;
}

}  // namespace recfilereader
