#include "support/fakeowner.h"

#include <cwchar>
#include <iterator>

namespace rectest {

FakePropertyTable::~FakePropertyTable() {
  for (auto& [name, value] : values_) PropVariantClear(&value);
}

bool FakePropertyTable::GetPropertyName(LONG index, wchar_t* buffer, LONG capacity) {
  if (buffer == nullptr || capacity < 1 || index < 0 || index >= GetPropertyCount()) return false;
  auto it = values_.begin();
  std::advance(it, index);
  std::wcsncpy(buffer, it->first.c_str(), static_cast<std::size_t>(capacity - 1));
  buffer[capacity - 1] = L'\0';
  return true;
}

bool FakePropertyTable::GetProperty(const wchar_t* name, PROPVARIANT* value) {
  auto it = values_.find(name);
  if (it == values_.end()) return false;
  PropVariantClear(value);
  return PropVariantCopy(value, &it->second) == S_OK;
}

bool FakePropertyTable::SetProperty(const wchar_t* name, const PROPVARIANT* value) {
  PROPVARIANT& slot = values_[name];
  PropVariantClear(&slot);
  return PropVariantCopy(&slot, value) == S_OK;
}

bool FakePropertyTable::GetPropertyFlags(const wchar_t* name, ULONG* flags) {
  *flags = 0;
  return values_.count(name) != 0;
}

void FakePropertyTable::SetUI4(const std::wstring& name, std::uint32_t value) {
  PROPVARIANT v{};
  v.vt = VT_UI4;
  v.ulVal = value;
  SetProperty(name.c_str(), &v);
}

void FakePropertyTable::SetUI8(const std::wstring& name, std::uint64_t value) {
  PROPVARIANT v{};
  v.vt = VT_UI8;
  v.uhVal = value;
  SetProperty(name.c_str(), &v);
}

void FakePropertyTable::SetI4(const std::wstring& name, std::int32_t value) {
  PROPVARIANT v{};
  v.vt = VT_I4;
  v.lVal = value;
  SetProperty(name.c_str(), &v);
}

void FakePropertyTable::SetR8(const std::wstring& name, double value) {
  PROPVARIANT v{};
  v.vt = VT_R8;
  v.dblVal = value;
  SetProperty(name.c_str(), &v);
}

void FakePropertyTable::SetBool(const std::wstring& name, bool value) {
  PROPVARIANT v{};
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  SetProperty(name.c_str(), &v);
}

void FakePropertyTable::SetText(const std::wstring& name, const std::wstring& value) {
  PROPVARIANT v{};
  v.vt = VT_LPWSTR;
  v.pwszVal = const_cast<wchar_t*>(value.c_str());
  SetProperty(name.c_str(), &v);  // copies the text
}

void FakePropertyTable::Remove(const std::wstring& name) {
  auto it = values_.find(name);
  if (it == values_.end()) return;
  PropVariantClear(&it->second);
  values_.erase(it);
}

FakeOwner::FakeOwner() { host_properties_.SetUI4(L"Handle", host_handle); }

void* FakeOwner::GetInterface(const wchar_t* name) {
  const std::wstring n(name);
  if (n == L"IObjectProperties") return static_cast<IObjectProperties*>(&settings);
  if (n == L"IPrivSetLastError") return static_cast<IPrivSetLastError*>(&last_error_);
  if (n == L"IExternalInterfaceAccess") return static_cast<IExternalInterfaceAccess*>(&external_);
  return nullptr;
}

void* FakeOwner::External::GetInterface(const wchar_t* name) {
  const std::wstring n(name);
  if (n == L"IExErrorMgr") return static_cast<IExErrorMgr*>(&owner.errors_);
  if (n == L"IObjectProperties") return static_cast<IObjectProperties*>(&owner.host_properties_);
  return nullptr;
}

void FakeOwner::ErrorMgr::Report(const HostErrorRecord* record) {
  std::lock_guard lock(mutex);
  reports.push_back(HostReport{record->code >> 29, (record->code >> 16) & 0x1FFF,
                               record->host_handle, record->text});
}

std::vector<HostReport> FakeOwner::Reports() {
  std::lock_guard lock(errors_.mutex);
  return errors_.reports;
}

void FakeOwner::SetCache(std::uint32_t entry_size, std::uint32_t memory_limit, bool transparent,
                         double aspect, std::uint32_t system_limit) {
  settings.SetUI4(L"CacheEntrySize", entry_size);
  settings.SetUI4(L"CacheMemoryLimit", memory_limit);
  settings.SetUI4(L"CacheSystemMemoryLimit", system_limit);
  settings.SetI4(L"CacheIsTransparent", transparent ? 1 : 0);
  settings.SetR8(L"CacheAspect", aspect);
}

}  // namespace rectest
