#include "support/metadatabuilder.h"

namespace rectest {
namespace {

void Append(std::vector<std::uint8_t>& out, std::uint64_t v, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

}  // namespace

std::vector<std::uint8_t> MetadataRecord(const MetadataItemSpec& item) {
  std::vector<std::uint8_t> out;
  Append(out, item.mark, 4);
  Append(out, item.type_code, 4);
  Append(out, item.id, 8);
  Append(out, item.kind, 4);
  Append(out, item.length.value_or(static_cast<std::uint32_t>(item.data.size())), 4);
  out.insert(out.end(), item.data.begin(), item.data.end());
  return out;
}

std::vector<std::uint8_t> MetadataReference(std::uint32_t type_code, const std::vector<std::uint64_t>& offsets) {
  MetadataItemSpec record{.type_code = type_code, .id = ~0ull, .kind = 0x710FFFFF};
  for (const std::uint64_t offset : offsets) Append(record.data, offset, 8);
  return MetadataRecord(record);
}

std::vector<std::uint64_t> MetadataBuilder::AddItems(const std::vector<MetadataItemSpec>& items) {
  std::vector<std::uint8_t> payload;
  std::vector<std::uint64_t> positions;
  for (const MetadataItemSpec& item : items) {
    positions.push_back(payload.size());
    const std::vector<std::uint8_t> record = MetadataRecord(item);
    payload.insert(payload.end(), record.begin(), record.end());
  }
  const std::uint64_t block = rec_.Add({.type = 0xCB9E, .payload = payload});
  for (std::uint64_t& position : positions) position += block + 32;
  return positions;
}

std::uint64_t MetadataBuilder::AddReferenceBlock(const std::vector<std::uint8_t>& payload, std::uint16_t type) {
  return rec_.Add({.type = type, .payload = payload});
}

std::uint64_t MetadataBuilder::AddTable(const std::vector<std::pair<std::uint32_t, std::uint64_t>>& records,
                                        std::uint16_t type) {
  std::vector<std::uint8_t> payload;
  for (const auto& [code, offset] : records) {
    Append(payload, code, 4);
    Append(payload, ~0ull, 4);
    Append(payload, offset, 8);
    Append(payload, ~0ull, 8);
  }
  return rec_.Add({.type = type, .payload = payload});
}

}  // namespace rectest
