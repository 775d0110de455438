// The reader object owned for a scope: made through CreateRecordingReader over the host's
// services, destroyed through IObjectDestroy. Its operations throw Error with the reader's code
// and text where the interfaces return 0.
#ifndef RECHOST_READER_H
#define RECHOST_READER_H

#include <cstdint>
#include <string>
#include <vector>

#include "recfilereader/recfilereader.h"
#include "rechost/hostservices.h"
#include "rechost/properties.h"

namespace rechost {

class Reader {
 public:
  explicit Reader(HostServices& host);
  ~Reader();
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // Opening and closing.
  void Open(const std::string& path, ULONG load_flags = kRecordingLoadFull);
  // A new recording for writing; `second_format` signs it with the second format identifier.
  void Create(const std::string& path, bool second_format);
  void Write(const DataPackageRecord& record);
  // Closes the recording (a recording being written is finished).
  void Close();
  // Writes changed properties, sources and markers back into the open file.
  void Save();

  // The recording's span from the first package's timestamp to just past the last one.
  ULONGLONG BeginTimestamp();
  ULONGLONG EndTimestamp();
  bool AtEnd();
  bool AtBegin();
  // The reader's own properties (settings and the state of the open recording).
  IObjectProperties& properties() { return *Face<IObjectProperties>(L"IObjectProperties"); }

  // Cursor.
  void JumpTo(ULONGLONG timestamp);
  std::uint64_t Position();
  void SetPosition(std::uint64_t position);

  // Work on other files, run through the host's process service.
  void Extract(const std::string& path, ULONGLONG begin, ULONGLONG end);
  // Repairs the file at `path` in place.
  void Repair(const std::string& path);

  // Tables handed back when their holder ends.
  HeldTable<IRecordingObjectProperties> RecordingProperties();
  HeldTable<IRecordingObjectProperties> SystemProperties();
  HeldTable<IRecordingObjectProperties> MarkerProperties(LONGLONG timestamp);
  HeldTable<IRecordingObjectProperties> SourceProperties(const GUID& id);

  std::vector<GUID> SourceIds();
  std::vector<LONGLONG> MarkerTimestamps();
  IRecordingSources2& sources() { return *Face<IRecordingSources2>(L"IRecordingSources2"); }
  IRecordingMarker& markers() { return *Face<IRecordingMarker>(L"IRecordingMarker"); }
  IRecordingDataEx& data() { return *Face<IRecordingDataEx>(L"IRecordingDataEx"); }

  LONG ErrorCode();
  std::string ErrorText();
  // Throws the reader's last error.
  [[noreturn]] void ThrowLastError();
  HostServices& host() { return host_; }

  template <class T>
  T* Face(const wchar_t* name) {
    return static_cast<T*>(access_->GetInterface(name));
  }

 private:
  void Check(bool succeeded);
  ULONGLONG NumberProperty(const wchar_t* name);

  HostServices& host_;
  IInterfaceAccess* access_;
};

}  // namespace rechost

#endif  // RECHOST_READER_H
