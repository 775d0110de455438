#include "container/markerswriter.h"

#include <algorithm>

#include "base/exceptions.h"
#include "base/location.h"
#include "container/markersloader.h"
#include "container/recstream.h"
#include "platform/bytes.h"

namespace recfilereader {

std::uint64_t WriteMarkersData(CRecStream& stream, RecBlockChainWriter& writer, const MarkerSet& markers) {
  const std::uint64_t first = stream.GetPosition();
  RecBlock block;
  block.header.Type = kBlockMarker;
  if (!block.payload.Resize(kMarkerPayloadSize)) {
    throw exception_rt(MemoryFailureText(MemorySource::kOperatorNew, kMarkerPayloadSize,
                                         {"markerswriter", "WriteMarkersData"}));
  }
  // The timestamp, then 24 bytes that mean nothing to any reader.
  std::fill_n(block.payload.data(), kMarkerPayloadSize, std::uint8_t{0});
  for (const auto& [timestamp, properties] : markers) {
    StoreLe64(block.payload.data(), static_cast<std::uint64_t>(timestamp));
    writer.Write(stream, block);
  }
  return first;
}

}  // namespace recfilereader
