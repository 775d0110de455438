// The table hash's fold: every byte of a value, sign-extended to 32 bits, combined by exclusive
// or. Wide strings count as UTF-16 code units (two bytes each, terminator included), as the
// values are on the system that defined the hash.
#ifndef RECFILEREADER_PROPERTIES_PROPERTYHASH_H
#define RECFILEREADER_PROPERTIES_PROPERTYHASH_H

#include "recfilereader/compat.h"

namespace recfilereader {

inline constexpr DWORD kEmptyTableHash = 0xFFFFFFFF;

enum class HashScope {
  kDeclared,  // element types 2 to 31 only
  kFreeForm,  // also FILETIME, BLOB and GUIDs (a scalar GUID as the 16 bytes it points to)
};

DWORD FoldPropertyValue(DWORD hash, const PROPVARIANT& value, HashScope scope);

}  // namespace recfilereader

#endif  // RECFILEREADER_PROPERTIES_PROPERTYHASH_H
