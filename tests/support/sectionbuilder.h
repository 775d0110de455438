// Builds the navigation, markers and metadata sections byte by byte and independently of the
// library, for the RecBuilder to lay down: navigation, marker and marker info blocks, stand-alone
// marker info records, metadata items, reference blocks and the metadata table. Marks, kinds and
// lengths can be forced to damaged values.
#ifndef RECFILEREADER_TESTS_SUPPORT_SECTIONBUILDER_H
#define RECFILEREADER_TESTS_SUPPORT_SECTIONBUILDER_H

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "support/recbuilder.h"

namespace rectest {

using Bytes = std::vector<std::uint8_t>;

// (timestamp, offset) records, each with its reserved field of all ones, then `trailing` bytes.
BlockSpec NavigationBlock(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& records,
                          std::size_t trailing = 0);
// The timestamp at payload offset 0 (24 in 1.0 files) of `size` bytes that are otherwise noise.
BlockSpec MarkerBlock(std::uint64_t timestamp, bool version10 = false, std::size_t size = 32);

struct MarkerInfo {
  std::uint64_t timestamp = 0;
  std::uint32_t kind = 0x71030000;  // description
  Bytes data{};
  std::uint32_t mark = 0x71717171;
  std::optional<std::uint32_t> length{};  // forced data length; the data is written as given
};
// The 20-byte header and the data of one record, inline or stand-alone.
Bytes MarkerInfoRecord(const MarkerInfo& record);
BlockSpec MarkerInfoBlock(const std::vector<MarkerInfo>& records);
// The data of a record list.
Bytes OffsetList(const std::vector<std::uint64_t>& offsets);
// The data of an audio record: a mono 8 kHz 16-bit PCM WAVEFORMATEX and `sample_bytes` of silence.
Bytes Audio(std::size_t sample_bytes);

struct MetadataItemSpec {
  std::uint32_t type_code = 0x9D000000;
  std::uint64_t id = 0;
  std::uint32_t kind = 0x710CCCCC;
  Bytes data{};
  std::uint32_t mark = 0x91919191;
  std::optional<std::uint32_t> length{};  // the data is written as given regardless
};
// A record header and its data (items and reference records share the layout).
Bytes MetadataRecord(const MetadataItemSpec& item);
// One reference record listing `offsets`.
Bytes MetadataReference(std::uint32_t type_code, const std::vector<std::uint64_t>& offsets);
// A metadata block holding `items` back to back; the offset of each item header.
std::vector<std::uint64_t> AddMetadataItems(RecBuilder& rec, const std::vector<MetadataItemSpec>& items);
// A table block with one record per (type code, reference block offset); its offset.
std::uint64_t AddMetadataTable(RecBuilder& rec, const std::vector<std::pair<std::uint32_t, std::uint64_t>>& records,
                               std::uint16_t type = 0xCB9D);

// The file header block: format identifier number `format` (0 to 2; any other number gives an
// identifier that is none of them), then the offset base of 1.0 files.
BlockSpec FileHeaderBlock(int format = 0, std::uint64_t offset_base = 0);
// A section index block of `type`: `slots`, then end marks up to `size` bytes.
BlockSpec SectionIndexBlock(std::uint16_t type, const std::vector<std::uint64_t>& slots, std::size_t size);
// The builder's bytes with every system block's forward link raised by `offset_base`, as 1.0
// files store their links.
Bytes WithOffsetBase(const RecBuilder& rec, std::uint64_t offset_base);

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_SUPPORT_SECTIONBUILDER_H
