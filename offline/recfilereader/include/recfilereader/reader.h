// Testing, opening and closing recordings. A reader holds one recording at a time; opening
// another closes the first. Operations that can fail record the failure in the reader's last
// error (IRecordingError) and return 0; a successful call records "No error".
#ifndef RECFILEREADER_READER_H
#define RECFILEREADER_READER_H

#include "recfilereader/compat.h"

// Access modes of IRecordingReaderEx::OpenEx.
constexpr ULONG kRecordingAccessWrite = 0;  // create a new recording for writing
constexpr ULONG kRecordingAccessRead = 1;   // open an existing recording for reading
// Create a new recording signed with the second format identifier, whose packages may be
// compressed.
constexpr ULONG kRecordingAccessWriteSecond = 2;

// Load flags of IRecordingReaderEx::OpenEx, saying what an open for reading loads. Values not
// listed here load the navigation data only (32 loads nothing).
constexpr ULONG kRecordingLoadFull = 63;  // everything; a time span may then be extracted
constexpr ULONG kRecordingLoadSourcesAndNavigation = 36;
// Sources, recording and system properties only, on the calling thread: no navigation data,
// no markers, no timestamps, no cursor. 3 does the same.
constexpr ULONG kRecordingLoadMetadataOnly = 7;

struct IRecordingSupport {
  // 0: tells whether the file at `path` is a recording this reader can open: `*supported`
  // becomes 1 or 0 when the file starts with a file header, and is left alone otherwise (so
  // the host sets it to 0 first). Returns 1 when the test could be made (a file that is not a
  // recording is a successful test), 0 when the file could not be read.
  virtual BOOL IsFileSupported(const wchar_t* path, BOOL* supported) = 0;

 protected:
  ~IRecordingSupport() = default;
};

struct IRecordingReader {
  // 0: opens the recording at `path` for reading with the load flags of `purpose`: 2 gives
  // 36, 3 gives 7, 4 gives 32, any other 63 (see OpenEx). Returns 1, or 0 with the reader
  // closed.
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
