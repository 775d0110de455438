#include "host/hosthandle.h"

#include "base/privateinterfaces.h"
#include "properties/propvalue.h"
#include "recfilereader/properties.h"
#include "recfilereader/propvariant.h"

namespace recfilereader {

DWORD ReadHostHandle(IInterfaceAccess* access) {
  if (access == nullptr) return 0;
  auto* external = static_cast<IExternalInterfaceAccess*>(access->GetInterface(L"IExternalInterfaceAccess"));
  if (external == nullptr) return 0;
  auto* host_properties = static_cast<IObjectProperties*>(external->GetInterface(L"IObjectProperties"));
  if (host_properties == nullptr) return 0;
  PROPVARIANT value;
  PropVariantInit(&value);
  DWORD handle = 0;
  if (host_properties->GetProperty(L"Handle", &value)) handle = GetPropULong(value);
  PropVariantClear(&value);
  return handle;
}

}  // namespace recfilereader
