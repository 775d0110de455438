// CRecMarkersMgr: the markers of the open recording, each a timestamp with its own property
// table, kept in ascending timestamp order. Hosts reach it as "IRecordingMarker" (count,
// timestamps, add, delete, property tables); the library's own parts exchange the whole set
// through "IPrivRecordingMarker". Adding or deleting a marker, and handing back a table that
// was changed, set the reader's "DataChanged".
//
// A table handed out stays valid while its marker exists. Not thread-safe: the host's one
// calling thread uses it.
#ifndef RECFILEREADER_SOURCES_RECMARKERSMGR_H
#define RECFILEREADER_SOURCES_RECMARKERSMGR_H

#include <map>
#include <string>

#include "base/scopedregistration.h"
#include "properties/propertymap.h"
#include "properties/propmanager.h"
#include "recfilereader/markers.h"
#include "sources/markerset.h"
#include "sources/privrecordingmarker.h"

namespace recfilereader {

class CRecMarkersMgr final : public IRecordingMarker, public IPrivRecordingMarker {
 public:
  // `context` is the reader's service context: it registers "IRecordingMarker" (public) and
  // "IPrivRecordingMarker" (private) there for the manager's life, and gives the reader's
  // "IDirectPropAccess" (without it "DataChanged" is not kept) and the host's error manager
  // for warnings. A null context registers nothing (for tests of the manager alone).
  explicit CRecMarkersMgr(IInterfaceAccess* context);
  CRecMarkersMgr(const CRecMarkersMgr&) = delete;
  CRecMarkersMgr& operator=(const CRecMarkersMgr&) = delete;

  // IRecordingMarker
  bool GetMarkerCount(ULONG* count) override;
  bool GetMarkerTimestamp(ULONG index, LONGLONG* timestamp) override;
  bool AddMarker(LONGLONG timestamp) override;
  bool DeleteMarker(LONGLONG timestamp) override;
  bool GetMarkerProperties(LONGLONG timestamp, IRecordingObjectProperties** properties) override;
  bool ReleaseMarkerProperties(IRecordingObjectProperties* properties) override;
  // IPrivRecordingMarker. Raise com_error or std::bad_alloc when a value cannot be copied.
  void SetMarkers(const MarkerSet& markers) override;
  void GetMarkers(MarkerSet& markers) override;

  // The marker operations on a marker set, as the loaders apply what they read.
  // Adds a marker whose table holds only an empty "Description"; false when one exists.
  static bool AddMarkerTo(MarkerSet& markers, LONGLONG timestamp);
  // Sets one property of a marker; a timestamp that names no marker is added first, so
  // nothing read is lost.
  static void SetMarkerProperty(MarkerSet& markers, LONGLONG timestamp, const std::wstring& name,
                                PropertyValue value);

 private:
  struct Marker {
    CPropManager properties;
    ULONG references = 0;           // tables handed out and not yet released
    DWORD saved_hash = 0xFFFFFFFF;  // the table's hash when it was last known unchanged
  };

  static void Fill(CPropManager& table, const PropertyMap& properties);
  void SetDataChanged(bool changed);
  // Reports text + timestamp + rest to the host as a warning.
  void Warn(const wchar_t* text, LONGLONG timestamp, const wchar_t* rest) noexcept;

  IInterfaceAccess* context_;
  std::map<LONGLONG, Marker> markers_;
  ScopedRegistration public_registration_;
  ScopedRegistration private_registration_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_SOURCES_RECMARKERSMGR_H
