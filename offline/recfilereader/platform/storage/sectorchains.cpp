#include "platform/storage/sectorchains.h"

#include <algorithm>
#include <utility>

#include "base/exceptions.h"
#include "platform/bytes.h"
#include "platform/hresults.h"
#include "platform/storage/cfbformat.h"

namespace recfilereader {

namespace {

[[noreturn]] void Corrupt() { throw com_error(STG_E_DOCFILECORRUPT); }

std::uint64_t CeilDiv(std::uint64_t value, std::uint64_t unit) {
  return value / unit + (value % unit != 0 ? 1 : 0);
}

}  // namespace

SectorChains::SectorChains(std::vector<std::uint32_t> fat, std::vector<bool> structure,
                           std::uint32_t mini_fat_start, std::uint32_t mini_stream_start,
                           std::uint64_t mini_stream_size)
    : fat_(std::move(fat)),
      structure_(std::move(structure)),
      mini_fat_start_(mini_fat_start),
      mini_stream_start_(mini_stream_start),
      mini_stream_size_(mini_stream_size) {}

std::uint32_t SectorChains::Next(std::uint32_t sector) const {
  return sector < fat_.size() ? fat_[sector] : cfb::kFreeSect;
}

// Both chains are taken as far as they are intact: a sector outside the file, one already
// taken or the end mark ends them. Their sectors then belong to the structure.
void SectorChains::LoadMini(const SectorFile& file) {
  mini_loaded_ = true;
  const std::uint64_t wanted = CeilDiv(mini_stream_size_, file.sector_size());
  for (std::uint32_t s = mini_stream_start_; mini_stream_.size() < wanted && s < structure_.size() && !structure_[s];
       s = Next(s)) {
    structure_[s] = true;
    mini_stream_.push_back(file.SectorPosition(s));
  }
  const std::uint64_t capacity = std::uint64_t{mini_stream_.size()} << (file.sector_shift() - cfb::kMiniSectorShift);
  std::vector<std::uint8_t> bytes(file.sector_size());
  for (std::uint32_t s = mini_fat_start_; mini_fat_.size() < capacity && s < structure_.size() && !structure_[s];
       s = Next(s)) {
    structure_[s] = true;
    file.ReadSector(s, bytes.data(), 0xFF);  // links cut off read as free
    for (std::size_t i = 0; i < bytes.size(); i += 4) mini_fat_.push_back(LoadLe32(bytes.data() + i));
  }
}

std::uint64_t SectorChains::MiniPosition(const SectorFile& file, std::uint32_t mini) const {
  const std::uint32_t per_sector_shift = file.sector_shift() - cfb::kMiniSectorShift;
  const std::uint64_t within = mini & ((1u << per_sector_shift) - 1);
  return mini_stream_[mini >> per_sector_shift] + (within << cfb::kMiniSectorShift);
}

StreamSource SectorChains::Check(const SectorFile& file, std::uint32_t start, std::uint64_t size) {
  if (!mini_loaded_) LoadMini(file);
  const bool mini = size < cfb::kMiniStreamCutoff;
  StreamSource source;
  source.start = start;
  source.unit_shift = mini ? cfb::kMiniSectorShift : file.sector_shift();
  const std::uint64_t unit = 1ull << source.unit_shift;
  const std::uint64_t count = CeilDiv(size, unit);
  const std::vector<std::uint32_t>& links = mini ? mini_fat_ : fat_;
  const std::uint64_t limit =
      mini ? std::uint64_t{mini_stream_.size()} << (file.sector_shift() - cfb::kMiniSectorShift) : file.sector_count();
  if (count > limit) Corrupt();
  std::vector<std::uint32_t> chain;
  chain.reserve(static_cast<std::size_t>(count));
  for (std::uint32_t at = start; chain.size() < count; at = at < links.size() ? links[at] : cfb::kFreeSect) {
    if (at >= limit || (!mini && structure_[at])) Corrupt();
    chain.push_back(at);
  }
  std::vector<std::uint32_t> sorted = chain;
  std::sort(sorted.begin(), sorted.end());
  if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) Corrupt();  // a loop
  source.positions.reserve(chain.size());
  for (std::size_t i = 0; i < chain.size(); ++i) {
    const std::uint64_t position = mini ? MiniPosition(file, chain[i]) : file.SectorPosition(chain[i]);
    const std::uint64_t used = i + 1 < chain.size() ? unit : size - (count - 1) * unit;
    if (position + used > file.file_size()) Corrupt();  // the document was cut inside the stream
    source.positions.push_back(position);
  }
  source.checked = true;
  return source;
}

}  // namespace recfilereader
