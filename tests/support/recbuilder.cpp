#include "support/recbuilder.h"

namespace rectest {

void PutLe(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t v, std::size_t size) {
  if (out.size() < at + size) out.resize(at + size);
  for (std::size_t i = 0; i < size; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint64_t GetLe(const std::vector<std::uint8_t>& in, std::size_t at, std::size_t size) {
  std::uint64_t v = 0;
  for (std::size_t i = size; i-- > 0;) v = v << 8 | in.at(at + i);
  return v;
}

std::uint64_t RecBuilder::Add(const BlockSpec& block) {
  const std::uint64_t offset = bytes_.size();
  const bool system = block.type != 0xDAB1;
  if (system && last_system_) PutLe(bytes_, *last_system_ + 16, offset, 8);  // link it forward
  PutLe(bytes_, offset, block.header_size.value_or(32), 2);
  PutLe(bytes_, offset + 2, block.type, 2);
  PutLe(bytes_, offset + 4, block.sequence, 8);
  PutLe(bytes_, offset + 12, block.prev_size.value_or(last_total_), 4);
  PutLe(bytes_, offset + 16, system ? 0xE0F0E0F0E0F0E0F0ull : block.link, 8);
  PutLe(bytes_, offset + 24, block.tag, 4);
  PutLe(bytes_, offset + 28, block.data_length.value_or(static_cast<std::uint32_t>(block.payload.size())), 4);
  bytes_.insert(bytes_.end(), block.payload.begin(), block.payload.end());
  last_total_ = static_cast<std::uint32_t>(32 + block.payload.size());
  if (system) last_system_ = offset;
  offsets_.push_back(offset);
  return offset;
}

void RecBuilder::AddRaw(const std::vector<std::uint8_t>& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void AppendLe(std::vector<std::uint8_t>& out, std::uint64_t v, std::size_t size) { PutLe(out, out.size(), v, size); }

std::vector<std::uint8_t> PlainPayload(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> out(size);
  std::uint32_t state = 0x9E3779B9u ^ seed;
  for (auto& b : out) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(0x40 | ((state >> 24) & 0x3F));  // never 0x20 or 0x00
  }
  return out;
}

}  // namespace rectest
