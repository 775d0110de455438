// The host object's "Handle" property, which tags the reader's reports and statistics.
#ifndef RECFILEREADER_HOST_HOSTHANDLE_H
#define RECFILEREADER_HOST_HOSTHANDLE_H

#include "recfilereader/base.h"
#include "recfilereader/compat.h"

namespace recfilereader {

// Reads "Handle" from the host's "IObjectProperties", reached through the
// "IExternalInterfaceAccess" of `access`, as unsigned 32-bit; 0 when any of them is missing.
DWORD ReadHostHandle(IInterfaceAccess* access);

}  // namespace recfilereader

#endif  // RECFILEREADER_HOST_HOSTHANDLE_H
