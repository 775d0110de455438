// The sector links of an open compound document and the check of each stream's chain.
// Opening a document checks what every stream depends on (header, DIFAT, FAT, directory); a
// stream's own chain is followed and checked only when the stream is opened, so a damaged
// stream fails alone and the others stay readable. The mini FAT and the mini stream are read
// at the first such check, as far as they are intact, so a document cut short still gives
// every stream whose bytes lie before the cut.
#ifndef RECFILEREADER_PLATFORM_STORAGE_SECTORCHAINS_H
#define RECFILEREADER_PLATFORM_STORAGE_SECTORCHAINS_H

#include <cstdint>
#include <vector>

#include "platform/storage/compoundnode.h"
#include "platform/storage/sectorfile.h"

namespace recfilereader {

class SectorChains {
 public:
  SectorChains() = default;
  // `fat`: the link of every sector inside the file (FREESECT where it is not known);
  // `structure`: a mark for each sector the FAT, DIFAT and directory take. The mini stream is
  // the root entry's chain from `mini_stream_start`, `mini_stream_size` bytes long.
  SectorChains(std::vector<std::uint32_t> fat, std::vector<bool> structure,
               std::uint32_t mini_fat_start, std::uint32_t mini_stream_start,
               std::uint64_t mini_stream_size);

  // Follows the chain of a stream of `size` bytes (more than 0) from `start`, in mini
  // sectors when the size is below the cutoff. Every unit must lie inside the file or the mini
  // stream, none twice, none in the structure, and every byte of the stream before the end of
  // the file. Throws com_error(STG_E_DOCFILECORRUPT) when one of these fails, STG_E_READFAULT
  // when the lock bytes fail.
  StreamSource Check(const SectorFile& file, std::uint32_t start, std::uint64_t size);

 private:
  void LoadMini(const SectorFile& file);
  std::uint32_t Next(std::uint32_t sector) const;
  std::uint64_t MiniPosition(const SectorFile& file, std::uint32_t mini) const;

  std::vector<std::uint32_t> fat_;
  std::vector<bool> structure_;  // after LoadMini also the mini FAT and mini stream sectors
  std::uint32_t mini_fat_start_ = 0;
  std::uint32_t mini_stream_start_ = 0;
  std::uint64_t mini_stream_size_ = 0;
  bool mini_loaded_ = false;
  std::vector<std::uint32_t> mini_fat_;
  std::vector<std::uint64_t> mini_stream_;  // file position of each sector of the mini stream
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_SECTORCHAINS_H
