// The navigation table: a sparse index from package timestamps to the file offsets of the data
// blocks that carry them, kept in navigation blocks. The reader seeks by timestamp through it
// and takes the recording's first and last packages from it.
//
// A navigation block's payload is a packed array of 24-byte records (bytes short of a whole
// record at the end are ignored), in ascending timestamp order as written:
//   OFFSET  SIZE  FIELD
//        0     8  reserved: written as all ones, never read
//        8     8  timestamp
//       16     8  file offset of the data block's header (1.0 files: plus the offset base)
// Navigation data of a 2.x file is a run of navigation blocks, possibly with fillers between
// them, ended by the first block of any other type.
#ifndef RECFILEREADER_CONTAINER_NAVIGATIONTABLE_H
#define RECFILEREADER_CONTAINER_NAVIGATIONTABLE_H

#include <cstddef>
#include <cstdint>
#include "container/navigationmap.h"
#include "container/recblock.h"

namespace recfilereader {

class CRecStream;
class RecBlockChainWriter;

constexpr std::size_t kNavigationRecordSize = 24;
constexpr std::uint32_t kMaxNavigationRecordsPerBlock = kMaxDataLength / kNavigationRecordSize;

// Reads the navigation data of a 2.x file that starts at `offset` into `map`, then removes the
// entry for timestamp 0. Throws exception_rec "Navigation data offset is invalid" for an offset
// past the file and "Reached end of file, navigation data was not loaded completely" when the
// run reaches the end of the file; block read errors pass on. Entries read before a failure
// stay in the map (the one for timestamp 0 too): the caller decides whether a partial table
// will do. The map is normalized on return, either way.
void ReadNavigationData(CRecStream& stream, std::uint64_t offset, NavigationMap& map);

// Adds the records of one navigation block, each stored offset less `offset_base` (1.0 files;
// 0 otherwise); a record stored below the base is passed over. A timestamp already in the map
// keeps its offset once the caller normalizes the map.
void AddNavigationRecords(const RecBlock& block, std::uint64_t offset_base, NavigationMap& map);

// Writes `map` at the stream's position as navigation blocks through `writer` and returns the
// offset of the first. One block holds all entries up to `records_per_block` (at most what a
// block can carry); more go on into further blocks. An empty map gives one empty block. The
// payload goes out through a staging buffer, never as a whole.
std::uint64_t WriteNavigationTable(CRecStream& stream, RecBlockChainWriter& writer,
                                   const NavigationMap& map,
                                   std::uint32_t records_per_block = kMaxNavigationRecordsPerBlock);

// Builds a navigation map from data blocks met in file order: an entry whenever a package's
// timestamp is far enough past the largest one indexed (a smaller timestamp always is, as the
// unsigned difference wraps), and at the end the last package, so that the table reaches it.
class NavigationIndexer {
 public:
  // The writer indexes a package more than 50,000 past the largest timestamp; the repair, at
  // least 50,000 past it.
  enum class Rule { kWriter, kRepair };

  explicit NavigationIndexer(Rule rule) : rule_(rule) {}

  void Add(std::uint64_t timestamp, std::uint64_t offset);
  // Adds the last package seen unless its timestamp is indexed already, and normalizes the map.
  void Finish();

  // REQUIRES: Finish() since the last Add().
  const NavigationMap& map() const { return map_; }

 private:
  static constexpr std::uint64_t kSpacing = 50'000;

  Rule rule_;
  NavigationMap map_;
  std::uint64_t largest_ = 0;  // the largest timestamp indexed, once map_ has one
  bool have_last_ = false;
  std::uint64_t last_timestamp_ = 0;
  std::uint64_t last_offset_ = 0;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_CONTAINER_NAVIGATIONTABLE_H
