// The markers of the open recording: points in time, unique by timestamp, each with a property
// table ("Description", "AudioComment" and whatever the host adds). Adding or deleting a marker,
// and handing back a changed property table, mark the recording's data as changed.
#ifndef RECFILEREADER_MARKERS_H
#define RECFILEREADER_MARKERS_H

#include "recfilereader/compat.h"
#include "recfilereader/properties.h"

struct IRecordingMarker {
  // 0: the number of markers into `*count`; true.
  virtual bool GetMarkerCount(ULONG* count) = 0;
  // 1: the timestamp of the marker at `index`, in ascending timestamp order, into
  // `*timestamp`; false for an index out of range.
  virtual bool GetMarkerTimestamp(ULONG index, LONGLONG* timestamp) = 0;
  // 2: adds a marker whose table holds an empty "Description"; false when a marker with that
  // timestamp exists.
  virtual bool AddMarker(LONGLONG timestamp) = 0;
  // 3: deletes the marker, even while its table is held (which is reported to the host);
  // false when there is no such marker.
  virtual bool DeleteMarker(LONGLONG timestamp) = 0;
  // 4: the marker's property table into `*properties`; hand it back with
  // ReleaseMarkerProperties. False when there is no such marker.
  virtual bool GetMarkerProperties(LONGLONG timestamp,
                                   IRecordingObjectProperties** properties) = 0;
  // 5: hands back a table from GetMarkerProperties. False when it is no marker's table or was
  // released more often than got (which is reported to the host).
  virtual bool ReleaseMarkerProperties(IRecordingObjectProperties* properties) = 0;

 protected:
  ~IRecordingMarker() = default;
};

#endif  // RECFILEREADER_MARKERS_H
