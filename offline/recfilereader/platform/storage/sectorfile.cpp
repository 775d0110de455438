#include "platform/storage/sectorfile.h"

#include <algorithm>
#include <cstring>

#include "base/exceptions.h"
#include "platform/hresults.h"
#include "platform/storage/cfbformat.h"

namespace recfilereader {

SectorFile::SectorFile(ILockBytes* lock_bytes, std::uint32_t sector_shift, std::uint64_t file_size)
    : lock_bytes_(lock_bytes), shift_(sector_shift), file_size_(file_size) {
  const std::uint64_t size = 1ull << shift_;
  // The header takes the place of one sector in both versions.
  const std::uint64_t sectors = file_size > size ? (file_size - size + size - 1) / size : 0;
  sector_count_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(sectors, cfb::kMaxRegSect + 1ull));
}

void SectorFile::ReadBytes(std::uint64_t position, std::uint8_t* out, std::size_t count) const {
  std::size_t in_file = 0;
  if (position < file_size_) in_file = static_cast<std::size_t>(std::min<std::uint64_t>(count, file_size_ - position));
  while (in_file > 0) {
    const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(in_file, 0x40000000u));
    ULARGE_INTEGER at;
    at.QuadPart = position;
    ULONG read = 0;
    const HRESULT hr = lock_bytes_->ReadAt(at, out, piece, &read);
    if (FAILED(hr) || read != piece) throw com_error(STG_E_READFAULT);
    out += piece;
    position += piece;
    in_file -= piece;
    count -= piece;
  }
  std::memset(out, 0, count);
}

void SectorFile::ReadSector(std::uint32_t sector, std::uint8_t* out) const {
  ReadBytes((static_cast<std::uint64_t>(sector) + 1) << shift_, out, sector_size());
}

std::size_t SectorFile::mini_sector_capacity() const {
  return (mini_stream_.size() << shift_) >> cfb::kMiniSectorShift;
}

void SectorFile::ReadChain(const std::vector<std::uint32_t>& chain, std::uint64_t offset,
                           std::uint8_t* out, std::size_t count) const {
  const std::uint64_t mask = sector_size() - 1;
  while (count > 0) {
    std::size_t index = static_cast<std::size_t>(offset >> shift_);
    const std::uint64_t within = offset & mask;
    // Gather the run of consecutive sectors that the rest of the request touches.
    std::uint64_t run_bytes = sector_size() - within;
    while (run_bytes < count && index + 1 < chain.size() && chain[index + 1] == chain[index] + 1) {
      ++index;
      run_bytes += sector_size();
    }
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(run_bytes, count));
    const std::uint32_t first = chain[static_cast<std::size_t>(offset >> shift_)];
    ReadBytes(((static_cast<std::uint64_t>(first) + 1) << shift_) + within, out, piece);
    out += piece;
    offset += piece;
    count -= piece;
  }
}

void SectorFile::ReadStream(const StreamSource& source, std::uint64_t offset, std::uint8_t* out,
                            std::size_t count) const {
  if (!source.mini) {
    ReadChain(source.chain, offset, out, count);
    return;
  }
  while (count > 0) {
    const std::uint32_t mini = source.chain[static_cast<std::size_t>(offset >> cfb::kMiniSectorShift)];
    const std::uint64_t within = offset & (cfb::kMiniSectorSize - 1);
    const std::size_t piece =
        static_cast<std::size_t>(std::min<std::uint64_t>(cfb::kMiniSectorSize - within, count));
    // A mini sector never straddles two sectors: sector sizes are multiples of 64.
    ReadChain(mini_stream_, (static_cast<std::uint64_t>(mini) << cfb::kMiniSectorShift) + within, out,
              piece);
    out += piece;
    offset += piece;
    count -= piece;
  }
}

}  // namespace recfilereader
