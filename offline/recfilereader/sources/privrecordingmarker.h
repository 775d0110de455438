// How the library's own parts (loaders, metadata extraction, saving, extraction, repair) hand
// the whole marker set to the markers manager and take it back ("IPrivRecordingMarker",
// registered privately, so a host never gets it).
#ifndef RECFILEREADER_SOURCES_PRIVRECORDINGMARKER_H
#define RECFILEREADER_SOURCES_PRIVRECORDINGMARKER_H

#include "sources/markerset.h"

struct IPrivRecordingMarker {
  // 0: replaces every marker with copies of `markers`' entries; the recording then counts as
  // unchanged.
  virtual void SetMarkers(const recfilereader::MarkerSet& markers) = 0;
  // 1: empties `markers` and fills it with copies of every marker's properties.
  virtual void GetMarkers(recfilereader::MarkerSet& markers) = 0;

 protected:
  ~IPrivRecordingMarker() = default;
};

#endif  // RECFILEREADER_SOURCES_PRIVRECORDINGMARKER_H
