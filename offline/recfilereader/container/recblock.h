// The REC block: a 32-byte header followed by its payload. A REC file is a flat sequence of
// blocks with no padding between them and no checksum; every other structure of the file is
// carried in blocks of some type.
//
// Header, all fields little-endian:
//   OFFSET  SIZE  FIELD
//        0     2  HeaderSize   always 32; any other value makes the block unreadable
//        2     2  Type         RecBlockType
//        4     8  Sequence     data blocks: 0-based package number; other blocks all ones
//                              (not aligned to 8)
//       12     4  PrevSize     32 + payload length of the block written just before this one,
//                              which physically precedes it; 0 for a writer's first block
//       16     8  Link         data blocks (first package format): timestamp; system blocks:
//                              offset of the next system block or kRecEndMark
//       24     4  Tag          data blocks: source handle, or kTagExtendedPackage when the
//                              payload starts with the 72-byte extended package header;
//                              other blocks all ones
//       28     4  DataLength   payload length, at most kMaxDataLength
#ifndef RECFILEREADER_CONTAINER_RECBLOCK_H
#define RECFILEREADER_CONTAINER_RECBLOCK_H

#include <cstddef>
#include <cstdint>

#include "base/sharedbuffer.h"

namespace recfilereader {

enum RecBlockType : std::uint16_t {
  kBlockFileHeader = 0xCBBF,
  kBlockConfiguration = 0xCBF1,
  kBlockSectionIndex20 = 0xCB01,
  kBlockSectionIndex21 = 0xCB02,
  kBlockFiller = 0xCBFA,
  kBlockData = 0xDAB1,
  kBlockNavigation = 0xCB0F,
  kBlockMarker = 0xCB6E,
  kBlockMarkerInfo = 0xCB61,
  kBlockMetadataTable = 0xCB9D,
  kBlockMetadata = 0xCB9E,
  kBlockEnd = 0xCBEF,
};

// True for the twelve types above, the set the backward scan recognises headers by.
bool IsKnownBlockType(std::uint16_t type);

constexpr std::uint32_t kBlockHeaderSize = 32;
constexpr std::uint32_t kMaxDataLength = 104'857'600;  // 100 MiB
// Stands for "no offset" in block links and section offsets.
constexpr std::uint64_t kRecEndMark = 0xE0F0E0F0E0F0E0F0ull;
constexpr std::uint64_t kNoOffset = ~0ull;
constexpr std::uint32_t kTagExtendedPackage = 0xFFFFFFFE;
// Marks a back link that no writer has set yet.
constexpr std::uint32_t kUnsetPrevSize = 0xB0F0B0F0;
// Bytes of the extended package header at the start of a second-format data payload; its
// timestamp is the u64 at kExtendedTimestampOffset.
constexpr std::size_t kExtendedPackageHeaderSize = 72;
constexpr std::size_t kExtendedTimestampOffset = 8;

struct RecBlockHeader {
  std::uint16_t HeaderSize = kBlockHeaderSize;
  std::uint16_t Type = kBlockFiller;
  std::uint64_t Sequence = ~0ull;
  std::uint32_t PrevSize = kUnsetPrevSize;
  std::uint64_t Link = ~0ull;
  std::uint32_t Tag = ~0u;
  std::uint32_t DataLength = 0;

  // `in` and `out` hold kBlockHeaderSize bytes.
  static RecBlockHeader DecodeFrom(const std::uint8_t* in);
  void EncodeTo(std::uint8_t* out) const;
  // A header the block stream can read: the right size and a payload within the limit.
  bool IsReadable() const { return HeaderSize == kBlockHeaderSize && DataLength <= kMaxDataLength; }
  std::uint64_t TotalSize() const { return std::uint64_t{kBlockHeaderSize} + DataLength; }
};

// The in-memory block: what every block operation fills or writes.
struct RecBlock {
  RecBlockHeader header;
  CSharedBuffer payload;
  std::uint64_t Offset = kNoOffset;  // file offset of the header
  std::uint64_t Next = kNoOffset;    // file offset just past the payload
  // Payload bytes a read left in the file behind those in `payload` (see CRecStream): 0 for a
  // whole payload.
  std::uint32_t deferred = 0;

  bool IsSystemBlock() const { return header.Type != kBlockData; }
};

}  // namespace recfilereader

#endif  // RECFILEREADER_CONTAINER_RECBLOCK_H
