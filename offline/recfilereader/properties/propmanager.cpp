#include "properties/propmanager.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

#include "base/exceptions.h"
#include "base/guard.h"
#include "platform/textconv.h"
#include "properties/propertyhash.h"
#include "recfilereader/propvariant.h"

namespace recfilereader {

CPropManager::CPropManager(const CPropManager& other)
    : IRecordingObjectProperties(), IObjectPropertyTableHash() {
  Merge(other);
}

LONG CPropManager::GetPropertyCount() { return static_cast<LONG>(table_.size()); }

bool CPropManager::GetPropertyName(LONG index, wchar_t* buffer, LONG capacity) {
  if (index < 0 || static_cast<std::size_t>(index) >= table_.size()) return false;
  if (buffer == nullptr || capacity <= 0) return false;
  const std::wstring& name = std::next(table_.begin(), index)->first;
  const std::size_t length = std::min(name.size(), static_cast<std::size_t>(capacity - 1));
  std::wmemcpy(buffer, name.c_str(), length);
  buffer[length] = L'\0';
  return true;
}

bool CPropManager::GetProperty(const wchar_t* name, PROPVARIANT* value) {
  if (name == nullptr || value == nullptr) return false;
  return Contained(false, [&] {
    const auto entry = table_.find(name);
    if (entry == table_.end()) return false;
    PropVariantClear(value);
    return SUCCEEDED(PropVariantCopy(value, &entry->second.get()));
  });
}

bool CPropManager::SetProperty(const wchar_t* name, const PROPVARIANT* value) {
  if (name == nullptr || value == nullptr) return false;
  return Contained(false, [&] {
    Put(name, *value);
    return true;
  });
}

bool CPropManager::GetPropertyFlags(const wchar_t*, ULONG* flags) {
  if (flags != nullptr) *flags = 0;
  return true;
}

bool CPropManager::DeletePropertyByName(const wchar_t* name) {
  if (name == nullptr) return false;
  return Contained(false, [&] {
    const auto entry = table_.find(name);
    if (entry == table_.end()) return false;
    table_.erase(entry);
    hash_valid_ = false;
    return true;
  });
}

DWORD CPropManager::GetTableHash() {
  if (hash_valid_) return table_hash_;
  return Contained(table_hash_, [&] {
    DWORD hash = kEmptyTableHash;
    for (const auto& [name, value] : table_) {
      if (value.get().vt != VT_EMPTY) hash = FoldPropertyValue(hash, value.get(), HashScope::kFreeForm);
    }
    table_hash_ = hash;
    hash_valid_ = true;
    return hash;
  });
}

void CPropManager::Put(const std::wstring& name, const PROPVARIANT& value) {
  const auto [entry, inserted] = table_.try_emplace(name);
  // Copied before the old value goes, so a failed copy leaves the entry as it was.
  PROPVARIANT copy;
  const HRESULT copied = PropVariantCopy(&copy, &value);
  if (FAILED(copied)) {
    if (inserted) table_.erase(entry);
    throw com_error(copied);
  }
  const HRESULT cleared = PropVariantClear(&entry->second.get());
  if (FAILED(cleared)) {
    PropVariantClear(&copy);
    throw com_error(cleared);
  }
  entry->second.get() = copy;
  hash_valid_ = false;
}

const PROPVARIANT* CPropManager::Find(const std::wstring& name) const {
  const auto entry = table_.find(name);
  return entry == table_.end() ? nullptr : &entry->second.get();
}

void CPropManager::Assign(const CPropManager& other) {
  if (&other == this) return;
  Clear();
  Merge(other);
}

void CPropManager::Merge(const CPropManager& other) {
  if (&other == this) return;
  for (const auto& [name, value] : other.table_) Put(name, value.get());
}

void CPropManager::Clear() {
  table_.clear();
  hash_valid_ = false;
}

}  // namespace recfilereader
