// Helpers of the compound-document tests: documents built sector by sector, documents in memory
// lock bytes, a full walk of a document, and running the independent peers (python3-olefile, gsf).
#ifndef RECFILEREADER_TESTS_PLATFORM_STORAGE_STORAGETESTUTIL_H
#define RECFILEREADER_TESTS_PLATFORM_STORAGE_STORAGETESTUTIL_H

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/storage/comobject.h"
#include "platform/storage/storageinterfaces.h"
#include "support/peerprograms.h"

namespace rectest {

using recfilereader::ComPtr;

// The open modes the tests use, and the format identifier of the device property set.
constexpr DWORD kCreate = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kReadWrite = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kRead = STGM_READ | STGM_SHARE_EXCLUSIVE;
constexpr FMTID kDeviceFmtid = {0x71CCAC61, 0x82F1, 0x415D, {0xA1, 0xA0, 0x26, 0x85, 0xB3, 0x8C, 0x3C, 0x44}};

// Compound documents built sector by sector, independent of the library's writer: every header
// field, FAT link and directory entry is placed by the test itself.
constexpr std::uint32_t kEnd = 0xFFFFFFFE;
constexpr std::uint32_t kFree = 0xFFFFFFFF;
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

// Little-endian `value` of `width` bytes at `p`.
inline void Put(std::uint8_t* p, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

class RawCfb {
 public:
  // A header with the fixed fields of `major` (3 or 4), no FAT, no directory, no mini FAT and
  // no DIFAT, followed by `sectors` zeroed sectors.
  RawCfb(int major, std::uint32_t sectors)
      : sector_size_(major == 4 ? 4096 : 512), bytes_((std::size_t{sectors} + 1) * sector_size_, 0) {
    Put(bytes_.data(), 0xE11AB1A1E011CFD0ull, 8);
    for (const auto& [offset, value, width] : {std::tuple<int, std::uint32_t, int>{0x18, 0x3E, 2}, {0x1A, major, 2}, {0x1C, 0xFFFE, 2},
                                               {0x1E, major == 4 ? 12 : 9, 2}, {0x20, 6, 2}, {0x30, kEnd, 4}, {0x38, 4096, 4},
                                               {0x3C, kEnd, 4}, {0x44, kEnd, 4}}) {
      Put(bytes_.data() + offset, value, width);
    }
    for (std::size_t i = 0; i < 109; ++i) Header32(0x4C + 4 * i, kFree);
  }

  std::vector<std::uint8_t>& bytes() { return bytes_; }
  std::uint8_t* Sector(std::uint32_t n) { return bytes_.data() + (std::size_t{n} + 1) * sector_size_; }

  void Header16(std::size_t offset, std::uint16_t value) { Put(bytes_.data() + offset, value, 2); }
  void Header32(std::size_t offset, std::uint32_t value) { Put(bytes_.data() + offset, value, 4); }

  // Makes `fat_sectors` the FAT, listed in the header slots (and, past 109, in the DIFAT
  // sectors `difat_sectors`); every entry FREESECT except the FAT's and DIFAT's own marks.
  void UseFat(const std::vector<std::uint32_t>& fat_sectors, const std::vector<std::uint32_t>& difat_sectors = {}) {
    fat_sectors_ = fat_sectors;
    const std::uint32_t per_sector = sector_size_ / 4;
    for (std::uint32_t s : fat_sectors) std::fill(Sector(s), Sector(s) + sector_size_, 0xFF);
    Header32(0x2C, static_cast<std::uint32_t>(fat_sectors.size()));
    for (std::size_t i = 0; i < fat_sectors.size() && i < 109; ++i) Header32(0x4C + 4 * i, fat_sectors[i]);
    Header32(0x44, difat_sectors.empty() ? kEnd : difat_sectors[0]);
    Header32(0x48, static_cast<std::uint32_t>(difat_sectors.size()));
    for (std::size_t d = 0; d < difat_sectors.size(); ++d) {
      for (std::uint32_t i = 0; i + 1 < per_sector; ++i) {
        const std::size_t index = 109 + d * (per_sector - 1) + i;
        Put(Sector(difat_sectors[d]) + 4 * i, index < fat_sectors.size() ? fat_sectors[index] : kFree, 4);
      }
      Put(Sector(difat_sectors[d]) + 4 * (per_sector - 1), d + 1 < difat_sectors.size() ? difat_sectors[d + 1] : kEnd, 4);
    }
    for (std::uint32_t s : fat_sectors) Link(s, 0xFFFFFFFD);
    for (std::uint32_t s : difat_sectors) Link(s, 0xFFFFFFFC);
  }
  void Link(std::uint32_t sector, std::uint32_t next) {
    Put(Sector(fat_sectors_.at(sector / (sector_size_ / 4))) + 4 * (sector % (sector_size_ / 4)), next, 4);
  }
  // Links the sectors in the order given, the last to ENDOFCHAIN.
  void Chain(const std::vector<std::uint32_t>& sectors) {
    for (std::size_t i = 0; i < sectors.size(); ++i) Link(sectors[i], i + 1 < sectors.size() ? sectors[i + 1] : kEnd);
  }
  // Directory entry `slot` of directory sector `sector`.
  void Entry(std::uint32_t sector, std::uint32_t slot, const RawEntry& e) {
    std::uint8_t* p = Sector(sector) + 128 * slot;
    std::fill(p, p + 128, 0);
    for (std::size_t i = 0; i < e.name.size() && i < 32; ++i) Put(p + 2 * i, e.name[i], 2);
    Put(p + 0x40, e.name.empty() ? 0 : 2 * (e.name.size() + 1), 2);
    p[0x42] = e.type;
    p[0x43] = e.color;
    for (const auto& [offset, value] : {std::pair{0x44, e.left}, {0x48, e.right}, {0x4C, e.child}, {0x74, e.start}}) {
      Put(p + offset, value, 4);
    }
    Put(p + 0x78, e.size, 8);
  }

 private:
  std::uint32_t sector_size_;
  std::vector<std::uint32_t> fat_sectors_;
  std::vector<std::uint8_t> bytes_;
};


ComPtr<ILockBytes> MemoryLockBytes(const std::vector<std::uint8_t>& bytes = {});
std::vector<std::uint8_t> ContentsOf(ILockBytes* lock_bytes);

// Opens `bytes` as a document; the result of StgOpenStorageOnILockBytes.
HRESULT OpenDocument(const std::vector<std::uint8_t>& bytes, ComPtr<IStorage>* root,
                     DWORD mode = STGM_READ | STGM_SHARE_EXCLUSIVE);

struct Element {
  std::string path;  // names joined with '/', UTF-8
  bool storage = false;
  std::uint64_t size = 0;
  std::uint32_t crc = 0;  // CRC-32 of a stream's bytes
  bool operator==(const Element&) const = default;
};

// Every element under `root`, depth first in enumeration order, each stream read whole.
// With `skip_damaged`, streams that fail to open as damaged are left out instead of failing.
HRESULT WalkDocument(IStorage* root, std::vector<Element>* out, bool skip_damaged = false,
                     const std::string& prefix = "");
// The paths WalkDocument gives, which it must give without failing.
std::vector<std::string> ElementPaths(IStorage* root);
// Opens and walks `bytes`, expecting both to succeed; sorted by path when `sorted`.
std::vector<Element> ListDocument(const std::vector<std::uint8_t>& bytes, bool sorted = false);

std::vector<std::uint8_t> ReadStreamAt(IStorage* storage, const wchar_t* name);
void WriteStream(IStorage* storage, const wchar_t* name, const std::vector<std::uint8_t>& data);

// Byte i is (seed + i * 7) mod 256.
std::vector<std::uint8_t> Pattern(std::size_t count, std::uint8_t seed);
std::uint32_t Crc32(const std::vector<std::uint8_t>& bytes);

// gsf, when installed (empty otherwise).
std::string GsfProgram();

// What python3-olefile lists of `file` cut after each of `cuts` bytes (the whole file when none),
// sorted by path: the elements it reads without an error, nothing when it cannot open the file.
// `strict` makes olefile refuse the file on every defect and parsing issue it knows.
std::map<std::size_t, std::vector<Element>> OlefileListings(const std::string& python,
                                                             const std::filesystem::path& file, bool strict,
                                                             const std::vector<std::size_t>& cuts = {});

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_PLATFORM_STORAGE_STORAGETESTUTIL_H
