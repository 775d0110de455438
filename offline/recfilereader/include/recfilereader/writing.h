// Writing recordings back: saving changed properties, sources and markers into the open file,
// extracting a time span into a new recording, and repairing a recording whose tail is damaged.
// Extraction and repair run through the host's threaded-process service, so the host shows their
// progress and can abort them.
#ifndef RECFILEREADER_WRITING_H
#define RECFILEREADER_WRITING_H

#include "recfilereader/compat.h"

struct IRecordingSave {
  // 0: rewrites the tail of the open recording (sources, navigation, markers, properties);
  // when that fails the earlier tail is restored. Returns 1, or 0 when no recording is open
  // or the file cannot be written.
  virtual BOOL SaveRecording() = 0;

 protected:
  ~IRecordingSave() = default;
};

struct IRecordingEdit {
  // 0: writes the packages of the open recording from `begin` up to, not including, `end`,
  // with its sources, properties and the markers from `begin` to `end`, into a new recording
  // at `path`, which must not exist. Returns 1, or 0 with the failure (or the user's abort) in
  // the last error.
  virtual BOOL ExtractRecordingPart(const wchar_t* path, ULONGLONG begin, ULONGLONG end) = 0;

 protected:
  ~IRecordingEdit() = default;
};

struct IRecordingRepair {
  // 0: scans the recording at `path` block by block and rewrites its tail from what can be
  // read; true when it was repaired, false with the failure in the last error.
  virtual bool RepairRecording(const wchar_t* path) = 0;

 protected:
  ~IRecordingRepair() = default;
};

#endif  // RECFILEREADER_WRITING_H
