// Sector-level reading of a compound document held by lock bytes: sector n starts at
// (n + 1) << shift; a short last sector reads as if zero filled. Streams are read through
// their validated chains, runs of consecutive sectors in one lock-bytes read.
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
  // Sectors that begin inside the file; no valid sector number reaches it.
  std::uint32_t sector_count() const { return sector_count_; }

  // Reads `count` bytes at `position`; bytes past the end of the file read as zeros.
  // A failing lock-bytes read throws com_error(STG_E_READFAULT).
  void ReadBytes(std::uint64_t position, std::uint8_t* out, std::size_t count) const;
  void ReadSector(std::uint32_t sector, std::uint8_t* out) const;

  // The mini stream's own chain, set once the root entry is known.
  void SetMiniStream(std::vector<std::uint32_t> chain) { mini_stream_ = std::move(chain); }
  std::size_t mini_sector_capacity() const;

  // Reads bytes [offset, offset + count) of a stream through its chain. The caller keeps
  // offset + count within the stream's size, which the chain covers.
  void ReadStream(const StreamSource& source, std::uint64_t offset, std::uint8_t* out,
                  std::size_t count) const;

 private:
  void ReadChain(const std::vector<std::uint32_t>& chain, std::uint64_t offset,
                 std::uint8_t* out, std::size_t count) const;

  ILockBytes* lock_bytes_ = nullptr;
  std::uint32_t shift_ = 9;
  std::uint64_t file_size_ = 0;
  std::uint32_t sector_count_ = 0;
  std::vector<std::uint32_t> mini_stream_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_SECTORFILE_H
