// Writing the markers data: one marker block per marker, in ascending timestamp order, as
// consecutive system blocks. Only the timestamps go here; the markers' properties are kept in
// the metadata.
#ifndef RECFILEREADER_CONTAINER_MARKERSWRITER_H
#define RECFILEREADER_CONTAINER_MARKERSWRITER_H

#include <cstdint>

#include "sources/markerset.h"

namespace recfilereader {

class CRecStream;
class RecBlockChainWriter;

// Writes the marker blocks of `markers` at the stream's position through `writer` and returns
// that position, the markers section's offset. With no markers nothing is written, so the
// offset is where the next block begins and a reader finds no marker there.
std::uint64_t WriteMarkersData(CRecStream& stream, RecBlockChainWriter& writer, const MarkerSet& markers);

}  // namespace recfilereader

#endif  // RECFILEREADER_CONTAINER_MARKERSWRITER_H
