// The property map: property name -> value, ordered by name and compared exactly. It is what a
// property storage saver consumes and a loader produces, and what describes one device of a
// recording's configuration. Values are owning PROPVARIANTs, cleared with the map.
#ifndef RECFILEREADER_PROPERTIES_PROPERTYMAP_H
#define RECFILEREADER_PROPERTIES_PROPERTYMAP_H

#include <map>
#include <string>

#include "platform/propvariantholder.h"

namespace recfilereader {

using PropertyValue = PropVariantHolder;
using PropertyMap = std::map<std::wstring, PropertyValue>;

}  // namespace recfilereader

#endif  // RECFILEREADER_PROPERTIES_PROPERTYMAP_H
