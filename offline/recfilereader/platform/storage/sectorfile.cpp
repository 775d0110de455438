#include "platform/storage/sectorfile.h"

#include <algorithm>
#include <cstring>

#include "base/exceptions.h"
#include "platform/hresults.h"
#include "platform/storage/cfbformat.h"

namespace recfilereader {

SectorFile::SectorFile(ILockBytes* lockBytes, std::uint32_t sectorShift, std::uint64_t fileSize)
    : lockBytes_(lockBytes), shift_(sectorShift), fileSize_(fileSize) {
  const std::uint64_t size = 1ull << shift_;
  // The header takes the place of one sector in both versions.
  const std::uint64_t sectors = fileSize > size ? (fileSize - size + size - 1) / size : 0;
  sectorCount_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(sectors, cfb::kMaxRegSect + 1ull));
}

void SectorFile::ReadBytes(std::uint64_t position, std::uint8_t* out, std::size_t count) const {
  std::size_t inFile = 0;
  if (position < fileSize_) inFile = static_cast<std::size_t>(std::min<std::uint64_t>(count, fileSize_ - position));
  while (inFile > 0) {
    const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(inFile, 0x40000000u));
    ULARGE_INTEGER at;
    at.QuadPart = position;
    ULONG read = 0;
    const HRESULT hr = lockBytes_->ReadAt(at, out, piece, &read);
    if (FAILED(hr) || read != piece) throw com_error(STG_E_READFAULT);
    out += piece;
    position += piece;
    inFile -= piece;
    count -= piece;
  }
  std::memset(out, 0, count);
}

void SectorFile::ReadSector(std::uint32_t sector, std::uint8_t* out) const {
  ReadBytes((static_cast<std::uint64_t>(sector) + 1) << shift_, out, sectorSize());
}

std::size_t SectorFile::miniSectorCapacity() const {
  return (miniStream_.size() << shift_) >> cfb::kMiniSectorShift;
}

void SectorFile::ReadChain(const std::vector<std::uint32_t>& chain, std::uint64_t offset,
                           std::uint8_t* out, std::size_t count) const {
  const std::uint64_t mask = sectorSize() - 1;
  while (count > 0) {
    std::size_t index = static_cast<std::size_t>(offset >> shift_);
    const std::uint64_t within = offset & mask;
    // Gather the run of consecutive sectors that the rest of the request touches.
    std::uint64_t runBytes = sectorSize() - within;
    while (runBytes < count && index + 1 < chain.size() && chain[index + 1] == chain[index] + 1) {
      ++index;
      runBytes += sectorSize();
    }
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(runBytes, count));
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
    ReadChain(miniStream_, (static_cast<std::uint64_t>(mini) << cfb::kMiniSectorShift) + within, out,
              piece);
    out += piece;
    offset += piece;
    count -= piece;
  }
}

}  // namespace recfilereader
