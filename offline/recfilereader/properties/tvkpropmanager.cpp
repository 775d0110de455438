#include "properties/tvkpropmanager.h"

#include <algorithm>
#include <cwchar>

#include "base/exceptions.h"
#include "base/guard.h"
#include "platform/textconv.h"
#include "properties/propertyhash.h"
#include "properties/propvalue.h"
#include "recfilereader/propvariant.h"

namespace recfilereader {
namespace {

void CopyText(wchar_t* target, std::size_t capacity, const wchar_t* text) {
  std::wcsncpy(target, text, capacity - 1);
  target[capacity - 1] = L'\0';
}

// Step 1 of every handler: counts the offer and tells whether this property is the one sought.
// On a match of a read, the name (by position) and the flags go into the request.
bool MatchProperty(PropertyRequest& request, const wchar_t* name, ULONG flags) {
  ++request.counter;
  const bool match = request.by_index != 0 ? request.index == static_cast<LONG>(request.counter - 1)
                                           : WideCompareNoCase(request.name, name) == 0;
  if (!match) return false;
  if (request.operation == kPropertyRead) {
    if (request.by_index != 0) request.name = name;
    request.flags = flags;
  }
  request.result = 1;
  return true;
}

// The descriptive part of a read.
void DescribeProperty(PropertyRequest& request, const PropertyDescriptor& descriptor) {
  CopyText(request.category, kPropertyTextCapacity, kDefaultPropertyCategory);
  CopyText(request.description, kPropertyTextCapacity, kDefaultPropertyDescription);
  request.descriptor = descriptor;
}

// Step 2 for members that convert directly: read the member into the request's value or write
// the request's value into the member, unless the property is read-only.
template <class T>
bool ServeNumber(PropertyRequest& request, T& member, ULONG flags, const PropertyDescriptor& descriptor) {
  if (request.operation == kPropertyWrite) {
    request.result = (flags & kPropertyFlagReadOnly) != 0 ? 0 : ConvertPropValue(member, request.value, false);
    return true;
  }
  DescribeProperty(request, descriptor);
  T copy = member;
  request.result = ConvertPropValue(copy, request.value, true);
  return true;
}

template <class T>
bool OfferNumber(PropertyRequest& request, const wchar_t* name, T& member, ULONG flags,
                 const PropertyDescriptor& descriptor) {
  if (!MatchProperty(request, name, flags)) return false;
  return ServeNumber(request, member, flags, descriptor);
}

}  // namespace

bool CTVKPropManager::OfferProperty(PropertyRequest& request, const wchar_t* name, ULONGLONG& member, ULONG flags,
                                    const PropertyDescriptor& descriptor) {
  return OfferNumber(request, name, member, flags, descriptor);
}

bool CTVKPropManager::OfferProperty(PropertyRequest& request, const wchar_t* name, LONG& member, ULONG flags,
                                    const PropertyDescriptor& descriptor) {
  return OfferNumber(request, name, member, flags, descriptor);
}

bool CTVKPropManager::OfferProperty(PropertyRequest& request, const wchar_t* name, ULONG& member, ULONG flags,
                                    const PropertyDescriptor& descriptor) {
  return OfferNumber(request, name, member, flags, descriptor);
}

bool CTVKPropManager::OfferProperty(PropertyRequest& request, const wchar_t* name, double& member, ULONG flags,
                                    const PropertyDescriptor& descriptor) {
  return OfferNumber(request, name, member, flags, descriptor);
}

// A boolean travels as LONG 0 or 1 and is stored as non-zero.
bool CTVKPropManager::OfferProperty(PropertyRequest& request, const wchar_t* name, bool& member, ULONG flags,
                                    const PropertyDescriptor& descriptor) {
  if (!MatchProperty(request, name, flags)) return false;
  LONG number = member ? 1 : 0;
  ServeNumber(request, number, flags, descriptor);
  if (request.operation == kPropertyWrite && (flags & kPropertyFlagReadOnly) == 0) member = number != 0;
  return true;
}

bool CTVKPropManager::OfferProperty(PropertyRequest& request, const wchar_t* name,
                                    const std::vector<std::wstring>* list, ULONG flags,
                                    const PropertyDescriptor& descriptor) {
  if (list == nullptr) return false;  // an absent list is not a property at all
  if (!MatchProperty(request, name, flags)) return false;
  if (request.operation == kPropertyWrite) {
    request.result = 0;  // lists are never written
    return true;
  }
  DescribeProperty(request, descriptor);
  for (std::size_t i = 0; i < list->size(); ++i) {
    const bool converted = SetPropWString(request.value, (*list)[i].c_str(), static_cast<LONG>(i));
    request.result = request.result != 0 && converted ? 1 : 0;
  }
  return true;
}

bool CTVKPropManager::ProcessProperties(PropertyRequest&) { return false; }

bool CTVKPropManager::Walk(PropertyRequest& request) { return ProcessProperties(request); }

LONG CTVKPropManager::GetPropertyCount() {
  return Contained<LONG>(0, [&] {
    PropertyRequest request;
    request.wanted = kWantCount;
    request.by_index = 1;
    request.index = -1;
    Walk(request);
    return static_cast<LONG>(request.counter);
  });
}

bool CTVKPropManager::GetPropertyName(LONG index, wchar_t* buffer, LONG capacity) {
  if (index < 0 || buffer == nullptr || capacity <= 0) return false;
  buffer[0] = L'\0';
  return Contained(false, [&] {
    PropertyRequest request;
    request.wanted = kWantName;
    request.by_index = 1;
    request.index = index;
    if (Walk(request)) {
      const std::size_t length = std::min(request.name.size(), static_cast<std::size_t>(capacity - 1));
      std::wmemcpy(buffer, request.name.c_str(), length);
      buffer[length] = L'\0';
    }
    return request.result != 0;
  });
}

bool CTVKPropManager::GetProperty(const wchar_t* name, PROPVARIANT* value) {
  if (name == nullptr || value == nullptr) return false;
  return Contained(false, [&] {
    if (!CanGetProperty(name)) return false;
    PropertyRequest request;
    request.wanted = kWantValue;
    request.name = name;
    if (!Walk(request) || request.result == 0) return false;
    if (FAILED(PropVariantClear(value))) throw com_error(E_FAIL);
    *value = request.value;  // moved, not copied: the request forgets it
    request.Forget();
    return true;
  });
}

bool CTVKPropManager::SetProperty(const wchar_t* name, const PROPVARIANT* value) {
  if (name == nullptr || value == nullptr) return false;
  return Contained(false, [&] {
    PropertyRequest request;
    request.operation = kPropertyWrite;
    request.wanted = kWantValue;
    request.name = name;
    request.Borrow(*value);
    bool changed = false;
    try {
      if (CanSetProperty(name, value)) changed = Walk(request) && request.result != 0;
    } catch (...) {
      request.Forget();
      throw;
    }
    request.Forget();  // the value stays the caller's
    if (changed) {
      hash_dirty_ = 1;
      OnPropertyChanged(name);
    }
    return changed;
  });
}

bool CTVKPropManager::GetPropertyFlags(const wchar_t* name, ULONG* flags) {
  if (flags != nullptr) *flags = 0;
  if (name == nullptr) return false;
  return Contained(false, [&] {
    PropertyRequest request;
    request.wanted = kWantFlags;
    request.name = name;
    if (Walk(request) && flags != nullptr) *flags = request.flags;
    return request.result != 0;
  });
}

bool CTVKPropManager::GetPropertyInfo(const wchar_t* name, PropertyInfo* info) {
  if (name == nullptr) return false;
  return Contained(false, [&] {
    PropertyRequest request;
    request.wanted = kWantInformation;
    request.name = name;
    if (!Walk(request)) return false;
    // The first texts seen for a name stay, so pointers handed out earlier remain valid.
    const auto entry = information_.try_emplace(name, request.category, request.description).first;
    if (info != nullptr) {
      info->Flags = request.flags;
      info->Descriptor = request.descriptor;
      info->Category = entry->second.first.c_str();
      info->Description = entry->second.second.c_str();
    }
    return request.result != 0;
  });
}

void CTVKPropManager::OnPropertyChanged(const wchar_t*) {}
bool CTVKPropManager::CanGetProperty(const wchar_t*) { return true; }
bool CTVKPropManager::CanSetProperty(const wchar_t*, const PROPVARIANT*) { return true; }

DWORD CTVKPropManager::ComputeTableHash() {
  DWORD hash = kEmptyTableHash;
  const LONG count = GetPropertyCount();
  for (LONG position = 0; position < count; ++position) {
    PropertyRequest request;
    request.wanted = kWantNameAndFlags;
    request.by_index = 1;
    request.index = position;
    if (!Walk(request)) continue;
    if ((request.flags & (kPropertyFlagReadOnly | kPropertyFlagUnhashed)) != 0) continue;
    PROPVARIANT value;
    PropVariantInit(&value);
    if (GetProperty(request.name.c_str(), &value)) hash = FoldPropertyValue(hash, value, HashScope::kDeclared);
    PropVariantClear(&value);
  }
  return hash;
}

DWORD CTVKPropManager::GetTableHash() {
  if (hash_dirty_ == 0) return table_hash_;
  return Contained(table_hash_, [&] {
    table_hash_ = ComputeTableHash();
    hash_dirty_ = 0;
    return table_hash_;
  });
}

void* CTVKPropManager::GetInterface(const wchar_t* name) {
  if (name == nullptr) return nullptr;
  if (std::wcscmp(name, L"IObjectProperties") == 0 || std::wcscmp(name, L"IExObjectProperties") == 0)
    return static_cast<IExObjectProperties*>(this);
  if (std::wcscmp(name, L"IObjectPropertyTableHash") == 0) return static_cast<IObjectPropertyTableHash*>(this);
  return nullptr;
}

}  // namespace recfilereader
