// Testing, opening and closing recordings. A reader holds one recording at a time; opening
// another closes the first. Operations that can fail record the failure in the reader's last
// error (IRecordingError) and return 0; a successful call records "No error".
#ifndef RECFILEREADER_READER_H
#define RECFILEREADER_READER_H

#include "recfilereader/compat.h"

// Access modes of IRecordingReaderEx::OpenEx.
constexpr ULONG kRecordingAccessWrite = 0;         // create a new recording for writing
constexpr ULONG kRecordingAccessRead = 1;          // open an existing recording for reading
constexpr ULONG kRecordingAccessWriteSecond = 2;   // create one signed with the second format

// Load flags of IRecordingReaderEx::OpenEx. Open derives them from its purpose; 36 and 32 are
// the other values it uses (32 loads no navigation data).
constexpr ULONG kRecordingLoadFull = 63;  // everything; a time span may then be extracted
// Sources and properties only, on the calling thread: no navigation data, no timestamps, no
// cursor. 3 does the same.
constexpr ULONG kRecordingLoadMetadataOnly = 7;

struct IRecordingSupport {
  // 0: tells whether the file at `path` is a recording this reader can open: `*supported`
  // becomes 1 or 0. Returns 1 when the test could be made (a file that is not a recording is
  // a successful test), 0 when the file could not be read.
  virtual BOOL IsFileSupported(const wchar_t* path, BOOL* supported) = 0;

 protected:
  ~IRecordingSupport() = default;
};

struct IRecordingReader {
  // 0: opens the recording at `path` for reading. Purpose 2 loads with flags 36, 3 with 7,
  // 4 with 32, any other with 63 (see OpenEx). Returns 1, or 0 with the reader closed.
  virtual BOOL Open(const wchar_t* path, ULONG purpose) = 0;
  // 1: closes the open recording, if any. Returns 1.
  virtual BOOL Close() = 0;

 protected:
  ~IRecordingReader() = default;
};

struct IRecordingReaderEx : IRecordingReader {
  // 2: opens `path` with a kRecordingAccess* mode: for reading, with kRecordingLoad* flags
  // that say how much is loaded; for writing, as a new recording whose data packages are then
  // appended with IRecordingDataEx::WriteDataPackages and which is finished by Close.
  // Returns 1, or 0 with the reader closed.
  virtual BOOL OpenEx(const wchar_t* path, ULONG access, ULONG load_flags) = 0;

 protected:
  ~IRecordingReaderEx() = default;
};

#endif  // RECFILEREADER_READER_H
