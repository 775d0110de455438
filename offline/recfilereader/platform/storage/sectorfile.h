// Sector-level reading of a compound document held by lock bytes: sector n starts at
// (n + 1) << shift. Streams are read through the file positions of their checked chains, runs
// of consecutive units in one lock-bytes read.
#ifndef RECFILEREADER_PLATFORM_STORAGE_SECTORFILE_H
#define RECFILEREADER_PLATFORM_STORAGE_SECTORFILE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/hresults.h"
#include "platform/storage/compoundnode.h"
#include "platform/storage/storageinterfaces.h"

namespace recfilereader {

class SectorFile {
 public:
  SectorFile() = default;
  // `lock_bytes` is not owned and must outlive this object.
  SectorFile(ILockBytes* lock_bytes, std::uint32_t sector_shift, std::uint64_t file_size);

  std::uint32_t sector_shift() const { return shift_; }
  std::uint32_t sector_size() const { return 1u << shift_; }
  std::uint64_t file_size() const { return file_size_; }
  // Sectors that begin inside the file (the last may be cut short); no larger sector number
  // can be read.
  std::uint32_t sector_count() const { return sector_count_; }
  std::uint64_t SectorPosition(std::uint32_t sector) const {
    return (static_cast<std::uint64_t>(sector) + 1) << shift_;
  }

  // Reads `count` bytes at `position`; bytes past the end of the file read as `fill`.
  // A failing lock-bytes read throws com_error(STG_E_READFAULT).
  void ReadBytes(std::uint64_t position, std::uint8_t* out, std::size_t count,
                 std::uint8_t fill = 0) const;
  void ReadSector(std::uint32_t sector, std::uint8_t* out, std::uint8_t fill = 0) const;

  // Reads bytes [offset, offset + count) of a stream through its checked chain. The caller
  // keeps offset + count within the stream's size, which the chain covers.
  void ReadStream(const StreamSource& source, std::uint64_t offset, std::uint8_t* out,
                  std::size_t count) const;

 private:
  ILockBytes* lock_bytes_ = nullptr;
  std::uint32_t shift_ = 9;
  std::uint64_t file_size_ = 0;
  std::uint32_t sector_count_ = 0;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_SECTORFILE_H
