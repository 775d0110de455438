// The layout of a REC file above its blocks: how a reader finds the sections.
//
// Every version starts with the file header block (kBlockFileHeader), 48 bytes of payload:
//   OFFSET  SIZE  FIELD
//        0    16  format identifier, one of the three below, in the GUID's memory layout
//       16     8  reserved, zero
//       24     8  offset base (1.0 files only; written as zero)
//       32    16  reserved, zero
// Filler blocks may follow; the first block of any other type is the version block:
//   kBlockConfiguration  1.0: the configuration block itself starts the system-block chain,
//                        and every stored offset in the file is the file offset plus the base;
//   kBlockSectionIndex20 2.0: four u64 section offsets (32 bytes);
//   kBlockSectionIndex21 2.1: sixteen u64 slots (128 bytes), kRecEndMark where unused.
// The end block (kBlockEnd) carries the writer's format identifier and 24 zero bytes.
#ifndef RECFILEREADER_CONTAINER_RECFILELAYOUT_H
#define RECFILEREADER_CONTAINER_RECFILELAYOUT_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "container/recblock.h"
#include "recfilereader/compat.h"

namespace recfilereader {

// The three format identifiers. Only recordings signed with the second may hold compressed
// packages; writers sign with the second when asked for it, else with the first.
constexpr GUID kRecFormatFirst = {0xFAF34133, 0x87C1, 0x4E34, {0xB7, 0x23, 0x8E, 0xE4, 0xB2, 0x7B, 0x29, 0xFA}};
constexpr GUID kRecFormatSecond = {0xE7EA9731, 0x5011, 0x46F0, {0xA4, 0x0A, 0xDF, 0x92, 0x26, 0x4B, 0x97, 0x9F}};
constexpr GUID kRecFormatThird = {0xF3CBB487, 0xC14C, 0x4D91, {0x94, 0x65, 0xA6, 0x72, 0xEB, 0xB4, 0x29, 0x72}};

constexpr std::size_t kFileHeaderPayloadSize = 48;
constexpr std::size_t kEndBlockPayloadSize = 40;
constexpr std::size_t kSectionIndex20Size = 32;
constexpr std::size_t kSectionIndex21Size = 128;

// Slots of the section index.
enum SectionSlot : std::size_t {
  kSlotConfiguration = 0,
  kSlotNavigation = 1,
  kSlotMarkers = 2,
  kSlotMetadata = 3,  // 2.1 only
};

struct RecFileHeader {
  GUID format{};
  std::uint64_t offset_base = 0;

  // Nullopt unless `payload` is exactly kFileHeaderPayloadSize bytes.
  static std::optional<RecFileHeader> Decode(std::span<const std::uint8_t> payload);
  // The 48-byte payload a writer lays down: the identifier, all else zero.
  static std::vector<std::uint8_t> Encode(const GUID& format);
};

// True for one of the three identifiers.
bool IsRecFormat(const GUID& format);

// The slots of a section index payload (its length / 8 of them, whole slots only).
std::vector<std::uint64_t> DecodeSectionIndex(std::span<const std::uint8_t> payload);
// `slots` followed by end marks up to `size` bytes.
std::vector<std::uint8_t> EncodeSectionIndex(std::span<const std::uint64_t> slots, std::size_t size);

// The end block's payload: the identifier, then zeros.
std::vector<std::uint8_t> EncodeEndBlock(const GUID& format);

}  // namespace recfilereader

#endif  // RECFILEREADER_CONTAINER_RECFILELAYOUT_H
