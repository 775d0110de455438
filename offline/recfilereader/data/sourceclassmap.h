// The source class map: the class name of each source by its handle, the name the compression
// library is given with each package of that source.
#ifndef RECFILEREADER_DATA_SOURCECLASSMAP_H
#define RECFILEREADER_DATA_SOURCECLASSMAP_H

#include <map>
#include <string>

#include "recfilereader/compat.h"
#include "sources/recsourcesmgr.h"

namespace recfilereader {

using SourceClassMap = std::map<ULONG, std::wstring>;

// Fills an empty `classes` from the sources' "Handle" (an integer) and "Class" (a text); a
// source lacking either is left out. A map that holds entries already is left as it is, so the
// names of the first open stay until the owner empties the map.
void BuildSourceClassMap(CRecSourcesMgr& sources, SourceClassMap& classes);

}  // namespace recfilereader

#endif  // RECFILEREADER_DATA_SOURCECLASSMAP_H
