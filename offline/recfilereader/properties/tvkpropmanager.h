// A declared property table: the properties are members of a derived class, which declares
// them in ProcessProperties by calling one typed handler (OfferProperty) per property, in a
// fixed order. Counting, naming, reading, writing and describing are each one walk of that
// function with a different request.
//
// Not thread-safe: the hash and the information cache are not guarded. No exception leaves an
// interface operation: a failure inside one answers false.
#ifndef RECFILEREADER_PROPERTIES_TVKPROPMANAGER_H
#define RECFILEREADER_PROPERTIES_TVKPROPMANAGER_H

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "properties/propertyrequest.h"
#include "recfilereader/base.h"
#include "recfilereader/properties.h"

namespace recfilereader {

inline constexpr wchar_t kDefaultPropertyCategory[] = L"Miscellaneous";
inline constexpr wchar_t kDefaultPropertyDescription[] = L"No description for this property available.";

// The descriptor every property of this library hands out: size 56, style 64, no range.
constexpr PropertyDescriptor MakePropertyDescriptor(bool read_only) {
  PropertyDescriptor descriptor{};
  descriptor.Size = sizeof(PropertyDescriptor);
  descriptor.ReadOnly = read_only ? 1 : 0;
  descriptor.Style = 64;
  return descriptor;
}

class CTVKPropManager : public IExObjectProperties,
                        public IObjectPropertyTableHash,
                        public CPropertyProcessBase,
                        public virtual IInterfaceAccess {
 public:
  CTVKPropManager() = default;
  virtual ~CTVKPropManager() = default;
  CTVKPropManager(const CTVKPropManager&) = delete;
  CTVKPropManager& operator=(const CTVKPropManager&) = delete;

  // IObjectProperties
  LONG GetPropertyCount() override;
  bool GetPropertyName(LONG index, wchar_t* buffer, LONG capacity) override;
  bool GetProperty(const wchar_t* name, PROPVARIANT* value) override;
  bool SetProperty(const wchar_t* name, const PROPVARIANT* value) override;
  bool GetPropertyFlags(const wchar_t* name, ULONG* flags) override;
  // IExObjectProperties
  bool GetPropertyInfo(const wchar_t* name, PropertyInfo* info) override;
  // Hooks for derived tables, continuing the same table of operations.
  virtual void OnPropertyChanged(const wchar_t* name);
  virtual bool CanGetProperty(const wchar_t* name);
  virtual bool CanSetProperty(const wchar_t* name, const PROPVARIANT* value);

  // IObjectPropertyTableHash: over the properties without flags 1 and 8, cached until a
  // SetProperty succeeds. Direct changes to members do not dirty it.
  DWORD GetTableHash() override;

  // IInterfaceAccess: "IObjectProperties", "IExObjectProperties", "IObjectPropertyTableHash".
  void* GetInterface(const wchar_t* name) override;

  // Declares no property.
  bool ProcessProperties(PropertyRequest& request) override;

 protected:
  // The typed handlers: each offers one property and, when it is the one sought, serves the
  // request and returns true.
  static bool OfferProperty(PropertyRequest& request, const wchar_t* name, ULONGLONG& member, ULONG flags,
                            const PropertyDescriptor& descriptor);
  static bool OfferProperty(PropertyRequest& request, const wchar_t* name, bool& member, ULONG flags,
                            const PropertyDescriptor& descriptor);
  static bool OfferProperty(PropertyRequest& request, const wchar_t* name, LONG& member, ULONG flags,
                            const PropertyDescriptor& descriptor);
  static bool OfferProperty(PropertyRequest& request, const wchar_t* name, ULONG& member, ULONG flags,
                            const PropertyDescriptor& descriptor);
  static bool OfferProperty(PropertyRequest& request, const wchar_t* name, double& member, ULONG flags,
                            const PropertyDescriptor& descriptor);
  // A list of strings, always read-only; not offered at all while `list` is null.
  static bool OfferProperty(PropertyRequest& request, const wchar_t* name, const std::vector<std::wstring>* list,
                            ULONG flags, const PropertyDescriptor& descriptor);

 private:
  bool Walk(PropertyRequest& request);
  DWORD ComputeTableHash();

  ULONG hash_dirty_ = 1;
  DWORD table_hash_ = 0xFFFFFFFF;
  // Category and description by the name they were asked under; the texts handed out in
  // PropertyInfo point here and stay valid as long as the manager.
  std::map<std::wstring, std::pair<std::wstring, std::wstring>> information_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PROPERTIES_TVKPROPMANAGER_H
