// Moving the cursor of the open recording by timestamp and by position, and comparing
// positions. A position is an opaque value of GetPositionSize bytes (the file position of a data
// package, 8 bytes) that the host keeps in a buffer of its own and hands back by pointer; the
// buffer needs no particular alignment. Positions order as unsigned 64-bit numbers.
#ifndef RECFILEREADER_NAVIGATION_H
#define RECFILEREADER_NAVIGATION_H

#include "recfilereader/compat.h"

struct IRecordingNavigate {
  // 0: moves the cursor to the first package whose timestamp is at least `timestamp`, which
  // must lie within the recording's span. Returns 1, or 0 with the cursor unchanged.
  virtual BOOL JumpToReferenceTimestamp(ULONGLONG timestamp) = 0;
  // 1: the timestamp at the cursor: the begin timestamp before the first package, the end
  // timestamp after the last, else the package's own. Returns 1, or 0 when none is open.
  virtual BOOL GetCurrentTimestamp(ULONGLONG* timestamp) = 0;

 protected:
  ~IRecordingNavigate() = default;
};

struct IRecordingPosition {
  // 0: the size of a position in bytes, 8.
  virtual ULONG GetPositionSize() = 0;
  // 1: the position at the cursor (the end of the data when the cursor is behind the last
  // package) into `position`. Returns 1, or 0 when no recording is open.
  virtual BOOL GetPosition(void* position) = 0;
  // 2: moves the cursor to the package at `position`, whose size must be GetPositionSize; the
  // end of the data puts it behind the last package. Returns 1, or 0 with the cursor unchanged.
  virtual BOOL SetPosition(const void* position, ULONG size) = 0;

 protected:
  ~IRecordingPosition() = default;
};

struct IRecordingPositionEx : IRecordingPosition {
  // 3: the position of the package after the one at `position`, or the end of the data, into
  // `next`; the cursor does not move. Returns 1 or 0.
  virtual BOOL GetNextPosition(const void* position, void* next) = 0;
  // 4: the position of a package before the one at `position` (not before the start of the
  // data) into `previous`; the cursor does not move. Returns 1 or 0.
  virtual BOOL GetPrevPosition(const void* position, void* previous) = 0;

 protected:
  ~IRecordingPositionEx() = default;
};

struct IRecordingPositionCmp {
  // 0: `*equal` becomes 1 when the two positions are equal, else 0. Returns 1.
  virtual BOOL IsPositionEqual(const void* a, const void* b, BOOL* equal) = 0;
  // 1: `*less` becomes 1 when `a` lies before `b`, else 0. Returns 1.
  virtual BOOL IsPositionLess(const void* a, const void* b, BOOL* less) = 0;

 protected:
  ~IRecordingPositionCmp() = default;
};

#endif  // RECFILEREADER_NAVIGATION_H
