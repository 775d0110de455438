#include "support/recbuilder.h"

namespace rectest {

void RecBuilder::PutLe16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void RecBuilder::PutLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  PutLe16(out, static_cast<std::uint16_t>(v & 0xFFFF));
  PutLe16(out, static_cast<std::uint16_t>(v >> 16));
}

void RecBuilder::PutLe64(std::vector<std::uint8_t>& out, std::uint64_t v) {
  PutLe32(out, static_cast<std::uint32_t>(v & 0xFFFFFFFF));
  PutLe32(out, static_cast<std::uint32_t>(v >> 32));
}

std::uint64_t RecBuilder::Add(const BlockSpec& block) {
  const std::uint64_t offset = bytes_.size();
  const bool system = block.type != 0xDAB1;
  if (system && last_system_) {
    // Link the previous system block to this one: Link sits at byte 16 of its header.
    std::vector<std::uint8_t> link;
    PutLe64(link, offset);
    for (int i = 0; i < 8; ++i) bytes_[*last_system_ + 16 + i] = link[i];
  }
  std::uint64_t link = block.link;
  if (system) link = 0xE0F0E0F0E0F0E0F0ull;
  if (block.forced_link) link = *block.forced_link;
  PutLe16(bytes_, block.header_size.value_or(32));
  PutLe16(bytes_, block.type);
  PutLe64(bytes_, block.sequence);
  PutLe32(bytes_, block.prev_size.value_or(last_total_));
  PutLe64(bytes_, link);
  PutLe32(bytes_, block.tag);
  PutLe32(bytes_, block.data_length.value_or(static_cast<std::uint32_t>(block.payload.size())));
  bytes_.insert(bytes_.end(), block.payload.begin(), block.payload.end());
  last_total_ = static_cast<std::uint32_t>(32 + block.payload.size());
  if (system && !block.forced_link) last_system_ = offset;
  offsets_.push_back(offset);
  return offset;
}

void RecBuilder::AddRaw(const std::vector<std::uint8_t>& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

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
