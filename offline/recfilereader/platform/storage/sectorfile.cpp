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

void SectorFile::ReadBytes(std::uint64_t position, std::uint8_t* out, std::size_t count,
                           std::uint8_t fill) const {
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
  std::memset(out, fill, count);
}

void SectorFile::ReadSector(std::uint32_t sector, std::uint8_t* out, std::uint8_t fill) const {
  ReadBytes(SectorPosition(sector), out, sector_size(), fill);
}

void SectorFile::ReadStream(const StreamSource& source, std::uint64_t offset, std::uint8_t* out,
                            std::size_t count) const {
  const std::uint32_t shift = source.unit_shift;
  const std::uint64_t unit = 1ull << shift;
  const std::vector<std::uint64_t>& at = source.positions;
  while (count > 0) {
    const std::size_t first = static_cast<std::size_t>(offset >> shift);
    const std::uint64_t within = offset & (unit - 1);
    // Gather the run of units that follow each other in the file.
    std::uint64_t run = unit - within;
    for (std::size_t i = first; run < count && i + 1 < at.size() && at[i + 1] == at[i] + unit; ++i) {
      run += unit;
    }
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(run, count));
    ReadBytes(at[first] + within, out, piece);
    out += piece;
    offset += piece;
    count -= piece;
  }
}

}  // namespace recfilereader
