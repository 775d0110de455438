// The sources of the open recording: the devices that produced its data, each with a 16-byte
// identifier and a property table. Identifiers are made anew each time a recording is opened,
// so they hold only while it stays open. A property table handed out stays the reader's and is
// valid until its source is removed or the recording is closed.
#ifndef RECFILEREADER_SOURCES_H
#define RECFILEREADER_SOURCES_H

#include "recfilereader/compat.h"
#include "recfilereader/properties.h"

struct IRecordingSources2 {
  // 0: the number of sources into `*count`; true.
  virtual bool GetSourceCount(ULONG* count) = 0;
  // 1: the identifier of the source at `index` (in the order of the recording's configuration)
  // into `*id`; false for an index out of range.
  virtual bool GetSourceId(ULONG index, GUID* id) = 0;
  // 2: adds a source with an empty property table; false when `id` is already taken.
  virtual bool AddSource(REFGUID id) = 0;
  // 3: removes the source; false when there is none with that identifier.
  virtual bool RemoveSource(REFGUID id) = 0;
  // 4: the source's property table into `*properties`; false when there is no such source.
  virtual bool GetSource(REFGUID id, IRecordingObjectProperties** properties) = 0;
  // 5: hands back a table from GetSource; true.
  virtual bool ReleaseSource(IRecordingObjectProperties* properties) = 0;

 protected:
  ~IRecordingSources2() = default;
};

// The same sources, by position only.
struct IRecordingSources {
  // 0: the number of sources into `*count`; true.
  virtual bool GetSourceCount(ULONG* count) = 0;
  // 1: the property table of the source at `index` into `*properties`; false for an index
  // out of range.
  virtual bool GetSource(ULONG index, IRecordingObjectProperties** properties) = 0;
  // 2: hands back a table from GetSource; true.
  virtual bool ReleaseSource(IRecordingObjectProperties* properties) = 0;

 protected:
  ~IRecordingSources() = default;
};

#endif  // RECFILEREADER_SOURCES_H
