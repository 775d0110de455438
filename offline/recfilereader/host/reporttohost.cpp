#include "host/reporttohost.h"

#include <cstring>

#include "host/hosthandle.h"
#include "base/privateinterfaces.h"
#include "platform/localtime.h"

namespace recfilereader {
namespace {

constexpr std::size_t kMaxReportChars = 1023;

ULONGLONG HostTime(IExternalInterfaceAccess* external) {
  if (external == nullptr) return 0;
  auto* timebase = static_cast<ITimebase*>(external->GetInterface(L"ITimebase"));
  return timebase != nullptr ? timebase->GetCurrentTime() : 0;
}

IExternalInterfaceAccess* External(IInterfaceAccess* access) {
  if (access == nullptr) return nullptr;
  return static_cast<IExternalInterfaceAccess*>(access->GetInterface(L"IExternalInterfaceAccess"));
}

}  // namespace

void FillHostErrorRecord(IInterfaceAccess* access, DWORD severity, DWORD id, std::wstring_view text,
                         HostErrorRecord& record) {
  std::memset(&record, 0, sizeof record);
  record.Code = ((id & 0x1FFFu) | (severity << 13)) << 16;
  record.HostHandle = ReadHostHandle(access);
  record.LocalTime = LocalTimeNow();
  record.HostTime = HostTime(External(access));
  const std::size_t length = text.size() < kMaxReportChars ? text.size() : kMaxReportChars;
  std::wmemcpy(record.Text, text.data(), length);
  record.Text[length] = L'\0';
  record.One = 1;
}

void ReportToHost(IInterfaceAccess* access, DWORD severity, DWORD id, std::wstring_view text) {
  try {
    IExternalInterfaceAccess* external = External(access);
    if (external == nullptr) return;
    auto* errors = static_cast<IExErrorMgr*>(external->GetInterface(L"IExErrorMgr"));
    if (errors == nullptr) return;
    HostErrorRecord record;
    FillHostErrorRecord(access, severity, id, text, record);
    errors->Report(&record);
  } catch (...) {
    // Reporting never fails the caller.
  }
}

}  // namespace recfilereader
