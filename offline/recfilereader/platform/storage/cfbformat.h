// The on-disk records of a compound document: the header, directory entries, the special
// sector numbers and the element-name order. Every integer is little-endian; records are
// decoded and encoded field by field.
#ifndef RECFILEREADER_PLATFORM_STORAGE_CFBFORMAT_H
#define RECFILEREADER_PLATFORM_STORAGE_CFBFORMAT_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/hresults.h"
#include "recfilereader/compat.h"

namespace recfilereader::cfb {

constexpr std::array<std::uint8_t, 8> kSignature = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Sector numbers with a meaning of their own (in the FAT, mini FAT, DIFAT and header).
constexpr std::uint32_t kMaxRegSect = 0xFFFFFFFA;
constexpr std::uint32_t kDifSect = 0xFFFFFFFC;
constexpr std::uint32_t kFatSect = 0xFFFFFFFD;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFreeSect = 0xFFFFFFFF;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;  // no sibling / no child

constexpr std::size_t kHeaderSize = 512;
constexpr std::size_t kHeaderDifatSlots = 109;
constexpr std::size_t kDirEntrySize = 128;
constexpr std::uint32_t kMiniSectorShift = 6;
constexpr std::uint32_t kMiniSectorSize = 1u << kMiniSectorShift;
constexpr std::uint32_t kMiniStreamCutoff = 4096;  // streams shorter than this live in mini sectors
constexpr std::size_t kMaxNameUnits = 31;           // UTF-16 units, without the terminator
constexpr std::uint16_t kMinorVersion = 0x003E;
constexpr std::uint16_t kByteOrderMark = 0xFFFE;

enum EntryType : std::uint8_t { kUnused = 0, kStorage = 1, kStream = 2, kRoot = 5 };
enum EntryColor : std::uint8_t { kRed = 0, kBlack = 1 };

// Header, the first 512 bytes of the file (version 4 pads it with zeros to 4096).
//   OFFSET SIZE FIELD
//   0x00   8    signature D0 CF 11 E0 A1 B1 1A E1
//   0x08   16   header class id (zero)
//   0x18   2    minor version (0x3E)
//   0x1A   2    major version (3: 512-byte sectors, 4: 4096-byte sectors)
//   0x1C   2    byte order mark 0xFFFE
//   0x1E   2    sector shift (9 or 12)
//   0x20   2    mini sector shift (6)
//   0x22   6    reserved
//   0x28   4    directory sector count (version 4 only; 0 in version 3)
//   0x2C   4    FAT sector count
//   0x30   4    first directory sector
//   0x34   4    transaction signature
//   0x38   4    mini stream cutoff (4096)
//   0x3C   4    first mini FAT sector
//   0x40   4    mini FAT sector count
//   0x44   4    first DIFAT sector
//   0x48   4    DIFAT sector count
//   0x4C   436  the first 109 FAT sector numbers
struct Header {
  static constexpr std::size_t kEncodedSize = kHeaderSize;

  std::uint16_t minor_version = kMinorVersion;
  std::uint16_t major_version = 3;
  std::uint16_t sector_shift = 9;
  std::uint16_t mini_sector_shift = kMiniSectorShift;
  std::uint32_t directory_sector_count = 0;
  std::uint32_t fat_sector_count = 0;
  std::uint32_t first_directory_sector = kEndOfChain;
  std::uint32_t transaction_signature = 0;
  std::uint32_t mini_stream_cutoff = kMiniStreamCutoff;
  std::uint32_t first_mini_fat_sector = kEndOfChain;
  std::uint32_t mini_fat_sector_count = 0;
  std::uint32_t first_difat_sector = kEndOfChain;
  std::uint32_t difat_sector_count = 0;
  std::array<std::uint32_t, kHeaderDifatSlots> difat{};

  Header() { difat.fill(kFreeSect); }

  std::uint32_t sector_size() const { return 1u << sector_shift; }

  // Decodes and checks the fixed fields. Throws com_error: STG_E_FILEALREADYEXISTS when the
  // bytes are not a compound document at all, STG_E_INVALIDHEADER when a fixed field is wrong.
  static Header DecodeFrom(std::span<const std::uint8_t> bytes);
  // Writes the 512 header bytes.
  void EncodeTo(std::span<std::uint8_t, kEncodedSize> out) const;
};

// Directory entry, 128 bytes.
//   OFFSET SIZE FIELD
//   0x00   64   name, UTF-16LE, at most 31 units and a terminator, zero filled
//   0x40   2    name length in bytes including the terminator
//   0x42   1    type (0 unused, 1 storage, 2 stream, 5 root)
//   0x43   1    color (0 red, 1 black)
//   0x44   4    left sibling
//   0x48   4    right sibling
//   0x4C   4    child (root of the storage's sibling tree)
//   0x50   16   class id
//   0x60   4    state bits
//   0x64   8    creation time
//   0x6C   8    modification time
//   0x74   4    start sector
//   0x78   8    stream size (version 3 uses only the low 32 bits)
struct DirectoryEntry {
  static constexpr std::size_t kEncodedSize = kDirEntrySize;

  std::u16string name;
  std::uint8_t type = kUnused;
  std::uint8_t color = kRed;
  std::uint32_t left = kNoStream;
  std::uint32_t right = kNoStream;
  std::uint32_t child = kNoStream;
  CLSID clsid = GUID_NULL;
  std::uint32_t state_bits = 0;
  FILETIME ctime{0, 0};
  FILETIME mtime{0, 0};
  std::uint32_t start_sector = 0;
  std::uint64_t size = 0;

  // Decodes one entry. The name is read up to its terminator; a name-length field that does
  // not fit the name field is ignored rather than trusted. Version 3 sizes keep their low half.
  static DirectoryEntry DecodeFrom(std::span<const std::uint8_t, kEncodedSize> in,
                                   std::uint16_t major_version);
  // Encodes the entry; the name must already be valid (at most 31 units).
  void EncodeTo(std::span<std::uint8_t, kEncodedSize> out) const;
};

GUID DecodeGuid(const std::uint8_t* p);
void EncodeGuid(std::uint8_t* p, const GUID& guid);

// The order of element names inside a storage: a shorter name is smaller; names of equal
// length compare unit by unit after simple Unicode upper-casing (SimpleUpper of
// platform/unicodecase.h), as unsigned 16-bit numbers.
int CompareNames(std::u16string_view a, std::u16string_view b);

// Element names between their file form (UTF-16 units) and wide text, without loss: a
// surrogate pair becomes one character, a lone surrogate keeps its unit value, so every name
// read from a file can be given back to find the element again. NameFromWide answers false
// for a character beyond U+10FFFF.
std::wstring NameToWide(std::u16string_view name);
bool NameFromWide(std::wstring_view text, std::u16string* name);

// True when `name` may name an element: 1 to 31 units and none of / \ : !
bool IsValidElementName(std::u16string_view name);

}  // namespace recfilereader::cfb

#endif  // RECFILEREADER_PLATFORM_STORAGE_CFBFORMAT_H
