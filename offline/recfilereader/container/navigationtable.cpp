#include "container/navigationtable.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "base/exceptions.h"
#include "container/recstream.h"
#include "platform/bytes.h"

namespace recfilereader {
namespace {

// Records staged at a time, so that a large table never needs its whole payload in memory.
constexpr std::size_t kStagedRecords = 65'536;
// The reader tunes the end of a table it reads by up to two entries past the last: room for
// them spares a copy of the whole table.
constexpr std::size_t kTuningEntries = 2;

// Adds `count` records from `records`, each stored offset less `offset_base`.
void AddRecords(const std::uint8_t* records, std::size_t count, std::uint64_t offset_base, NavigationMap& map) {
  for (const std::uint8_t* record = records; count > 0; --count, record += kNavigationRecordSize) {
    const std::uint64_t stored = LoadLe64(record + 16);
    if (stored < offset_base) continue;  // names no place in the file
    map.Add(LoadLe64(record + 8), stored - offset_base);
  }
}

// The header of the block at the position, when a whole header lies there; the position stays.
std::optional<RecBlockHeader> PeekHeader(CRecStream& stream) {
  const std::uint64_t start = stream.GetPosition();
  if (stream.GetFileSize() - start < kBlockHeaderSize) return std::nullopt;
  std::uint8_t raw[kBlockHeaderSize];
  stream.ReadData(raw, kBlockHeaderSize);
  stream.SetPosition(start);
  return RecBlockHeader::DecodeFrom(raw);
}

// A run of navigation blocks read into a map. The entry for timestamp 0, which a whole table
// drops, is held aside instead of going to the front of a large array only to be taken out.
class NavigationRun {
 public:
  explicit NavigationRun(NavigationMap& map) : map_(map) {}

  void Read(CRecStream& stream, std::uint64_t offset);
  // The map as read so far, with the entry for timestamp 0 when `keep_zero`.
  void Finish(bool keep_zero);

 private:
  void ReadBlock(CRecStream& stream, const RecBlockHeader& header);
  void Add(const std::uint8_t* records, std::size_t count);

  NavigationMap& map_;
  std::optional<std::uint64_t> zero_;  // the offset of the first record for timestamp 0
};

void NavigationRun::Read(CRecStream& stream, std::uint64_t offset) {
  if (offset > stream.GetFileSize()) throw exception_rec(L"Navigation data offset is invalid");
  stream.SetPosition(offset);
  RecBlock block;
  for (;;) {
    if (stream.GetPosition() == stream.GetFileSize()) {
      throw exception_rec(L"Reached end of file, navigation data was not loaded completely");
    }
    const std::optional<RecBlockHeader> header = PeekHeader(stream);
    if (header && header->IsReadable() && header->Type == kBlockNavigation) {
      ReadBlock(stream, *header);
      continue;
    }
    // Anything else goes through the block stream, which checks it and fails as it should.
    stream.ReadBlockForward(block);
    if (block.header.Type == kBlockFiller) continue;
    if (block.header.Type != kBlockNavigation) break;
    Add(block.payload.data(), block.payload.size() / kNavigationRecordSize);
  }
}

// Reads the navigation block at the position through a staging buffer straight into the map,
// so that a large table never needs its whole payload in memory, and moves past it.
// REQUIRES: a readable navigation block header at the position.
void NavigationRun::ReadBlock(CRecStream& stream, const RecBlockHeader& header) {
  const std::uint64_t payload = stream.GetPosition() + kBlockHeaderSize;
  stream.SetPosition(payload);
  // A length the file cannot hold fails here, as a block read would, before anything is taken.
  stream.file().CheckReadable(header.DataLength);
  std::size_t count = header.DataLength / kNavigationRecordSize;
  map_.Reserve(count + kTuningEntries);
  std::vector<std::uint8_t> staging(std::min(count, kStagedRecords) * kNavigationRecordSize);
  const std::size_t held = map_.held();
  const std::optional<std::uint64_t> zero = zero_;
  try {
    while (count > 0) {
      const std::size_t staged = std::min(count, kStagedRecords);
      stream.ReadData(staging.data(), static_cast<std::uint32_t>(staged * kNavigationRecordSize));
      Add(staging.data(), staged);
      count -= staged;
    }
  } catch (...) {
    // A block that fails to read adds nothing, as when it is read whole.
    map_.Truncate(held);
    zero_ = zero;
    throw;
  }
  stream.SetPosition(payload + header.DataLength);  // bytes short of a record are ignored
}

void NavigationRun::Add(const std::uint8_t* records, std::size_t count) {
  for (const std::uint8_t* record = records; count > 0; --count, record += kNavigationRecordSize) {
    const std::uint64_t timestamp = LoadLe64(record + 8);
    const std::uint64_t offset = LoadLe64(record + 16);
    if (timestamp != 0) {
      map_.Add(timestamp, offset);
    } else if (!zero_) {
      zero_ = offset;
    }
  }
}

void NavigationRun::Finish(bool keep_zero) {
  map_.Normalize();
  if (!keep_zero) {
    map_.Erase(0);  // one the map held before the run
  } else if (zero_ && (map_.empty() || map_.begin()->first != 0)) {
    map_.Set(0, *zero_);
  }
}

}  // namespace

void ReadNavigationData(CRecStream& stream, std::uint64_t offset, NavigationMap& map) {
  NavigationRun run(map);
  try {
    run.Read(stream, offset);
  } catch (...) {
    run.Finish(true);  // the caller may keep what was read
    throw;
  }
  run.Finish(false);
}

void AddNavigationRecords(const RecBlock& block, std::uint64_t offset_base, NavigationMap& map) {
  const std::size_t count = block.payload.size() / kNavigationRecordSize;
  map.Reserve(count);
  AddRecords(block.payload.data(), count, offset_base, map);
}

std::uint64_t WriteNavigationTable(CRecStream& stream, RecBlockChainWriter& writer,
                                   const NavigationMap& map, std::uint32_t records_per_block) {
  const std::uint64_t first = stream.GetPosition();
  records_per_block = std::clamp<std::uint32_t>(records_per_block, 1, kMaxNavigationRecordsPerBlock);
  auto entry = map.begin();
  std::size_t remaining = map.size();
  std::vector<std::uint8_t> staging;
  do {
    const std::size_t count = std::min<std::size_t>(remaining, records_per_block);
    RecBlock block;
    block.header.Type = kBlockNavigation;
    const auto length = static_cast<std::uint32_t>(count * kNavigationRecordSize);
    writer.Write(stream, block, length, [&] {
      for (std::size_t left = count; left > 0;) {
        const std::size_t staged = std::min(left, kStagedRecords);
        staging.resize(staged * kNavigationRecordSize);
        for (std::size_t i = 0; i < staged; ++i, ++entry) {
          std::uint8_t* record = staging.data() + i * kNavigationRecordSize;
          StoreLe64(record, ~0ull);
          StoreLe64(record + 8, entry->first);
          StoreLe64(record + 16, entry->second);
        }
        stream.WriteData(staging.data(), static_cast<std::uint32_t>(staging.size()));
        left -= staged;
      }
    });
    remaining -= count;
  } while (remaining > 0);
  return first;
}

void NavigationIndexer::Add(std::uint64_t timestamp, std::uint64_t offset) {
  const bool index = map_.empty() || (rule_ == Rule::kWriter ? timestamp - largest_ > kSpacing
                                                             : timestamp - largest_ >= kSpacing);
  if (index) {
    map_.Add(timestamp, offset);
    largest_ = std::max(largest_, timestamp);
  }
  have_last_ = true;
  last_timestamp_ = timestamp;
  last_offset_ = offset;
}

void NavigationIndexer::Finish() {
  if (have_last_) map_.Add(last_timestamp_, last_offset_);
  map_.Normalize();
}

}  // namespace recfilereader
