// A set of markers as the library's parts hand it to each other (loaders, metadata extraction,
// the markers manager, the writer): each marker's timestamp with its property table, ascending
// by timestamp, one entry per timestamp.
#ifndef RECFILEREADER_SOURCES_MARKERSET_H
#define RECFILEREADER_SOURCES_MARKERSET_H

#include <map>

#include "properties/propertymap.h"
#include "recfilereader/compat.h"

namespace recfilereader {

using MarkerSet = std::map<LONGLONG, PropertyMap>;

}  // namespace recfilereader

#endif  // RECFILEREADER_SOURCES_MARKERSET_H
