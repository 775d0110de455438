// The library's one exported function and the headers a host needs.
#ifndef RECFILEREADER_RECFILEREADER_H
#define RECFILEREADER_RECFILEREADER_H

#include "recfilereader/base.h"
#include "recfilereader/compat.h"
#include "recfilereader/compression.h"
#include "recfilereader/data.h"
#include "recfilereader/errors.h"
#include "recfilereader/hostservices.h"
#include "recfilereader/markers.h"
#include "recfilereader/navigation.h"
#include "recfilereader/performance.h"
#include "recfilereader/properties.h"
#include "recfilereader/propvariant.h"
#include "recfilereader/propertynames.h"
#include "recfilereader/reader.h"
#include "recfilereader/sources.h"
#include "recfilereader/writing.h"

extern "C" {
// Creates a reader object over the host's interface access (which may be null) and returns the
// reader's IInterfaceAccess, or null when it cannot be made. End it with its IObjectDestroy.
RECFILEREADER_API IInterfaceAccess* CreateRecordingReader(IInterfaceAccess* host);
}

#endif  // RECFILEREADER_RECFILEREADER_H
