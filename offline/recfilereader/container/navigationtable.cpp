#include "container/navigationtable.h"

#include <algorithm>
#include <vector>

#include "base/exceptions.h"
#include "container/recstream.h"
#include "platform/bytes.h"

namespace recfilereader {
namespace {

// Records staged at a time when writing, so a large table never needs its whole payload.
constexpr std::size_t kStagedRecords = 65'536;

}  // namespace

void ReadNavigationData(CRecStream& stream, std::uint64_t offset, NavigationMap& map) {
  if (offset > stream.GetFileSize()) throw exception_rec(L"Navigation data offset is invalid");
  stream.SetPosition(offset);
  RecBlock block;
  for (;;) {
    if (stream.GetPosition() == stream.GetFileSize()) {
      throw exception_rec(L"Reached end of file, navigation data was not loaded completely");
    }
    stream.ReadBlockForward(block);
    if (block.header.Type == kBlockFiller) continue;
    if (block.header.Type != kBlockNavigation) break;
    AddNavigationRecords(block, 0, map);
  }
  map.erase(0);
}

void AddNavigationRecords(const RecBlock& block, std::uint64_t offset_base, NavigationMap& map) {
  const std::size_t count = block.payload.size() / kNavigationRecordSize;
  const std::uint8_t* record = block.payload.data();
  for (std::size_t i = 0; i < count; ++i, record += kNavigationRecordSize) {
    const std::uint64_t stored = LoadLe64(record + 16);
    if (stored < offset_base) continue;  // names no place in the file
    // Records come in ascending order, so the end is the right hint; a duplicate is not taken.
    map.emplace_hint(map.end(), LoadLe64(record + 8), stored - offset_base);
  }
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
  const bool index = map_.empty() || (rule_ == Rule::kWriter
                                          ? timestamp - map_.rbegin()->first > kSpacing
                                          : timestamp - map_.rbegin()->first >= kSpacing);
  if (index) map_.emplace(timestamp, offset);
  have_last_ = true;
  last_timestamp_ = timestamp;
  last_offset_ = offset;
}

void NavigationIndexer::Finish() {
  if (have_last_) map_.emplace(last_timestamp_, last_offset_);
}

}  // namespace recfilereader
