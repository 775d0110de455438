// Testing, opening, closing and saving a recording.
#include <memory>

#include "base/exceptions.h"
#include "base/guard.h"
#include "container/loaderrecbase.h"
#include "container/recfilelayout.h"
#include "container/versionloader.h"
#include "data/navigationtuning.h"
#include "data/packagesearch.h"
#include "frame/recfilereader.h"
#include "host/tpssamethread.h"
#include "platform/propvariantholder.h"
#include "properties/propvalue.h"
#include "writing/recordingsaver.h"

namespace recfilereader {

namespace {

constexpr const wchar_t kOpenCaption[] = L"Recording is being processed for opening";
// RunProcess's option words for an open; their meaning is the service's.
constexpr DWORD kOpenProcessOptions = 19;
constexpr DWORD kOpenProcessFlags = 0;

// Load flags a host passes to OpenEx, and what Open's purposes map to.
constexpr ULONG kLoadFlagsFull = 63;
constexpr ULONG kLoadFlagsSourcesAndNavigation = 36;
constexpr ULONG kLoadFlagsTables = 7;
constexpr ULONG kLoadFlagsTablesShort = 3;
constexpr ULONG kLoadFlagsNavigationOnly = 32;

bool LoadsTablesOnly(ULONG load_flags) {
  return load_flags == kLoadFlagsTables || load_flags == kLoadFlagsTablesShort;
}

ULONG LoadFlagsForPurpose(ULONG purpose) {
  switch (purpose) {
    case 2: return kLoadFlagsSourcesAndNavigation;
    case 3: return kLoadFlagsTables;
    case 4: return kLoadFlagsNavigationOnly;
    default: return kLoadFlagsFull;
  }
}

DWORD OptionWordForLoadFlags(ULONG load_flags) {
  if (load_flags == kLoadFlagsFull) return kLoadFull;
  if (load_flags == kLoadFlagsSourcesAndNavigation) return kLoadSources | kLoadNavigation;
  if (LoadsTablesOnly(load_flags)) return 0x1F1;
  if (load_flags == kLoadFlagsNavigationOnly) return 0;
  return kLoadNavigation;
}

OpenState OpenStateForLoadFlags(ULONG load_flags) {
  if (load_flags == kLoadFlagsFull || load_flags == kLoadFlagsNavigationOnly) return kOpenFullLoad;
  if (load_flags == kLoadFlagsSourcesAndNavigation) return kOpenNavigation;
  if (LoadsTablesOnly(load_flags)) return kOpenNoPackages;
  return kOpenOtherLoad;
}

// Turns a loader's outcome into the exception the open fails with.
void ThrowForOutcome(const CLoaderRecBase& loader) {
  switch (loader.outcome_code()) {
    case kLoadSucceeded: return;
    case kLoadDataFailure: throw exception_rec(loader.outcome_text());
    case kLoadAborted: throw exception_rt_user_abort();
    default: throw exception_rt(loader.outcome_text());
  }
}

// Restores a reader setting when the scope ends.
class SettingRestorer {
 public:
  SettingRestorer(IObjectProperties& settings, const wchar_t* name)
      : settings_(settings), name_(name), have_(settings_.GetProperty(name_, &saved_.get())) {}
  ~SettingRestorer() {
    if (have_) settings_.SetProperty(name_, &saved_.get());
  }
  SettingRestorer(const SettingRestorer&) = delete;
  SettingRestorer& operator=(const SettingRestorer&) = delete;

 private:
  IObjectProperties& settings_;
  const wchar_t* name_;
  PropVariantHolder saved_;
  bool have_;
};

}  // namespace

// A file that simply is not a recording is a successful test (code 20); a file that cannot be
// read is not.
BOOL CRecFileReader::IsFileSupported(const wchar_t* path, BOOL* supported) {
  Guard<BOOL>(last_error_, 0, [&] {
    if (path == nullptr || supported == nullptr) throw exception_rt(L"Invalid argument");
    // The test reads one block: no cache and no worker for it.
    SettingRestorer restore(properties_, L"CacheMemoryLimit");
    PropVariantHolder no_cache;
    SetPropUI8(no_cache.get(), 0);
    properties_.SetProperty(L"CacheMemoryLimit", &no_cache.get());
    CRecStream probe(&context_);
    probe.OpenFile(path);
    RecBlock first;
    probe.ReadBlockForward(first);
    const auto header = first.header.Type == kBlockFileHeader ? RecFileHeader::Decode({first.payload.data(), first.payload.size()})
                                                              : std::nullopt;
    if (!header) throw exception_rec_invalid();
    *supported = IsRecFormat(header->format) ? 1 : 0;
    return 1;
  });
  const LONG code = last_error_.GetErrorCode();
  return code == kErrorNone || code == kErrorRecording ? 1 : 0;
}

BOOL CRecFileReader::Open(const wchar_t* path, ULONG purpose) {
  decompressor_.ArmUnknownMethodReport();
  return OpenEx(path, 1, LoadFlagsForPurpose(purpose));
}

BOOL CRecFileReader::OpenEx(const wchar_t* path, ULONG access, ULONG load_flags) {
  const BOOL opened = Guard<BOOL>(last_error_, 0, [&] {
    CloseRecording();
    source_classes_.clear();
    if (path == nullptr) throw exception_rt(L"Invalid argument");
    if (access == 0 || access == 2) {
      writer_.Open(path, access);
      open_state_ = kOpenWriting;
      second_format_ = access == 2;
      return 1;
    }
    OpenForReading(path, load_flags);
    return 1;
  });
  // Nothing of a failed open survives.
  if (!opened) Contained(false, [&] {
      CloseRecording();
      return true;
    });
  return opened;
}

void CRecFileReader::OpenForReading(const wchar_t* path, ULONG load_flags) {
  stream_.OpenFile(path);
  LoadRecording(load_flags);
  open_state_ = OpenStateForLoadFlags(load_flags);
  recording_properties_hash_ = recording_properties_.GetTableHash();
  recording_properties_out_ = 0;
  system_properties_out_ = 0;
  if (LoadsTablesOnly(load_flags)) return;
  PositionAtFirstPackage();
  if (source_classes_.empty()) BuildSourceClassMap(sources_, source_classes_);
}

void CRecFileReader::LoadRecording(ULONG load_flags) {
  VersionLoader chosen = ChooseVersionLoader(&context_, stream_, navigation_, OptionWordForLoadFlags(load_flags));
  second_format_ = chosen.header.format == kRecFormatSecond;
  dont_decompress_ = properties_.dont_decompress_packets();
  RunLoader(*chosen.loader, load_flags);
  TakeOverTables(*chosen.loader);
  for (LONG number : {kDirectCanChangeRecProp, kDirectCanChangeMarkers, kDirectCanChangeMarkerProp})
    SetDirect(number, false);
  SetDirect(kDirectCanExtractRecPart, load_flags == kLoadFlagsFull);
}

// Quick opens run on the calling thread; the others through the host's service, which may show
// progress and offer an abort.
void CRecFileReader::RunLoader(CLoaderRecBase& loader, ULONG load_flags) {
  CTpsSameThread same_thread;
  IThreadedProcessService* service = &same_thread;
  if (!LoadsTablesOnly(load_flags)) {
    auto* host_service = static_cast<IThreadedProcessService*>(external_.GetInterface(L"IRCThreadProcSvc"));
    if (host_service != nullptr) service = host_service;
  }
  service->RunProcess(&loader, kOpenProcessOptions, kOpenProcessFlags, kOpenCaption);
  ThrowForOutcome(loader);
}

void CRecFileReader::TakeOverTables(CLoaderRecBase& loader) {
  sources_.ReplaceSources(loader.sources());
  markers_.SetMarkers(loader.markers());
  recording_properties_.Assign(loader.recording_properties());
  system_properties_.Assign(loader.system_properties());
}

void CRecFileReader::PositionAtFirstPackage() {
  TuneNaviData(stream_, navigation_, package_);
  const auto& [begin_timestamp, begin_position] = *navigation_.begin();
  const auto& [end_timestamp, end_position] = *navigation_.rbegin();
  stream_.SetPosition(begin_position);
  if (!ReadPackageInDirection(stream_, kReadForward, begin_position, end_position, package_))
    throw exception_rt(L"Failed to read the first data block with non-zero timestamp");
  SetDirect(kDirectDataPackagesVersion, ULONGLONG{package_.second_format() ? 2u : 1u});
  // The cursor stands before the package just read.
  SetCursorFlags(package_.position() <= begin_position, package_.position() >= end_position);
  SetDirect(kDirectBeginTimestamp, ULONGLONG{begin_timestamp});
  SetDirect(kDirectEndTimestamp, ULONGLONG{end_timestamp});
  if ((stream_.GetAccessMode() & 2) == 0) {
    for (LONG number : {kDirectCanChangeRecProp, kDirectCanChangeMarkers, kDirectCanChangeMarkerProp})
      SetDirect(number, false);
  }
}

BOOL CRecFileReader::Close() {
  return Guard<BOOL>(last_error_, 0, [&] {
    CloseRecording();
    return 1;
  });
}

// Forgets the open recording and publishes the closed state. A writer still open finishes its
// file first.
void CRecFileReader::CloseRecording() {
  if (writer_.is_open()) {
    // What the host gave the recording while it was written goes into its tail.
    writer_.SetSources(sources_.GetDevices());
    markers_.GetMarkers(writer_.markers());
    writer_.Close();
  }
  navigation_.clear();
  sources_.ReplaceSources({});
  markers_.SetMarkers({});
  recording_properties_.Clear();
  system_properties_.Clear();
  recording_properties_hash_ = 0;
  recording_properties_out_ = 0;
  system_properties_out_ = 0;
  SetDirect(kDirectBeginTimestamp, ULONGLONG{0});
  SetDirect(kDirectEndTimestamp, ULONGLONG{0});
  for (LONG number : {kDirectEndOfFile, kDirectBeginOfFile, kDirectCanChangeRecProp, kDirectCanChangeMarkers,
                      kDirectCanChangeMarkerProp, kDirectCanExtractRecPart})
    SetDirect(number, false);
  begin_of_file_ = false;
  end_of_file_ = false;
  package_.Release();
  source_classes_.clear();
  stream_.CloseFile();
  open_state_ = kOpenClosed;
}

BOOL CRecFileReader::SaveRecording() {
  return Guard<BOOL>(last_error_, 0, [&] {
    if (!IsOpen() || open_state_ == kOpenWriting || navigation_.empty()) throw exception_rt(L"No file opened");
    // A file the reader could only open for reading cannot take a new tail: say so before
    // anything is attempted, rather than through the saver's undone failure.
    if ((stream_.GetAccessMode() & 2) == 0) throw exception_rt(L"The recording was opened read-only and cannot be saved");
    CRecordingSaver saver(&context_);
    stream_.SetPosition(navigation_.rbegin()->second);
    saver.AttachToRecording(stream_, second_format_ ? CRecordingSaver::kSecondFormatMode : 0);
    saver.SetSources(sources_.GetDevices());
    saver.SetNavigation(navigation_);
    MarkerSet markers;
    markers_.GetMarkers(markers);
    saver.SetMarkers(markers);
    saver.SetRecordingProperties(recording_properties_);
    saver.SetSystemProperties(system_properties_);
    saver.FinishRecording();
    return 1;
  });
}

BOOL CRecFileReader::WriteDataPackages(const DataPackageRecord* records, ULONG count) {
  return Guard<BOOL>(last_error_, 0, [&] {
    if (open_state_ != kOpenWriting || !writer_.is_open()) return 0;
    if (records == nullptr && count != 0) throw exception_rt(L"Invalid argument");
    // The sources the host has given so far go ahead of the first package.
    if (writer_.package_count() == 0) writer_.SetSources(sources_.GetDevices());
    for (ULONG i = 0; i < count; ++i) writer_.AppendDataPackage(records[i]);
    return 1;
  });
}

}  // namespace recfilereader
