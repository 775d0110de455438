#include "sources/recsourcesmgr.h"

#include <sys/random.h>

#include <iterator>
#include <new>

namespace recfilereader {

bool CreateRandomGuid(GUID& guid) {
  std::uint8_t bytes[sizeof(GUID)];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  bytes[7] = static_cast<std::uint8_t>((bytes[7] & 0x0F) | 0x40);  // version 4, in Data3's high nibble
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // the standard variant
  std::memcpy(&guid, bytes, sizeof guid);
  return true;
}

CRecSourcesMgrOld::CRecSourcesMgrOld(IInterfaceAccess* owner, CRecSourcesMgr& sources)
    : sources_(sources), registration_(owner, L"IRecordingSources", static_cast<IRecordingSources*>(this), true) {}

bool CRecSourcesMgrOld::GetSourceCount(ULONG* count) { return sources_.GetSourceCount(count); }

bool CRecSourcesMgrOld::GetSource(ULONG index, IRecordingObjectProperties** properties) {
  CPropManager* table = sources_.SourceAt(index);
  if (table == nullptr || properties == nullptr) return false;
  *properties = table;
  return true;
}

CRecSourcesMgr::CRecSourcesMgr(IInterfaceAccess* owner, GuidGenerator generator)
    : generator_(std::move(generator)),
      registration_(owner, L"IRecordingSources2", static_cast<IRecordingSources2*>(this), true),
      old_view_(owner, *this) {}

bool CRecSourcesMgr::GetSourceCount(ULONG* count) {
  if (count == nullptr) return false;
  *count = static_cast<ULONG>(sequence_.size());
  return true;
}

CPropManager* CRecSourcesMgr::SourceAt(ULONG index) {
  if (index >= sequence_.size()) return nullptr;
  return &std::next(sequence_.begin(), index)->properties;
}

bool CRecSourcesMgr::GetSourceId(ULONG index, GUID* id) {
  if (index >= sequence_.size() || id == nullptr) return false;
  *id = std::next(sequence_.begin(), index)->id;
  return true;
}

bool CRecSourcesMgr::AddSource(REFGUID id) {
  if (by_id_.count(id) != 0) return false;
  try {
    sequence_.push_back(Source{id, {}});
  } catch (const std::bad_alloc&) {
    return false;
  }
  try {
    by_id_.emplace(id, std::prev(sequence_.end()));
  } catch (const std::bad_alloc&) {
    sequence_.pop_back();
    return false;
  }
  return true;
}

bool CRecSourcesMgr::RemoveSource(REFGUID id) {
  const auto it = by_id_.find(id);
  if (it == by_id_.end()) return false;
  sequence_.erase(it->second);
  by_id_.erase(it);
  return true;
}

bool CRecSourcesMgr::GetSource(REFGUID id, IRecordingObjectProperties** properties) {
  const auto it = by_id_.find(id);
  if (it == by_id_.end() || properties == nullptr) return false;
  *properties = &it->second->properties;
  return true;
}

void CRecSourcesMgr::ReplaceSources(const DeviceList& devices) {
  by_id_.clear();
  sequence_.clear();
  for (const PropertyMap& device : devices) {
    GUID id{};
    if (!generator_ || !generator_(id)) return;
    if (by_id_.count(id) != 0) continue;  // a generator that repeats itself cannot add twice
    Source& source = sequence_.emplace_back(Source{id, {}});
    by_id_.emplace(id, std::prev(sequence_.end()));
    for (const auto& [name, value] : device) source.properties.Put(name, value.get());
  }
}

DeviceList CRecSourcesMgr::GetDevices() const {
  DeviceList devices;
  for (const Source& source : sequence_) {
    PropertyMap& device = devices.emplace_back();
    for (const auto& [name, value] : source.properties.table()) device.emplace(name, value);
  }
  return devices;
}

}  // namespace recfilereader
