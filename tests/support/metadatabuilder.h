// Builds the metadata section of a version 2.1 file byte by byte on a RecBuilder, independently
// of the library's metadata writer: items inside metadata blocks, reference blocks listing item
// offsets, and the table block. Marks, kinds and lengths can be forced to damaged values.
#ifndef RECFILEREADER_TESTS_SUPPORT_METADATABUILDER_H
#define RECFILEREADER_TESTS_SUPPORT_METADATABUILDER_H

#include <cstdint>
#include <optional>
#include <vector>

#include "support/recbuilder.h"

namespace rectest {

struct MetadataItemSpec {
  std::uint32_t type_code = 0x9D000000;
  std::uint64_t id = 0;
  std::uint32_t kind = 0x710CCCCC;
  std::vector<std::uint8_t> data{};
  std::uint32_t mark = 0x91919191;
  std::optional<std::uint32_t> length{};  // the data is written as given regardless
};

// A record header and its data (items and reference records share the layout).
std::vector<std::uint8_t> MetadataRecord(const MetadataItemSpec& item);
// One reference record listing `offsets`.
std::vector<std::uint8_t> MetadataReference(std::uint32_t type_code, const std::vector<std::uint64_t>& offsets);

class MetadataBuilder {
 public:
  explicit MetadataBuilder(RecBuilder& rec) : rec_(rec) {}

  // A metadata block holding `items` back to back; the offset of each item header.
  std::vector<std::uint64_t> AddItems(const std::vector<MetadataItemSpec>& items);
  // A reference block with `payload` (records from MetadataReference, or damage); its offset.
  std::uint64_t AddReferenceBlock(const std::vector<std::uint8_t>& payload, std::uint16_t type = 0xCB9E);
  // A table block with one record per (type code, reference offset); its offset.
  std::uint64_t AddTable(const std::vector<std::pair<std::uint32_t, std::uint64_t>>& records,
                         std::uint16_t type = 0xCB9D);

 private:
  RecBuilder& rec_;
};

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_SUPPORT_METADATABUILDER_H
