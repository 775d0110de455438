// Telling the host something that is not the failure of the current call (progress, warnings,
// the cache worker's errors): a HostErrorRecord handed to the host's error manager.
#ifndef RECFILEREADER_HOST_REPORTTOHOST_H
#define RECFILEREADER_HOST_REPORTTOHOST_H

#include <string_view>

#include "recfilereader/base.h"
#include "recfilereader/compat.h"
#include "recfilereader/hostservices.h"

namespace recfilereader {

// Builds the record for `text` (cut to 1,023 characters) and hands it to the host's error
// manager, found through "IExternalInterfaceAccess" of `access`. Never fails and never throws;
// without an error manager nothing happens. Safe from any thread.
void ReportToHost(IInterfaceAccess* access, DWORD severity, DWORD id, std::wstring_view text);

// The record as ReportToHost fills it, for callers and tests that need the bytes.
void FillHostErrorRecord(IInterfaceAccess* access, DWORD severity, DWORD id,
                         std::wstring_view text, HostErrorRecord& record);

}  // namespace recfilereader

#endif  // RECFILEREADER_HOST_REPORTTOHOST_H
