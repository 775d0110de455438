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

// Reads the navigation block at the position through a staging buffer straight into `map`, so
// that a large table never needs its whole payload in memory, and moves past it.
// REQUIRES: a readable navigation block header at the position.
void ReadNavigationBlock(CRecStream& stream, const RecBlockHeader& header, NavigationMap& map) {
  const std::uint64_t payload = stream.GetPosition() + kBlockHeaderSize;
  stream.SetPosition(payload);
  // A length the file cannot hold fails here, as a block read would, before anything is taken.
  stream.file().CheckReadable(header.DataLength);
  std::size_t count = header.DataLength / kNavigationRecordSize;
  map.Reserve(count + kTuningEntries);
  std::vector<std::uint8_t> staging(std::min(count, kStagedRecords) * kNavigationRecordSize);
  const std::size_t before = map.held();
  try {
    while (count > 0) {
      const std::size_t staged = std::min(count, kStagedRecords);
      stream.ReadData(staging.data(), static_cast<std::uint32_t>(staged * kNavigationRecordSize));
      AddRecords(staging.data(), staged, 0, map);
      count -= staged;
    }
  } catch (...) {
    map.Truncate(before);  // a block that fails to read adds nothing, as a whole block read
    throw;
  }
  stream.SetPosition(payload + header.DataLength);  // bytes short of a record are ignored
}

void ReadNavigationBlocks(CRecStream& stream, std::uint64_t offset, NavigationMap& map) {
  if (offset > stream.GetFileSize()) throw exception_rec(L"Navigation data offset is invalid");
  stream.SetPosition(offset);
  RecBlock block;
  for (;;) {
    if (stream.GetPosition() == stream.GetFileSize()) {
      throw exception_rec(L"Reached end of file, navigation data was not loaded completely");
    }
    const std::optional<RecBlockHeader> header = PeekHeader(stream);
    if (header && header->IsReadable() && header->Type == kBlockNavigation) {
      ReadNavigationBlock(stream, *header, map);
      continue;
    }
    // Anything else goes through the block stream, which checks it and fails as it should.
    stream.ReadBlockForward(block);
    if (block.header.Type == kBlockFiller) continue;
    if (block.header.Type != kBlockNavigation) break;
    AddNavigationRecords(block, 0, map);
  }
}

}  // namespace

void ReadNavigationData(CRecStream& stream, std::uint64_t offset, NavigationMap& map) {
  try {
    ReadNavigationBlocks(stream, offset, map);
  } catch (...) {
    map.Normalize();  // the caller may keep what was read
    throw;
  }
  map.Normalize();
  map.Erase(0);
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
