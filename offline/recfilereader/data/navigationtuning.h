// Tuning the navigation map of a freshly loaded recording to the packages the file really
// holds: the map then starts at the first package with a non-zero timestamp and ends with an
// entry one past the last package's timestamp, at the position just past that package, so
// that the map's first and last entries bound the data for reading and seeking.
#ifndef RECFILEREADER_DATA_NAVIGATIONTUNING_H
#define RECFILEREADER_DATA_NAVIGATIONTUNING_H

#include "container/navigationtable.h"

namespace recfilereader {

class CDataPackage;
class CRecStream;

// Leaves the last package found in `package`. Throws exception_rec when the map is empty and
// exception_rt "Failed to read the first (last) data block with non-zero timestamp" when the
// file holds no such package; block read errors pass on.
void TuneNaviData(CRecStream& stream, NavigationMap& map, CDataPackage& package);

}  // namespace recfilereader

#endif  // RECFILEREADER_DATA_NAVIGATIONTUNING_H
