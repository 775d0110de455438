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

}  // namespace rectest
