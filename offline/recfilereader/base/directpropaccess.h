// The reader's private way to its own read-only properties: by number, past the table, so
// that the reader can publish what the host may only read. Registered as "IDirectPropAccess"
// (private). Neither operation counts as a change for the table hash.
#ifndef RECFILEREADER_BASE_DIRECTPROPACCESS_H
#define RECFILEREADER_BASE_DIRECTPROPACCESS_H

#include "recfilereader/compat.h"

// The numbers of the properties IDirectPropAccess reaches.
enum DirectProperty : LONG {
  kDirectBeginTimestamp = 0,   // "BeginTimestamp", unsigned 64-bit
  kDirectEndTimestamp = 1,     // "EndTimestamp", unsigned 64-bit
  kDirectBeginOfFile = 2,      // "BeginOfFile", boolean
  kDirectEndOfFile = 3,        // "EndOfFile", boolean
  kDirectCanChangeRecProp = 4,     // boolean
  kDirectCanChangeMarkers = 5,     // boolean
  kDirectCanChangeMarkerProp = 6,  // boolean
  kDirectCanExtractRecPart = 7,    // boolean
  kDirectDataPackagesVersion = 8,  // LONG
  kDirectDataChanged = 9,          // boolean
};

struct IDirectPropAccess {
  // 0: converts `value` into the property of that number; false for an unknown number or a null
  // value.
  virtual bool SetDirectProperty(LONG number, const PROPVARIANT* value) = 0;
  // 1: converts the property into `*value` (an empty value takes the property's own type,
  // VT_UI8 or VT_I4); false for an unknown number or a null value.
  virtual bool GetDirectProperty(LONG number, PROPVARIANT* value) = 0;

 protected:
  ~IDirectPropAccess() = default;
};

#endif  // RECFILEREADER_BASE_DIRECTPROPACCESS_H
