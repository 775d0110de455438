#include "data/navigationtuning.h"

#include <limits>

#include "base/exceptions.h"
#include "base/location.h"
#include "container/recstream.h"
#include "data/datapackage.h"
#include "data/packagesearch.h"
#include "recfilereader/data.h"

namespace recfilereader {

namespace {

constexpr SourceTag kWhere{"recfilereader", "CRecFileReader::TuneNaviData"};
constexpr std::uint64_t kLargestTimestamp = std::numeric_limits<std::uint64_t>::max();

// Reads packages in `direction` until one with a non-zero timestamp; false when none is left
// within the bounds. A package whose lengths do not fit its block is passed over like one
// without a timestamp, so that one damaged package does not keep the recording from opening.
bool ReadToNonZeroTimestamp(CRecStream& stream, ULONG direction, std::uint64_t start, std::uint64_t end,
                            CDataPackage& package) {
  for (;;) {
    try {
      if (!ReadPackageInDirection(stream, direction, start, end, package)) return false;
      if (package.timestamp() != 0) return true;
    } catch (const exception_rec_corrupted& failure) {
      if (!IsPackageDataCorruption(failure)) throw;
    }
  }
}

// The front: the first package with a non-zero timestamp, searched up to the end of the file
// rather than to the untuned last entry, so that a table of one entry still finds its package.
void TuneFront(CRecStream& stream, NavigationMap& map, CDataPackage& package) {
  stream.SetPosition(map.begin()->second);
  if (!ReadToNonZeroTimestamp(stream, kReadForward, map.begin()->second, stream.GetFileSize(), package))
    throw exception_rt(LocatedText(L"Failed to read the first data block with non-zero timestamp", kWhere));
  const std::uint64_t first = package.timestamp();
  map.EraseBelow(first);
  map.Set(first, package.position());
}

// The back: the package at the last entry, or the nearest one before it.
void TuneBack(CRecStream& stream, NavigationMap& map, CDataPackage& package) {
  const auto [last_timestamp, last_position] = *map.rbegin();
  const std::uint64_t data_start = map.begin()->second;
  stream.SetPosition(last_position);
  // A provisional end one past the last entry limits the forward search to the block there.
  if (last_timestamp != kLargestTimestamp) map.Set(last_timestamp + 1, last_position + 1);
  bool found = false;
  try {
    found = ReadToNonZeroTimestamp(stream, kReadForward, data_start, last_position + 1, package);
  } catch (const exception_rec_corrupted&) {
    // A damaged block at the last entry: the data then ends with the package before it.
  }
  if (!found) {
    stream.SetPosition(last_position);
    found = ReadToNonZeroTimestamp(stream, kReadBackward, data_start, last_position, package);
  }
  if (!found)
    throw exception_rt(LocatedText(L"Failed to read the last data block with non-zero timestamp", kWhere));
  const std::uint64_t last = package.timestamp();
  // The end entry's key is one past the last timestamp; none fits past the largest one.
  if (last == kLargestTimestamp) throw exception_rec_corrupted();
  map.EraseAbove(last);
  map.Set(last, package.position());
  map.Set(last + 1, package.next_position());
}

}  // namespace

void TuneNaviData(CRecStream& stream, NavigationMap& map, CDataPackage& package) {
  if (map.empty()) throw exception_rec(L"Navigation data not loaded");
  TuneFront(stream, map, package);
  TuneBack(stream, map, package);
}

}  // namespace recfilereader
