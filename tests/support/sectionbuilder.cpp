#include "support/sectionbuilder.h"

namespace rectest {
namespace {

void Put(Bytes& out, std::uint64_t v, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

}  // namespace

BlockSpec NavigationBlock(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& records,
                          std::size_t trailing) {
  BlockSpec block{.type = 0xCB0F};
  for (const auto& [timestamp, offset] : records) {
    for (std::uint64_t field : {std::uint64_t{~0ull}, timestamp, offset}) Put(block.payload, field, 8);
  }
  block.payload.resize(block.payload.size() + trailing, 0x5A);
  return block;
}

BlockSpec MarkerBlock(std::uint64_t timestamp, bool version10, std::size_t size) {
  BlockSpec block{.type = 0xCB6E, .payload = PlainPayload(version10 ? 24 : 0, 7)};
  Put(block.payload, timestamp, 8);
  block.payload.resize(size, 0x77);
  return block;
}

Bytes MarkerInfoRecord(const MarkerInfo& record) {
  Bytes out;
  Put(out, record.mark, 4);
  Put(out, record.timestamp, 8);
  Put(out, record.kind, 4);
  Put(out, record.length.value_or(static_cast<std::uint32_t>(record.data.size())), 4);
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
  for (std::uint64_t offset : offsets) Put(out, offset, 8);
  return out;
}

Bytes Audio(std::size_t sample_bytes) {
  Bytes out;
  // format 1 (PCM), 1 channel, 8000 samples/s, 16000 bytes/s, 2-byte blocks, 16 bits, no extra
  for (auto [value, size] : {std::pair{1, 2}, {1, 2}, {8000, 4}, {16000, 4}, {2, 2}, {16, 2}, {0, 2}}) {
    Put(out, static_cast<std::uint64_t>(value), static_cast<std::size_t>(size));
  }
  out.resize(out.size() + sample_bytes, 0);
  return out;
}

}  // namespace rectest
