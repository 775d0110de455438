// The metadata section of version 2.1 files: a table block listing, per metadata type, the
// offset of a reference block; each reference block lists the file offsets of that type's
// items; each item (kept inside the payload of a metadata block) carries one typed payload.
//
// Table record (24 bytes, payload of a kBlockMetadataTable block, DataLength / 24 of them):
//   OFFSET  SIZE  FIELD
//        0     4  type code (MetadataTypeCode)
//        4     4  reserved, written as all ones
//        8     8  file offset of the type's reference block
//       16     8  reserved, written as all ones
// Record header (24 bytes), the head of a reference record and of an item:
//        0     4  mark kMetadataRecordMark
//        4     4  type code
//        8     8  item identifier (reference records: all ones)
//       16     4  data kind (MetadataDataKind)
//       20     4  data length in bytes; the data follows the header
#ifndef RECFILEREADER_CONTAINER_METADATAFORMAT_H
#define RECFILEREADER_CONTAINER_METADATAFORMAT_H

#include <cstddef>
#include <cstdint>
#include <optional>

namespace recfilereader {

constexpr std::size_t kMetadataTableRecordSize = 24;
constexpr std::size_t kMetadataRecordHeaderSize = 24;
constexpr std::uint32_t kMetadataRecordMark = 0x91919191;

// Type codes as the file stores them; the metadata list numbers them 0 to 4 in this order.
enum MetadataTypeCode : std::uint32_t {
  kMetadataCodeProperties = 0x9D000000,    // 0: recording and system properties
  kMetadataCodeUnused1 = 0x9D0F0000,       // 1
  kMetadataCodeVideoPreview = 0x9D0F000C,  // 2: one preview picture per item
  kMetadataCodeMarkers = 0x9D0C0000,       // 3: marker properties
  kMetadataCodeUnused4 = 0x9D0ABCDE,       // 4
};

// Type numbers of the metadata list.
enum MetadataType : std::uint32_t {
  kMetadataProperties = 0,
  kMetadataVideoPreview = 2,
  kMetadataMarkers = 3,
};
constexpr std::uint32_t kMetadataTypeCount = 5;

enum MetadataDataKind : std::uint32_t {
  kMetadataKindText = 0x71030000,
  kMetadataKindAudio = 0x710A0000,
  kMetadataKindPicture = 0x710D0000,
  kMetadataKindBlob = 0x710CCCCC,
  kMetadataKindOffsets = 0x710FFFFF,  // a reference record's list of u64 item offsets
};

// The type number of a code; empty for a code that is none of the five.
std::optional<std::uint32_t> MetadataTypeOfCode(std::uint32_t code);
// The code of a type number below kMetadataTypeCount.
std::uint32_t MetadataCodeOfType(std::uint32_t type);

struct MetadataRecordHeader {
  std::uint32_t mark = kMetadataRecordMark;
  std::uint32_t type_code = 0;
  std::uint64_t id = ~0ull;
  std::uint32_t kind = 0;
  std::uint32_t length = 0;

  // `in` and `out` hold kMetadataRecordHeaderSize bytes.
  static MetadataRecordHeader DecodeFrom(const std::uint8_t* in);
  void EncodeTo(std::uint8_t* out) const;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_CONTAINER_METADATAFORMAT_H
