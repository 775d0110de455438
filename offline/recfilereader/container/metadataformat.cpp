#include "container/metadataformat.h"

#include <array>

#include "platform/bytes.h"

namespace recfilereader {
namespace {

constexpr std::array<std::uint32_t, kMetadataTypeCount> kCodes = {
    kMetadataCodeProperties, kMetadataCodeUnused1, kMetadataCodeVideoPreview, kMetadataCodeMarkers,
    kMetadataCodeUnused4};

}  // namespace

std::optional<std::uint32_t> MetadataTypeOfCode(std::uint32_t code) {
  for (std::uint32_t type = 0; type < kCodes.size(); ++type) {
    if (kCodes[type] == code) return type;
  }
  return std::nullopt;
}

std::uint32_t MetadataCodeOfType(std::uint32_t type) { return kCodes.at(type); }

MetadataRecordHeader MetadataRecordHeader::DecodeFrom(const std::uint8_t* in) {
  MetadataRecordHeader header;
  header.mark = LoadLe32(in);
  header.type_code = LoadLe32(in + 4);
  header.id = LoadLe64(in + 8);
  header.kind = LoadLe32(in + 16);
  header.length = LoadLe32(in + 20);
  return header;
}

void MetadataRecordHeader::EncodeTo(std::uint8_t* out) const {
  StoreLe32(out, mark);
  StoreLe32(out + 4, type_code);
  StoreLe64(out + 8, id);
  StoreLe32(out + 16, kind);
  StoreLe32(out + 20, length);
}

}  // namespace recfilereader
