// Extracting a time span of the open recording into a new file, and repairing a recording whose
// writing was interrupted: both run as threaded processes under the host's service.
#include <cstdio>
#include <cwchar>

#include "base/exceptions.h"
#include "base/guard.h"
#include "frame/recfilereader.h"
#include "host/reporttohost.h"
#include "host/tpssamethread.h"
#include "writing/recordingextractor.h"
#include "writing/recordingrepair.h"

namespace recfilereader {

namespace {

// RunProcess's option words for extraction and repair; their meaning is the service's.
constexpr DWORD kEditProcessOptions = 19;
constexpr DWORD kEditProcessFlags = 0;

std::wstring WithPath(const wchar_t* format, const wchar_t* path) {
  std::wstring text(std::wcslen(format) + std::wcslen(path), L'\0');
  const int length = std::swprintf(text.data(), text.size() + 1, format, path);
  text.resize(length < 0 ? 0 : static_cast<std::size_t>(length));
  return text;
}

// Turns a process's outcome back into the exception the guard records.
void ThrowForResult(LONG code, const std::wstring& text) {
  switch (code) {
    case kErrorNone: return;
    case kErrorRecording: throw exception_rec(text);
    case kErrorUserAbort: throw exception_rt_user_abort(text);
    default: throw exception_rt(text);
  }
}

}  // namespace

void CRecFileReader::RunEditProcess(IThreadedProcess& process, const wchar_t* caption) {
  CTpsSameThread same_thread;
  IThreadedProcessService* service = &same_thread;
  auto* host_service = static_cast<IThreadedProcessService*>(external_.GetInterface(L"IRCThreadProcSvc"));
  if (host_service != nullptr) service = host_service;
  service->RunProcess(&process, kEditProcessOptions, kEditProcessFlags, caption);
}

BOOL CRecFileReader::ExtractRecordingPart(const wchar_t* path, ULONGLONG begin, ULONGLONG end) {
  return Guard<BOOL>(last_error_, 0, [&] {
    if (path == nullptr) throw exception_rt(L"Invalid argument");
    // The span is found through the tuned navigation map, which opens for tables only lack.
    if (!IsOpen() || open_state_ == kOpenWriting || open_state_ == kOpenNoPackages || navigation_.empty())
      throw exception_rt(L"No file opened");
    ExtractionSource source;
    source.stream = &stream_;
    source.locate = [this](std::uint64_t timestamp) { return FirstPackageToExtract(timestamp); };
    source.data_end = DataEnd();
    source.sources = sources_.GetDevices();
    markers_.GetMarkers(source.markers);
    source.recording = &recording_properties_;
    source.system = &system_properties_;
    source.second_format = second_format_;
    CRecordingExtractor extractor(&context_, std::move(source), path, begin, end);
    RunEditProcess(extractor, L"Extracting recording part");
    ThrowForResult(extractor.result_code(), extractor.result_text());
    return 1;
  });
}

// The span starts with the package the cursor finds at its begin; a begin before the recording
// starts with its first package, one past it copies nothing.
std::uint64_t CRecFileReader::FirstPackageToExtract(std::uint64_t begin) {
  const bool found = JumpToReferenceTimestamp(begin) != 0;
  if (begin <= navigation_.begin()->first) return DataStart();
  if (found && package_.valid() && !end_of_file_) return package_.position();
  return DataEnd();
}

bool CRecFileReader::RepairRecording(const wchar_t* path) {
  LONG code = kErrorGeneral;
  Guard<BOOL>(last_error_, 0, [&] {
    if (path == nullptr) throw exception_rt(L"Invalid argument");
    ReportToHost(&context_, 0, 0, WithPath(L"Starting repairing process for file \"%ls\"", path));
    CRecordingRepair repair(&context_, path);
    RunEditProcess(repair, L"Recording is being scanned for repairing");
    code = repair.outcome_code();
    if (code == kErrorNone) {
      ReportToHost(&context_, 0, 0, WithPath(L"File \"%ls\" was repaired successfully", path));
    } else if (code == kErrorUserAbort) {
      ReportToHost(&context_, 0, 0, L"Repairing was aborted by the user");
    } else {
      ReportToHost(&context_, 0, 0, L"Repairing failed: " + repair.outcome_text());
    }
    ThrowForResult(code, repair.outcome_text());
    return 1;
  });
  return code == kErrorNone;
}

}  // namespace recfilereader
