// The reader object: one per CreateRecordingReader call, holding at most one open recording.
// It hands its interfaces out by name through its registry; the host ends it with Destroy.
// Every host-facing operation runs inside the guard, so no exception crosses an interface.
#ifndef RECFILEREADER_FRAME_RECFILEREADER_H
#define RECFILEREADER_FRAME_RECFILEREADER_H

#include <string>

#include "container/navigationtable.h"
#include "container/recstream.h"
#include "data/datapackage.h"
#include "data/packagedecompressor.h"
#include "data/sourceclassmap.h"
#include "host/extinterfaceaccess.h"
#include "base/interfaceregistry.h"
#include "base/lasterror.h"
#include "base/servicecontext.h"
#include "host/tempfilesmgrwrp.h"
#include "platform/dynamiclibrary.h"
#include "properties/propmanager.h"
#include "properties/recfilereaderprop.h"
#include "sources/recmarkersmgr.h"
#include "sources/recsourcesmgr.h"
#include "recfilereader/compression.h"
#include "recfilereader/data.h"
#include "recfilereader/navigation.h"
#include "recfilereader/performance.h"
#include "recfilereader/reader.h"
#include "recfilereader/writing.h"
#include "writing/recordingwriter.h"

namespace recfilereader {

class CLoaderRecBase;

// The open state: how the recording was opened, which decides what the reader offers.
enum OpenState : ULONG {
  kOpenClosed = 0,
  kOpenFullLoad = 1,     // read, load flags 63 or 32
  kOpenNavigation = 2,   // read, load flags 36: sources and navigation
  kOpenNoPackages = 3,   // read, load flags 7 or 3: tables only, no navigation tuning
  kOpenOtherLoad = 4,    // read, any other load flags
  kOpenWriting = 5,
};

// Where the compression library is looked for when RECFILEREADER_COMPRESSION_LIBRARY is unset.
constexpr const char kCompressionLibraryName[] = "libCompressionLibrary.so";
constexpr const char kCompressionLibraryVariable[] = "RECFILEREADER_COMPRESSION_LIBRARY";

class CRecFileReader final : public IInterfaceAccess,
                             public IObjectDestroy,
                             public IPerformanceTable,
                             public IRecordingSupport,
                             public IRecordingReaderEx,
                             public IRecordingDataEx,
                             public IRecordingNavigate,
                             public IRecordingPositionEx,
                             public IRecordingPositionCmp,
                             public IRecordingEdit,
                             public IRecordingSave,
                             public IRecordingRepair {
 public:
  // `host` is the host's interface access; it may be null.
  explicit CRecFileReader(IInterfaceAccess* host);
  ~CRecFileReader();
  CRecFileReader(const CRecFileReader&) = delete;
  CRecFileReader& operator=(const CRecFileReader&) = delete;

  // IInterfaceAccess: public registrations only.
  void* GetInterface(const wchar_t* name) override;
  // IObjectDestroy
  void Destroy() override;
  // IPerformanceTable
  bool GetPerformanceTable(PerformanceQuery* query) override;
  // IRecordingSupport
  BOOL IsFileSupported(const wchar_t* path, BOOL* supported) override;
  // IRecordingReader, IRecordingReaderEx
  BOOL Open(const wchar_t* path, ULONG purpose) override;
  BOOL Close() override;
  BOOL OpenEx(const wchar_t* path, ULONG access, ULONG load_flags) override;
  // IRecordingData, IRecordingDataEx
  BOOL ReadDataPackage(ULONG direction, DataPackageRecord* record) override;
  BOOL GetRecordingProperties(IRecordingObjectProperties** properties) override;
  BOOL ReleaseRecordingProperties(IRecordingObjectProperties* properties) override;
  BOOL GetSystemProperties(IObjectProperties** properties) override;
  BOOL ReleaseSystemProperties(IObjectProperties* properties) override;
  BOOL ReservedQuery() override;
  BOOL WriteDataPackages(const DataPackageRecord* records, ULONG count) override;
  BOOL GetSystemPropertiesEx(IRecordingObjectProperties** properties) override;
  BOOL ReleaseSystemPropertiesEx(IRecordingObjectProperties* properties) override;
  // IRecordingNavigate
  BOOL JumpToReferenceTimestamp(ULONGLONG timestamp) override;
  BOOL GetCurrentTimestamp(ULONGLONG* timestamp) override;
  // IRecordingPosition, IRecordingPositionEx, IRecordingPositionCmp
  ULONG GetPositionSize() override;
  BOOL GetPosition(void* position) override;
  BOOL SetPosition(const void* position, ULONG size) override;
  BOOL GetNextPosition(const void* position, void* next) override;
  BOOL GetPrevPosition(const void* position, void* previous) override;
  BOOL IsPositionEqual(const void* a, const void* b, BOOL* equal) override;
  BOOL IsPositionLess(const void* a, const void* b, BOOL* less) override;
  // IRecordingEdit, IRecordingSave, IRecordingRepair
  BOOL ExtractRecordingPart(const wchar_t* path, ULONGLONG begin, ULONGLONG end) override;
  BOOL SaveRecording() override;
  bool RepairRecording(const wchar_t* path) override;

  // For the reader's components and tests.
  CServiceContext& context() { return context_; }
  CRecFileReaderProp& properties() { return properties_; }
  CRecStream& stream() { return stream_; }
  ICompressionAlgo* compression() const { return compression_; }
  ULONG open_state() const { return open_state_; }
  const NavigationMap& navigation() const { return navigation_; }
  const CDataPackage& current_package() const { return package_; }

 private:
  void RegisterOwnInterfaces();
  void RegisterPropertyTable();
  // Publishes a read-only state value through the property table's direct access.
  void SetDirect(LONG number, bool value);
  void SetDirect(LONG number, ULONGLONG value);
  void LoadCompressionLibrary();
  void UnloadCompressionLibrary() noexcept;
  void CloseRecording();
  void OpenForReading(const wchar_t* path, ULONG load_flags);
  // Reads the header, picks the loader and runs it; on success the reader holds the tables.
  void LoadRecording(ULONG load_flags);
  void RunLoader(CLoaderRecBase& loader, ULONG load_flags);
  void TakeOverTables(CLoaderRecBase& loader);
  // Tunes the navigation map, reads the first package and publishes the time span.
  void PositionAtFirstPackage();
  // True when a recording is open, for reading or writing.
  bool IsOpen() const { return open_state_ != kOpenClosed; }
  // "No file opened" unless a recording is open.
  void RequireOpen() const;

  // The cursor: the current package and the two flags that say it stands before the first
  // package or after the last.
  void SetCursorFlags(bool begin_of_file, bool end_of_file);
  void PublishCursorAtPackage();
  // The tuned navigation map's bounds: the first package and just past the last.
  std::uint64_t DataStart() const;
  std::uint64_t DataEnd() const;
  // Reads the next data block in `direction` within the data into the current package.
  bool ReadPackage(ULONG direction);
  void ReadPackageForward(DataPackageRecord& record);
  void ReadPackageBackward(DataPackageRecord& record);
  BOOL RecoverFromDamage(ULONG direction, DataPackageRecord* record);
  void ResynchroniseOnNavigation(ULONG direction);
  template <class Body>
  BOOL MoveCursor(Body&& body);
  template <class Body>
  BOOL QueryAround(Body&& body);
  void SetPositionAtEnd(std::uint64_t target);
  // Extraction and repair: runs `process` through the host's threaded-process service, or on
  // the calling thread when the host offers none.
  void RunEditProcess(IThreadedProcess& process, const wchar_t* caption);
  // Positions the cursor at `begin` and gives the offset of the first data block to extract.
  std::uint64_t FirstPackageToExtract(std::uint64_t begin);

  CInterfaceRegistry registry_;
  CServiceContext context_;
  CRecFileReaderProp properties_;
  CLastError last_error_;
  CExtInterfaceAccess external_;
  CRecStream stream_;
  ULONG open_state_ = 0;
  // The loaded recording.
  NavigationMap navigation_;
  CPropManager recording_properties_;
  CPropManager system_properties_;
  ULONG recording_properties_out_ = 0;
  ULONG system_properties_out_ = 0;
  DWORD recording_properties_hash_ = 0;
  CDataPackage package_;
  bool begin_of_file_ = false;
  bool end_of_file_ = false;
  CTempFilesMgrWrp temp_files_;
  // The recording's sources and markers, which hosts reach through the reader's catalogue.
  CRecSourcesMgr sources_;
  CRecMarkersMgr markers_;
  CRecordingWriter writer_;
  DynamicLibrary compression_library_;
  IInterfaceAccess* compression_access_ = nullptr;
  ICompressionAlgo* compression_ = nullptr;
  CPackageDecompressor decompressor_;
  SourceClassMap source_classes_;
  // Whether the recording is signed with the second format identifier, the one whose packages
  // may be compressed.
  bool second_format_ = false;
  bool dont_decompress_ = false;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_FRAME_RECFILEREADER_H
