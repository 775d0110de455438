#include "data/packagesearch.h"

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
    if (direction == kReadForward) {
      stream.ReadBlockForward(block);
    } else {
      stream.ReadBlockBackward(block);
    }
    if (block.header.Type == kBlockData) {
      package.Load(block, &block.payload);
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

// The timestamp of the data block whose header is `header` at `offset`, or nullopt when the
// block is too short for its extended header.
std::optional<std::uint64_t> PeekTimestamp(CRecStream& stream, std::uint64_t offset, const RecBlockHeader& header) {
  if (header.Tag != kTagExtendedPackage) return header.Link;
  if (header.DataLength < kExtendedPackageHeaderSize) return std::nullopt;
  std::uint8_t raw[sizeof(std::uint64_t)];
  stream.SetPosition(offset + kBlockHeaderSize + kExtendedTimestampOffset);
  stream.ReadData(raw, sizeof raw);
  return LoadLe64(raw);
}

}  // namespace

bool SkipToTimestamp(CRecStream& stream, std::uint64_t timestamp, std::uint64_t data_end) {
  for (std::uint64_t at = stream.GetPosition(); at < data_end;) {
    const RecBlockHeader header = stream.ReadHeaderAt(at);
    if (!header.IsReadable()) return true;
    if (header.Type == kBlockData) {
      const std::optional<std::uint64_t> found = PeekTimestamp(stream, at, header);
      if (!found || *found >= timestamp) {
        stream.SetPosition(at);
        return true;
      }
    }
    at += header.TotalSize();
  }
  return false;
}

}  // namespace recfilereader
