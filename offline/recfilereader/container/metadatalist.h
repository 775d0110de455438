// The metadata of a recording as the loader hands it on and the writer takes it: per type
// number (MetadataType), the elements in file order; an element gathers every item of one type
// and identifier, each item's payload a generic data object, in file order.
#ifndef RECFILEREADER_CONTAINER_METADATALIST_H
#define RECFILEREADER_CONTAINER_METADATALIST_H

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "properties/genericdata.h"

namespace recfilereader {

using GenericDataList = std::vector<std::shared_ptr<CGenericData>>;

struct MetadataElement {
  std::uint32_t type = 0;  // type number
  std::uint64_t id = 0;    // 0 for recording, system and video items
  GenericDataList data;
};

using MetadataList = std::map<std::uint32_t, std::vector<MetadataElement>>;

// The first element of `type`, or null.
const MetadataElement* FirstElement(const MetadataList& list, std::uint32_t type);
// The first element of `type`, made (identifier 0) when there is none.
MetadataElement& FirstElementOrNew(MetadataList& list, std::uint32_t type);
// The first object of `kind` in `data`, or null.
const CGenericData* FirstOfKind(const GenericDataList& data, GenericDataType kind);

}  // namespace recfilereader

#endif  // RECFILEREADER_CONTAINER_METADATALIST_H
