#include "sources/recmarkersmgr.h"

#include <iterator>
#include <utility>

#include "base/directpropaccess.h"
#include "base/guard.h"
#include "host/reporttohost.h"
#include "properties/propvalue.h"
#include "recfilereader/propertynames.h"

namespace recfilereader {
namespace {

constexpr DWORD kWarning = 2;

PropertyMap NewMarkerProperties() {
  PropertyMap properties;
  SetPropWString(properties[kMarkerPropDescription].get(), L"");
  return properties;
}

}  // namespace

CRecMarkersMgr::CRecMarkersMgr(IInterfaceAccess* context)
    : context_(context),
      public_registration_(context, L"IRecordingMarker", static_cast<IRecordingMarker*>(this), true),
      private_registration_(context, L"IPrivRecordingMarker", static_cast<IPrivRecordingMarker*>(this),
                            false) {}

bool CRecMarkersMgr::GetMarkerCount(ULONG* count) {
  if (count == nullptr) return false;
  *count = static_cast<ULONG>(markers_.size());
  return true;
}

bool CRecMarkersMgr::GetMarkerTimestamp(ULONG index, LONGLONG* timestamp) {
  if (timestamp == nullptr || index >= markers_.size()) return false;
  *timestamp = std::next(markers_.begin(), index)->first;
  return true;
}

bool CRecMarkersMgr::AddMarker(LONGLONG timestamp) {
  return Contained(false, [&] {
    const auto [entry, added] = markers_.try_emplace(timestamp);
    if (!added) return false;
    try {
      Fill(entry->second.properties, NewMarkerProperties());
    } catch (...) {
      markers_.erase(entry);
      throw;
    }
    SetDataChanged(true);
    return true;
  });
}

bool CRecMarkersMgr::DeleteMarker(LONGLONG timestamp) {
  const auto entry = markers_.find(timestamp);
  if (entry == markers_.end()) return false;
  if (entry->second.references != 0) {
    Warn(L"Marker with timestamp ", timestamp,
         L" is being deleted, but marker properties interface is not released");
  }
  markers_.erase(entry);
  SetDataChanged(true);
  return true;
}

bool CRecMarkersMgr::GetMarkerProperties(LONGLONG timestamp, IRecordingObjectProperties** properties) {
  const auto entry = markers_.find(timestamp);
  if (properties == nullptr || entry == markers_.end()) return false;
  *properties = &entry->second.properties;
  ++entry->second.references;
  return true;
}

bool CRecMarkersMgr::ReleaseMarkerProperties(IRecordingObjectProperties* properties) {
  for (auto& [timestamp, marker] : markers_) {
    if (static_cast<IRecordingObjectProperties*>(&marker.properties) != properties) continue;
    if (marker.references == 0) {
      Warn(L"Marker properties interface is being released more times then queried, marker timestamp ",
           timestamp, L"");
      return false;
    }
    if (--marker.references == 0) {
      const DWORD hash = marker.properties.GetTableHash();
      if (hash != marker.saved_hash) SetDataChanged(true);
      marker.saved_hash = hash;
    }
    return true;
  }
  return false;
}

void CRecMarkersMgr::SetMarkers(const MarkerSet& markers) {
  std::map<LONGLONG, Marker> rebuilt;
  for (const auto& [timestamp, properties] : markers) {
    Marker& marker = rebuilt[timestamp];
    Fill(marker.properties, properties);
    marker.saved_hash = marker.properties.GetTableHash();
  }
  markers_.swap(rebuilt);
  SetDataChanged(false);
}

void CRecMarkersMgr::GetMarkers(MarkerSet& markers) {
  markers.clear();
  for (const auto& [timestamp, marker] : markers_) {
    PropertyMap& properties = markers[timestamp];
    for (const auto& [name, value] : marker.properties.table()) properties.emplace(name, value);
  }
}

bool CRecMarkersMgr::AddMarkerTo(MarkerSet& markers, LONGLONG timestamp) {
  if (markers.contains(timestamp)) return false;
  markers.emplace(timestamp, NewMarkerProperties());
  return true;
}

void CRecMarkersMgr::SetMarkerProperty(MarkerSet& markers, LONGLONG timestamp, const std::wstring& name,
                                       PropertyValue value) {
  AddMarkerTo(markers, timestamp);
  markers[timestamp][name] = std::move(value);
}

void CRecMarkersMgr::Fill(CPropManager& table, const PropertyMap& properties) {
  for (const auto& [name, value] : properties) table.Put(name, value.get());
}

void CRecMarkersMgr::SetDataChanged(bool changed) {
  auto* direct = context_ != nullptr
                     ? static_cast<IDirectPropAccess*>(context_->GetInterface(L"IDirectPropAccess"))
                     : nullptr;
  if (direct == nullptr) return;
  PROPVARIANT value;
  PropVariantInit(&value);
  SetPropBool(value, changed);
  direct->SetDirectProperty(kDirectDataChanged, &value);
}

void CRecMarkersMgr::Warn(const wchar_t* text, LONGLONG timestamp, const wchar_t* rest) noexcept {
  Contained(0, [&] {
    ReportToHost(context_, kWarning, 0, text + std::to_wstring(timestamp) + rest);
    return 0;
  });
}

}  // namespace recfilereader
