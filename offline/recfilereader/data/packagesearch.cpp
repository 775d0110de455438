#include "data/packagesearch.h"

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

}  // namespace recfilereader
