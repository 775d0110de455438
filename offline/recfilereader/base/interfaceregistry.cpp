#include "base/interfaceregistry.h"

namespace recfilereader {

CInterfaceRegistry::CInterfaceRegistry() {
  RegisterInterface(L"IPrivInterfaceMgr", static_cast<IPrivInterfaceMgr*>(this), false);
  RegisterInterface(L"IPrivInterfaceAccess", static_cast<IPrivInterfaceAccess*>(this), false);
}

CInterfaceRegistry::List::iterator CInterfaceRegistry::FindNewest(void* pointer) {
  for (auto it = registrations_.begin(); it != registrations_.end(); ++it) {
    if (it->pointer == pointer) return it;
  }
  return registrations_.end();
}

void CInterfaceRegistry::RegisterInterface(const wchar_t* name, void* pointer, bool is_public) {
  if (name == nullptr) return;
  std::lock_guard lock(mutex_);
  const auto newest = FindNewest(pointer);
  if (newest != registrations_.end() && newest->name == name) return;
  if (by_name_.contains(std::wstring_view(name))) return;
  registrations_.push_front(Registration{name, pointer, is_public});
  by_name_.emplace(registrations_.front().name, registrations_.begin());
}

void CInterfaceRegistry::UnregisterInterface(void* pointer) {
  std::lock_guard lock(mutex_);
  const auto newest = FindNewest(pointer);
  if (newest == registrations_.end()) return;
  const auto indexed = by_name_.find(newest->name);
  if (indexed != by_name_.end() && indexed->second == newest) by_name_.erase(indexed);
  registrations_.erase(newest);
}

void* CInterfaceRegistry::GetInterface(const wchar_t* name, bool public_only) {
  if (name == nullptr) return nullptr;
  std::lock_guard lock(mutex_);
  const auto found = by_name_.find(std::wstring_view(name));
  if (found == by_name_.end()) return nullptr;
  const Registration& registration = *found->second;
  return (!public_only || registration.is_public) ? registration.pointer : nullptr;
}

std::size_t CInterfaceRegistry::size() const {
  std::lock_guard lock(mutex_);
  return registrations_.size();
}

}  // namespace recfilereader
