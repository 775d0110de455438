#include "container/recblock.h"

#include "base/exceptions.h"
#include "platform/bytes.h"

namespace recfilereader {

bool IsKnownBlockType(std::uint16_t type) {
  switch (type) {
    case kBlockFileHeader:
    case kBlockConfiguration:
    case kBlockSectionIndex20:
    case kBlockSectionIndex21:
    case kBlockFiller:
    case kBlockData:
    case kBlockNavigation:
    case kBlockMarker:
    case kBlockMarkerInfo:
    case kBlockMetadataTable:
    case kBlockMetadata:
    case kBlockEnd:
      return true;
    default:
      return false;
  }
}

RecBlockHeader RecBlockHeader::DecodeFrom(const std::uint8_t* in) {
  RecBlockHeader h;
  h.HeaderSize = LoadLe16(in);
  h.Type = LoadLe16(in + 2);
  h.Sequence = LoadLe64(in + 4);
  h.PrevSize = LoadLe32(in + 12);
  h.Link = LoadLe64(in + 16);
  h.Tag = LoadLe32(in + 24);
  h.DataLength = LoadLe32(in + 28);
  return h;
}

void RecBlockHeader::EncodeTo(std::uint8_t* out) const {
  StoreLe16(out, HeaderSize);
  StoreLe16(out + 2, Type);
  StoreLe64(out + 4, Sequence);
  StoreLe32(out + 12, PrevSize);
  StoreLe64(out + 16, Link);
  StoreLe32(out + 24, Tag);
  StoreLe32(out + 28, DataLength);
}

}  // namespace recfilereader
