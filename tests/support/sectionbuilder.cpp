#include "support/sectionbuilder.h"

namespace rectest {

BlockSpec NavigationBlock(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& records, std::size_t trailing) {
  BlockSpec block{.type = 0xCB0F};
  for (const auto& [timestamp, offset] : records) {
    for (std::uint64_t field : {std::uint64_t{~0ull}, timestamp, offset}) AppendLe(block.payload, field, 8);
  }
  block.payload.resize(block.payload.size() + trailing, 0x5A);
  return block;
}

BlockSpec MarkerBlock(std::uint64_t timestamp, bool version10, std::size_t size) {
  BlockSpec block{.type = 0xCB6E, .payload = PlainPayload(version10 ? 24 : 0, 7)};
  AppendLe(block.payload, timestamp, 8);
  block.payload.resize(size, 0x77);
  return block;
}

Bytes MarkerInfoRecord(const MarkerInfo& record) {
  Bytes out;
  for (auto [value, size] : {std::pair<std::uint64_t, std::size_t>{record.mark, 4}, {record.timestamp, 8},
                             {record.kind, 4}, {record.length.value_or(record.data.size()), 4}}) {
    AppendLe(out, value, size);
  }
  out.insert(out.end(), record.data.begin(), record.data.end());
  return out;
}

BlockSpec MarkerInfoBlock(const std::vector<MarkerInfo>& records) {
  BlockSpec block{.type = 0xCB61};
  for (const MarkerInfo& record : records) {
    const Bytes bytes = MarkerInfoRecord(record);
    block.payload.insert(block.payload.end(), bytes.begin(), bytes.end());
  }
  return block;
}

Bytes OffsetList(const std::vector<std::uint64_t>& offsets) {
  Bytes out;
  for (std::uint64_t offset : offsets) AppendLe(out, offset, 8);
  return out;
}

Bytes Audio(std::size_t sample_bytes) {
  Bytes out;
  // format 1 (PCM), 1 channel, 8000 samples/s, 16000 bytes/s, 2-byte blocks, 16 bits, no extra
  for (auto [value, size] : {std::pair{1, 2}, {1, 2}, {8000, 4}, {16000, 4}, {2, 2}, {16, 2}, {0, 2}}) {
    AppendLe(out, static_cast<std::uint64_t>(value), static_cast<std::size_t>(size));
  }
  out.resize(out.size() + sample_bytes, 0);
  return out;
}

Bytes MetadataRecord(const MetadataItemSpec& item) {
  Bytes out;
  for (auto [value, size] : {std::pair<std::uint64_t, std::size_t>{item.mark, 4}, {item.type_code, 4}, {item.id, 8},
                             {item.kind, 4}, {item.length.value_or(item.data.size()), 4}}) {
    AppendLe(out, value, size);
  }
  out.insert(out.end(), item.data.begin(), item.data.end());
  return out;
}

Bytes MetadataReference(std::uint32_t type_code, const std::vector<std::uint64_t>& offsets) {
  return MetadataRecord({.type_code = type_code, .id = ~0ull, .kind = 0x710FFFFF, .data = OffsetList(offsets)});
}

std::vector<std::uint64_t> AddMetadataItems(RecBuilder& rec, const std::vector<MetadataItemSpec>& items) {
  Bytes payload;
  std::vector<std::uint64_t> positions;
  for (const MetadataItemSpec& item : items) {
    positions.push_back(payload.size());
    const Bytes record = MetadataRecord(item);
    payload.insert(payload.end(), record.begin(), record.end());
  }
  const std::uint64_t block = rec.Add({.type = 0xCB9E, .payload = payload});
  for (std::uint64_t& position : positions) position += block + 32;
  return positions;
}

std::uint64_t AddMetadataTable(RecBuilder& rec, const std::vector<std::pair<std::uint32_t, std::uint64_t>>& records,
                               std::uint16_t type) {
  Bytes payload;
  for (const auto& [code, offset] : records) {
    for (auto [value, size] : {std::pair<std::uint64_t, std::size_t>{code, 4}, {~0ull, 4}, {offset, 8}, {~0ull, 8}}) {
      AppendLe(payload, value, size);
    }
  }
  return rec.Add({.type = type, .payload = payload});
}

BlockSpec FileHeaderBlock(int format, std::uint64_t offset_base) {
  // The identifiers in their memory layout: the first three groups little-endian.
  static const std::uint8_t kFormats[3][16] = {
      {0x33, 0x41, 0xF3, 0xFA, 0xC1, 0x87, 0x34, 0x4E, 0xB7, 0x23, 0x8E, 0xE4, 0xB2, 0x7B, 0x29, 0xFA},
      {0x31, 0x97, 0xEA, 0xE7, 0x11, 0x50, 0xF0, 0x46, 0xA4, 0x0A, 0xDF, 0x92, 0x26, 0x4B, 0x97, 0x9F},
      {0x87, 0xB4, 0xCB, 0xF3, 0x4C, 0xC1, 0x91, 0x4D, 0x94, 0x65, 0xA6, 0x72, 0xEB, 0xB4, 0x29, 0x72}};
  Bytes payload(16, 0x5A);
  if (format >= 0 && format < 3) payload.assign(kFormats[format], kFormats[format] + 16);
  payload.resize(24);
  AppendLe(payload, offset_base, 8);
  payload.resize(48);
  return {.type = 0xCBBF, .payload = payload};
}

BlockSpec SectionIndexBlock(std::uint16_t type, const std::vector<std::uint64_t>& slots, std::size_t size) {
  Bytes payload;
  for (std::size_t i = 0; i * 8 + 8 <= size; ++i) AppendLe(payload, i < slots.size() ? slots[i] : 0xE0F0E0F0E0F0E0F0ull, 8);
  return {.type = type, .payload = payload};
}

Bytes WithOffsetBase(const RecBuilder& rec, std::uint64_t offset_base) {
  Bytes bytes = rec.bytes();
  for (const std::uint64_t offset : rec.offsets()) {
    const std::uint64_t link = GetLe(bytes, offset + 16, 8);
    const bool system = GetLe(bytes, offset + 2, 2) != 0xDAB1;
    if (system && link != 0xE0F0E0F0E0F0E0F0ull) PutLe(bytes, offset + 16, link + offset_base, 8);
  }
  return bytes;
}

}  // namespace rectest
