// Finding the next data block in a direction: what reading, positioning and opening use to move
// the current package.
#ifndef RECFILEREADER_DATA_PACKAGESEARCH_H
#define RECFILEREADER_DATA_PACKAGESEARCH_H

#include <cstdint>

#include "container/recstream.h"
#include "data/datapackage.h"
#include "recfilereader/compat.h"

namespace recfilereader {

// From the stream's position, reads blocks in `direction` (kReadForward or kReadBackward),
// passing over every block that is not a data block, and makes the first data block the
// package. The data lies between `data_start` and `data_end` (the first and last navigation
// positions): forward, nothing at or beyond `data_end` is read; backward, nothing is read once
// the position is at or before `data_start`. False, with the package untouched, when no data
// block lies before the bound (or the direction is neither). Failures of the stream and of the
// conversion pass on (see RecBlockToDataPackage).
bool ReadPackageInDirection(CRecStream& stream, ULONG direction, std::uint64_t data_start,
                            std::uint64_t data_end, CDataPackage& package);

// From the stream's position, passes forward over blocks up to the first data block whose
// timestamp is at least `timestamp`, reading headers (and a second-format package's timestamp)
// but no payloads, and leaves the position there. False when none lies before `data_end`. A
// header it cannot read ends the skip there too (true), so that the full read reports it.
bool SkipToTimestamp(CRecStream& stream, std::uint64_t timestamp, std::uint64_t data_end);

}  // namespace recfilereader

#endif  // RECFILEREADER_DATA_PACKAGESEARCH_H
