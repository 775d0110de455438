// The extended header at the start of a second-format data block's payload: the data package
// record as a 32-bit host lays it out, 72 bytes, little-endian. The record's two pointer fields
// are native pointers in memory, so the header is encoded and decoded field by field; on disk
// they carry no meaning and are written as zero.
//   OFFSET  SIZE  FIELD
//        0     4  source handle
//        4     4  reserved
//        8     8  timestamp
//       16     4  data length L (the data follows the header)
//       20     4  data pointer (no meaning)
//       24     4  Info1
//       28     4  Info2
//       32     4  extra length E (the extra data follows the data)
//       36     4  extra data pointer (no meaning)
//       40    32  descriptor: eight u32 words, PackageFlags the fourth
#ifndef RECFILEREADER_CONTAINER_EXTENDEDPACKAGEHEADER_H
#define RECFILEREADER_CONTAINER_EXTENDEDPACKAGEHEADER_H

#include <cstdint>

#include "container/recblock.h"
#include "recfilereader/data.h"

namespace recfilereader {

struct ExtendedPackageHeader {
  std::uint32_t source_handle = 0;
  std::uint32_t reserved = 0;
  std::uint64_t timestamp = 0;
  std::uint32_t data_length = 0;
  std::uint32_t info1 = 0;
  std::uint32_t info2 = 0;
  std::uint32_t extra_length = 0;
  DataPackageDescriptor descriptor{};

  // `in` and `out` hold kExtendedPackageHeaderSize bytes.
  static ExtendedPackageHeader DecodeFrom(const std::uint8_t* in);
  void EncodeTo(std::uint8_t* out) const;
  // The header of `record`, with its lengths as given.
  static ExtendedPackageHeader FromRecord(const DataPackageRecord& record);
};

}  // namespace recfilereader

#endif  // RECFILEREADER_CONTAINER_EXTENDEDPACKAGEHEADER_H
