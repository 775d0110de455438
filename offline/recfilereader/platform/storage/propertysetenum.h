// Enumerators over snapshots: the properties of one set (IEnumSTATPROPSTG) and the sets of one
// storage (IEnumSTATPROPSETSTG). Each holds its own copy of the list, taken when it was made.
#ifndef RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETENUM_H
#define RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETENUM_H

#include <optional>
#include <string>
#include <vector>

#include "platform/storage/propertysetinterfaces.h"

namespace recfilereader {

struct PropertyListEntry {
  std::optional<std::wstring> name;  // none: the property has no name
  PROPID id;
  VARTYPE vt;
};

// New enumerators with one reference; E_OUTOFMEMORY when they cannot be made.
HRESULT CreatePropertyEnumerator(std::vector<PropertyListEntry> entries,
                                 IEnumSTATPROPSTG** enumerator);
HRESULT CreatePropertySetEnumerator(std::vector<STATPROPSETSTG> entries,
                                    IEnumSTATPROPSETSTG** enumerator);

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETENUM_H
