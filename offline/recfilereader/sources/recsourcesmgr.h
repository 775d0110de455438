// The sources of the open recording: the devices of its configuration, each under a random
// 16-byte identifier made when the sources are built (so identifiers hold only while the
// recording stays open) with a property table holding the device's properties. Hosts reach
// them as "IRecordingSources2" and, by position only, through the old view "IRecordingSources";
// both are public entries of the owner's registry for the manager's lifetime.
//
// Not thread-safe: used on the host's calling thread. No interface operation throws.
#ifndef RECFILEREADER_SOURCES_RECSOURCESMGR_H
#define RECFILEREADER_SOURCES_RECSOURCESMGR_H

#include <cstring>
#include <functional>
#include <list>
#include <map>

#include "base/scopedregistration.h"
#include "properties/propmanager.h"
#include "recfilereader/sources.h"
#include "sources/fileconfigparser.h"

namespace recfilereader {

// Makes a new random identifier; false when the generator fails.
using GuidGenerator = std::function<bool(GUID&)>;
// A version-4 GUID from the system's random source.
bool CreateRandomGuid(GUID& guid);

class CRecSourcesMgr;

// The old view: the same sources, by position.
class CRecSourcesMgrOld final : public IRecordingSources {
 public:
  CRecSourcesMgrOld(IInterfaceAccess* owner, CRecSourcesMgr& sources);
  CRecSourcesMgrOld(const CRecSourcesMgrOld&) = delete;
  CRecSourcesMgrOld& operator=(const CRecSourcesMgrOld&) = delete;

  bool GetSourceCount(ULONG* count) override;
  bool GetSource(ULONG index, IRecordingObjectProperties** properties) override;
  bool ReleaseSource(IRecordingObjectProperties*) override { return true; }

 private:
  CRecSourcesMgr& sources_;
  ScopedRegistration registration_;
};

class CRecSourcesMgr final : public IRecordingSources2 {
 public:
  // Registers both views publicly through `owner` (nothing without one).
  explicit CRecSourcesMgr(IInterfaceAccess* owner, GuidGenerator generator = CreateRandomGuid);
  CRecSourcesMgr(const CRecSourcesMgr&) = delete;
  CRecSourcesMgr& operator=(const CRecSourcesMgr&) = delete;

  bool GetSourceCount(ULONG* count) override;
  bool GetSourceId(ULONG index, GUID* id) override;
  bool AddSource(REFGUID id) override;
  bool RemoveSource(REFGUID id) override;
  bool GetSource(REFGUID id, IRecordingObjectProperties** properties) override;
  bool ReleaseSource(IRecordingObjectProperties*) override { return true; }

  // Drops every source and adds one per device, in list order, under new identifiers. When
  // the generator fails, the remaining devices are left out.
  void ReplaceSources(const DeviceList& devices);
  // The sources' properties in order, as the saver writes them back.
  DeviceList GetDevices() const;
  // The property table of the source at `index` in insertion order, or null.
  CPropManager* SourceAt(ULONG index);

  CRecSourcesMgrOld& old_view() { return old_view_; }

 private:
  struct Source {
    GUID id;
    CPropManager properties;
  };
  // Identifiers in memory order, byte by byte as unsigned values.
  struct GuidLess {
    bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
  };
  using Sequence = std::list<Source>;

  // The insertion order of the host's indexes, and the unique index by identifier.
  Sequence sequence_;
  std::map<GUID, Sequence::iterator, GuidLess> by_id_;
  GuidGenerator generator_;
  ScopedRegistration registration_;
  CRecSourcesMgrOld old_view_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_SOURCES_RECSOURCESMGR_H
