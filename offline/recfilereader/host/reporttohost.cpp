#include "host/reporttohost.h"

#include <cstring>

#include "base/privateinterfaces.h"
#include "host/hosthandle.h"
#include "platform/localtime.h"

namespace recfilereader {
namespace {

constexpr std::size_t kMaxReportChars = 1023;

IExternalInterfaceAccess* External(IInterfaceAccess* access) {
  if (access == nullptr) return nullptr;
  return static_cast<IExternalInterfaceAccess*>(access->GetInterface(L"IExternalInterfaceAccess"));
}

}  // namespace

HostReporter::HostReporter(IInterfaceAccess* access) {
  try {
    IExternalInterfaceAccess* external = External(access);
    if (external == nullptr) return;
    errors_ = static_cast<IExErrorMgr*>(external->GetInterface(L"IExErrorMgr"));
    timebase_ = static_cast<ITimebase*>(external->GetInterface(L"ITimebase"));
    host_handle_ = ReadHostHandle(access);
  } catch (...) {
    // A host that fails to answer is a host without these services.
  }
}

void HostReporter::Fill(DWORD severity, DWORD id, std::wstring_view text, HostErrorRecord& record) const {
  std::memset(&record, 0, sizeof record);
  record.Code = ((id & 0x1FFFu) | (severity << 13)) << 16;
  record.HostHandle = host_handle_;
  record.LocalTime = LocalTimeNow();
  record.HostTime = timebase_ != nullptr ? timebase_->GetCurrentTime() : 0;
  const std::size_t length = text.size() < kMaxReportChars ? text.size() : kMaxReportChars;
  std::wmemcpy(record.Text, text.data(), length);
  record.Text[length] = L'\0';
  record.One = 1;
}

void HostReporter::Report(DWORD severity, DWORD id, std::wstring_view text) const noexcept {
  if (errors_ == nullptr) return;
  try {
    HostErrorRecord record;
    Fill(severity, id, text, record);
    errors_->Report(&record);
  } catch (...) {
    // Reporting never fails the caller.
  }
}

void ReportToHost(IInterfaceAccess* access, DWORD severity, DWORD id, std::wstring_view text) {
  HostReporter(access).Report(severity, id, text);
}

}  // namespace recfilereader
