// Telling the host something that is not the failure of the current call (progress, warnings,
// the cache worker's errors): a HostErrorRecord handed to the host's error manager.
#ifndef RECFILEREADER_HOST_REPORTTOHOST_H
#define RECFILEREADER_HOST_REPORTTOHOST_H

#include <string_view>

#include "recfilereader/base.h"
#include "recfilereader/compat.h"
#include "recfilereader/hostservices.h"

namespace recfilereader {

// The host's error manager and time base and the host object's "Handle", looked up once, on a
// thread the host called us on. Reporting through it asks the host for nothing but the time and
// the report itself, so a component that keeps one never touches the host's properties again.
// Call Report only on a thread the host called into, and with no lock of ours held: a host's
// handler may wait for the thread that is waiting for us.
class HostReporter {
 public:
  HostReporter() = default;  // reports nothing
  // Looks the services up through the "IExternalInterfaceAccess" of `access`; null: none.
  explicit HostReporter(IInterfaceAccess* access);

  // Builds the record for `text` (cut to 1,023 characters) and hands it to the error manager.
  // Never fails and never throws; without an error manager nothing happens.
  void Report(DWORD severity, DWORD id, std::wstring_view text) const noexcept;
  // The record as Report fills it.
  void Fill(DWORD severity, DWORD id, std::wstring_view text, HostErrorRecord& record) const;

  DWORD host_handle() const { return host_handle_; }

 private:
  IExErrorMgr* errors_ = nullptr;
  ITimebase* timebase_ = nullptr;
  DWORD host_handle_ = 0;
};

// A report from a one-off caller: HostReporter(access).Report(...).
void ReportToHost(IInterfaceAccess* access, DWORD severity, DWORD id, std::wstring_view text);

}  // namespace recfilereader

#endif  // RECFILEREADER_HOST_REPORTTOHOST_H
