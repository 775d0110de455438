// Compound documents built sector by sector for tests, independent of the library's writer:
// every header field, FAT link and directory entry is placed by the test itself.
#ifndef RECFILEREADER_TESTS_PLATFORM_STORAGE_RAWCFB_H
#define RECFILEREADER_TESTS_PLATFORM_STORAGE_RAWCFB_H

#include <cstdint>
#include <string>
#include <vector>

namespace rectest {

constexpr std::uint32_t kEnd = 0xFFFFFFFE;
constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::uint32_t kFatMark = 0xFFFFFFFD;
constexpr std::uint32_t kDifMark = 0xFFFFFFFC;
constexpr std::uint32_t kNone = 0xFFFFFFFF;

struct RawEntry {
  std::u16string name;
  std::uint8_t type = 2;  // 1 storage, 2 stream, 5 root
  std::uint8_t color = 1;
  std::uint32_t left = kNone;
  std::uint32_t right = kNone;
  std::uint32_t child = kNone;
  std::uint32_t start = kEnd;
  std::uint64_t size = 0;
};

class RawCfb {
 public:
  // A header with the fixed fields of `major` (3 or 4), no FAT, no directory, no mini FAT and
  // no DIFAT, followed by `sectors` zeroed sectors.
  RawCfb(int major, std::uint32_t sectors);

  std::uint32_t sector_size() const { return sector_size_; }
  std::vector<std::uint8_t>& bytes() { return bytes_; }
  std::uint8_t* Sector(std::uint32_t n) { return bytes_.data() + (std::size_t{n} + 1) * sector_size_; }

  void Header16(std::size_t offset, std::uint16_t value);
  void Header32(std::size_t offset, std::uint32_t value);

  // Makes `fat_sectors` the FAT, listed in the header slots (and, past 109, in the DIFAT
  // sectors `difat_sectors`); every entry FREESECT except the FAT's and DIFAT's own marks.
  void UseFat(const std::vector<std::uint32_t>& fat_sectors,
              const std::vector<std::uint32_t>& difat_sectors = {});
  void Link(std::uint32_t sector, std::uint32_t next);
  // Links the sectors in the order given, the last to ENDOFCHAIN.
  void Chain(const std::vector<std::uint32_t>& sectors);
  // Directory entry `slot` of directory sector `sector`.
  void Entry(std::uint32_t sector, std::uint32_t slot, const RawEntry& e);
  // Fills `count` bytes at `offset` inside the file with a pattern starting at `seed`.
  void Fill(std::size_t offset, std::size_t count, std::uint8_t seed);

 private:
  std::uint32_t sector_size_;
  std::vector<std::uint32_t> fat_sectors_;
  std::vector<std::uint8_t> bytes_;
};

// The pattern Fill writes: byte i is (seed + i * 7) mod 256.
std::vector<std::uint8_t> Pattern(std::size_t count, std::uint8_t seed);

// A small version-3 document used as the base of many tests:
//   sector 0 FAT, 1 directory, 2 mini FAT, 3 mini stream, 4..12 stream "Big" (4100 bytes,
//   sectors placed in the order 4, 6, 5, 7, 8, ... to need a real chain walk).
//   entries: 0 root (mini stream 3, 128 bytes), 1 "Small" (100 bytes at mini 0, 1; left 2),
//   2 "Big" (4100 bytes from sector 4), 3 unused.
RawCfb SmallDocument();

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_PLATFORM_STORAGE_RAWCFB_H
