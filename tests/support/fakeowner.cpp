#include "recfilereader/propvariant.h"
#include "support/fakeowner.h"

namespace rectest {

bool FakePropertyTable::GetProperty(const wchar_t* name, PROPVARIANT* value) {
  auto it = values_.find(name);
  if (it == values_.end()) return false;
  PropVariantClear(value);
  return PropVariantCopy(value, &it->second.get()) == S_OK;
}

bool FakePropertyTable::SetProperty(const wchar_t* name, const PROPVARIANT* value) {
  recfilereader::PropVariantHolder copy;
  if (PropVariantCopy(&copy.get(), value) != S_OK) return false;
  values_[name] = std::move(copy);
  return true;
}

FakeOwner::FakeOwner() { host_properties_.SetUI4(L"Handle", host_handle); }

void* FakeOwner::GetInterface(const wchar_t* name) {
  const std::wstring n(name);
  if (n == L"IObjectProperties") return static_cast<IObjectProperties*>(&settings);
  if (n == L"IPrivSetLastError") return static_cast<IPrivSetLastError*>(&last_error_);
  if (n == L"IExternalInterfaceAccess") return static_cast<IExternalInterfaceAccess*>(&external_);
  if (n == L"IPrivTempFilesMgr") return static_cast<IPrivTempFilesMgr*>(&temp_files_);
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
  reports.push_back(HostReport{record->Code >> 29, (record->Code >> 16) & 0x1FFF,
                               record->HostHandle, record->Text});
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
