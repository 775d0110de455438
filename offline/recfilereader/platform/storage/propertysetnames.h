// Stream names of property sets. A set lives in the element "\005" + a name made from its
// format identifier: fixed names for the summary sets, otherwise the identifier's 128 bits in
// 26 five-bit characters. Names are matched without regard to case.
#ifndef RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETNAMES_H
#define RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETNAMES_H

#include <string>
#include <string_view>

#include "recfilereader/compat.h"

namespace recfilereader {

// {71CCAC61-82F1-415D-A1A0-2685B38C3C44} -> "\005Bdlz2yf4CmxcuqcuGjbhlgshEc".
std::wstring FmtIdToPropStgName(const FMTID& fmtid);

// The format identifier an element name stands for; false when the name is no property set's.
bool PropStgNameToFmtId(std::wstring_view name, FMTID* fmtid);

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETNAMES_H
