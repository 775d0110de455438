#include "container/recfilelayout.h"

#include "platform/bytes.h"
#include "platform/storage/cfbformat.h"

namespace recfilereader {

namespace {

constexpr std::size_t kOffsetBaseOffset = 24;
constexpr std::size_t kSlotSize = 8;

std::vector<std::uint8_t> FormatThenZeros(const GUID& format, std::size_t size) {
  std::vector<std::uint8_t> payload(size, 0);
  cfb::EncodeGuid(payload.data(), format);
  return payload;
}

}  // namespace

std::optional<RecFileHeader> RecFileHeader::Decode(std::span<const std::uint8_t> payload) {
  if (payload.size() != kFileHeaderPayloadSize) return std::nullopt;
  RecFileHeader header;
  header.format = cfb::DecodeGuid(payload.data());
  header.offset_base = LoadLe64(payload.data() + kOffsetBaseOffset);
  return header;
}

std::vector<std::uint8_t> RecFileHeader::Encode(const GUID& format) {
  return FormatThenZeros(format, kFileHeaderPayloadSize);
}

bool IsRecFormat(const GUID& format) {
  return format == kRecFormatFirst || format == kRecFormatSecond || format == kRecFormatThird;
}

std::vector<std::uint64_t> DecodeSectionIndex(std::span<const std::uint8_t> payload) {
  std::vector<std::uint64_t> slots(payload.size() / kSlotSize);
  for (std::size_t i = 0; i < slots.size(); ++i) slots[i] = LoadLe64(payload.data() + i * kSlotSize);
  return slots;
}

std::vector<std::uint8_t> EncodeSectionIndex(std::span<const std::uint64_t> slots, std::size_t size) {
  std::vector<std::uint8_t> payload(size);
  for (std::size_t i = 0; i * kSlotSize + kSlotSize <= size; ++i) {
    StoreLe64(payload.data() + i * kSlotSize, i < slots.size() ? slots[i] : kRecEndMark);
  }
  return payload;
}

std::vector<std::uint8_t> EncodeEndBlock(const GUID& format) {
  return FormatThenZeros(format, kEndBlockPayloadSize);
}

}  // namespace recfilereader
