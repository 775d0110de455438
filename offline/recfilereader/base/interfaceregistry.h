// The registry by which the reader's objects find each other by interface name. One belongs to
// each reader; the host's lookups through the reader see only public registrations.
// Thread safety: every operation takes the registry's own recursive lock. Lookups allocate
// nothing, so a host asking for an interface is answered even when memory has run out.
#ifndef RECFILEREADER_BASE_INTERFACEREGISTRY_H
#define RECFILEREADER_BASE_INTERFACEREGISTRY_H

#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/privateinterfaces.h"

namespace recfilereader {

class CInterfaceRegistry final : public IPrivInterfaceMgr, public IPrivInterfaceAccess {
 public:
  // Registers its own two faces, privately.
  CInterfaceRegistry();
  CInterfaceRegistry(const CInterfaceRegistry&) = delete;
  CInterfaceRegistry& operator=(const CInterfaceRegistry&) = delete;

  // The same pointer under the same name again changes nothing; a name already registered
  // keeps resolving to its first pointer.
  void RegisterInterface(const wchar_t* name, void* pointer, bool is_public) override;
  void UnregisterInterface(void* pointer) override;
  void* GetInterface(const wchar_t* name, bool public_only) override;

  std::size_t size() const;

 private:
  struct Registration {
    std::wstring name;
    void* pointer;
    bool is_public;
  };
  using List = std::list<Registration>;
  // Hashes stored names and looked-up views alike, so a lookup builds no string.
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::wstring_view name) const noexcept { return std::hash<std::wstring_view>{}(name); }
  };

  List::iterator FindNewest(void* pointer);

  mutable std::recursive_mutex mutex_;
  List registrations_;  // newest first
  std::unordered_map<std::wstring, List::iterator, NameHash, std::equal_to<>> by_name_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_BASE_INTERFACEREGISTRY_H
