#include "container/extendedpackageheader.h"

#include <array>

#include "platform/bytes.h"

namespace recfilereader {

namespace {

constexpr std::size_t kDescriptorOffset = 40;
constexpr std::size_t kDescriptorWords = 8;

std::array<ULONG*, kDescriptorWords> Words(DataPackageDescriptor& d) {
  return {&d.CycleId,         &d.DescriptorWord1, &d.DescriptorWord2, &d.PackageFlags,
          &d.DescriptorWord4, &d.DescriptorWord5, &d.DescriptorWord6, &d.DescriptorWord7};
}

}  // namespace

ExtendedPackageHeader ExtendedPackageHeader::DecodeFrom(const std::uint8_t* in) {
  ExtendedPackageHeader header;
  header.source_handle = LoadLe32(in + 0);
  header.reserved = LoadLe32(in + 4);
  header.timestamp = LoadLe64(in + 8);
  header.data_length = LoadLe32(in + 16);
  header.info1 = LoadLe32(in + 24);
  header.info2 = LoadLe32(in + 28);
  header.extra_length = LoadLe32(in + 32);
  const auto words = Words(header.descriptor);
  for (std::size_t i = 0; i < kDescriptorWords; ++i) *words[i] = LoadLe32(in + kDescriptorOffset + 4 * i);
  return header;
}

void ExtendedPackageHeader::EncodeTo(std::uint8_t* out) const {
  StoreLe32(out + 0, source_handle);
  StoreLe32(out + 4, reserved);
  StoreLe64(out + 8, timestamp);
  StoreLe32(out + 16, data_length);
  StoreLe32(out + 20, 0);
  StoreLe32(out + 24, info1);
  StoreLe32(out + 28, info2);
  StoreLe32(out + 32, extra_length);
  StoreLe32(out + 36, 0);
  auto descriptor_copy = descriptor;
  const auto words = Words(descriptor_copy);
  for (std::size_t i = 0; i < kDescriptorWords; ++i) StoreLe32(out + kDescriptorOffset + 4 * i, *words[i]);
}

ExtendedPackageHeader ExtendedPackageHeader::FromRecord(const DataPackageRecord& record) {
  ExtendedPackageHeader header;
  header.source_handle = record.SourceHandle;
  header.reserved = record.Reserved;
  header.timestamp = record.Timestamp;
  header.data_length = record.DataSize;
  header.info1 = record.Info1;
  header.info2 = record.Info2;
  header.extra_length = record.ExtraSize;
  header.descriptor = record.Descriptor;
  return header;
}

}  // namespace recfilereader
