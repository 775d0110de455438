#include "container/metadatalist.h"

namespace recfilereader {

const MetadataElement* FirstElement(const MetadataList& list, std::uint32_t type) {
  const auto it = list.find(type);
  if (it == list.end() || it->second.empty()) return nullptr;
  return &it->second.front();
}

MetadataElement& FirstElementOrNew(MetadataList& list, std::uint32_t type) {
  std::vector<MetadataElement>& elements = list[type];
  if (elements.empty()) elements.push_back({.type = type, .id = 0, .data = {}});
  return elements.front();
}

const CGenericData* FirstOfKind(const GenericDataList& data, GenericDataType kind) {
  for (const auto& object : data) {
    if (object != nullptr && object->GetType() == kind) return object.get();
  }
  return nullptr;
}

}  // namespace recfilereader
