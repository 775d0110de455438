// The version loaders: threaded processes that fill the reader's tables (sources, navigation
// map, markers, recording and system properties) from a REC file when it is opened. Each version
// finds its sections its own way (recfilelayout.h); what they share is here: the option word,
// the outcome a run leaves for the reader, the tables, and the progress and messages a host sees.
//
// Execute never lets an exception out: the host's threaded-process service calls it, so every
// failure ends in the outcome code and text, which the reader turns back into an exception.
#ifndef RECFILEREADER_CONTAINER_LOADERRECBASE_H
#define RECFILEREADER_CONTAINER_LOADERRECBASE_H

#include <cstdint>
#include <string>
#include <string_view>

#include "container/metadataextractor.h"
#include "container/navigationtable.h"
#include "container/recblock.h"
#include "host/reporttohost.h"
#include "properties/propmanager.h"
#include "recfilereader/base.h"
#include "recfilereader/hostservices.h"
#include "sources/fileconfigparser.h"
#include "sources/markerset.h"

namespace recfilereader {

class CRecStream;

// The option word: which parts of the recording a loader reads. The metadata bits (2.1 only)
// make the loader read the metadata table; the recording-property bits are the extractor's own.
constexpr DWORD kLoadSources = 0x001;
constexpr DWORD kLoadNavigation = 0x002;
constexpr DWORD kLoadMarkers = 0x004;
constexpr DWORD kLoadMarkerProperties = 0x008;
constexpr DWORD kLoadSystemProperties = 0x010;
constexpr DWORD kLoadDescription = kReadDescription;
constexpr DWORD kLoadTimeReference = kReadTimeReference;
constexpr DWORD kLoadAudioComment = kReadAudioComment;
constexpr DWORD kLoadVideoPreview = kReadVideoPreview;
constexpr DWORD kLoadFull = 0x2FF;  // 0x200 is set by the reader's full load; nothing reads it
constexpr DWORD kLoadRecordingProperties =
    kLoadDescription | kLoadTimeReference | kLoadAudioComment | kLoadVideoPreview;
constexpr DWORD kLoadMetadata = kLoadMarkerProperties | kLoadSystemProperties | kLoadRecordingProperties;

// How a run ended.
enum LoaderOutcome : ULONG {
  kLoadSucceeded = 0,
  kLoadDataFailure = 1,     // exception_data, every exception_rec among them
  kLoadRuntimeFailure = 2,  // exception_rt, and failures from outside the family
  kLoadAborted = 3,         // exception_rt_user_abort
};

// Progress is the completed fraction times this.
constexpr LONG kProgressComplete = 5000;

class CLoaderRecBase : public IThreadedProcess {
 public:
  CLoaderRecBase(const CLoaderRecBase&) = delete;
  CLoaderRecBase& operator=(const CLoaderRecBase&) = delete;
  virtual ~CLoaderRecBase();

  void Start(DWORD) override {}
  // Runs the load; leaves the outcome code and text. Null sinks show nothing and never abort.
  void Execute(IThreadedProcessStatus* status, IAbort* abort) final;

  ULONG outcome_code() const { return outcome_code_; }
  const std::wstring& outcome_text() const { return outcome_text_; }

  DeviceList& sources() { return sources_; }
  MarkerSet& markers() { return markers_; }
  CPropManager& recording_properties() { return recording_properties_; }
  CPropManager& system_properties() { return system_properties_; }

 protected:
  // Reads nothing from the file: `stream` and `navigation` are borrowed for the loader's life.
  CLoaderRecBase(IInterfaceAccess* access, CRecStream& stream, const RecBlock& version_block,
                 NavigationMap& navigation, DWORD options);

  // The progress sink and abort source of one run.
  class Run {
   public:
    Run(IThreadedProcessStatus* status, IAbort* abort) : status_(status), abort_(abort) {}
    // The progress, then the status text.
    void Step(LONG progress, const wchar_t* text) const;
    void Progress(LONG progress) const;
    void Text(const wchar_t* text) const;
    // exception_rt_user_abort when the user asked to abort.
    void CheckAbort() const;

   private:
    IThreadedProcessStatus* status_;
    IAbort* abort_;
  };

  // The version's load; any exception ends it and becomes the outcome.
  virtual void Load(const Run& run) = 0;

  bool Wants(DWORD bits) const { return (options_ & bits) != 0; }
  void Report(DWORD severity, std::wstring_view text) const { reporter_.Report(severity, 0, text); }
  // Hands a configuration block's document to the parser, which appends the devices.
  void ParseConfiguration(const RecBlock& block);

  IInterfaceAccess* access() const { return access_; }
  CRecStream& stream() const { return stream_; }
  const RecBlock& version_block() const { return version_block_; }
  NavigationMap& navigation() const { return navigation_; }
  DWORD options() const { return options_; }

 private:
  void SetOutcome(ULONG code, std::wstring text);

  ULONG outcome_code_ = kLoadSucceeded;
  std::wstring outcome_text_;
  DeviceList sources_;
  NavigationMap& navigation_;
  MarkerSet markers_;
  CPropManager recording_properties_;
  CPropManager system_properties_;

  IInterfaceAccess* access_;
  HostReporter reporter_;
  IExMemoryMgr* memory_;
  CRecStream& stream_;
  RecBlock version_block_;
  DWORD options_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_CONTAINER_LOADERRECBASE_H
