#include "data/sourceclassmap.h"

#include "properties/propvalue.h"

namespace recfilereader {

namespace {

const PROPVARIANT* Present(const CPropManager& properties, const wchar_t* name) {
  const PROPVARIANT* value = properties.Find(name);
  return value != nullptr && value->vt != VT_EMPTY ? value : nullptr;
}

}  // namespace

void BuildSourceClassMap(CRecSourcesMgr& sources, SourceClassMap& classes) {
  if (!classes.empty()) return;
  ULONG count = 0;
  if (!sources.GetSourceCount(&count)) return;
  for (ULONG index = 0; index < count; ++index) {
    const CPropManager* properties = sources.SourceAt(index);
    if (properties == nullptr) continue;
    const PROPVARIANT* handle = Present(*properties, L"Handle");
    const PROPVARIANT* source_class = Present(*properties, L"Class");
    if (handle == nullptr || source_class == nullptr) continue;
    classes.insert_or_assign(GetPropULong(*handle), GetPropWString(*source_class));
  }
}

}  // namespace recfilereader
