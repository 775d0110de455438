#include "frame/hosthandle.h"

#include "frame/privateinterfaces.h"
#include "recfilereader/properties.h"

namespace recfilereader {
namespace {

// The integer forms a host may give its handle in.
DWORD HandleFromValue(const PROPVARIANT& value) {
  switch (value.vt) {
    case VT_I1: return static_cast<DWORD>(static_cast<LONG>(value.cVal));
    case VT_UI1: return value.bVal;
    case VT_I2: return static_cast<DWORD>(static_cast<LONG>(value.iVal));
    case VT_UI2: return value.uiVal;
    case VT_I4: case VT_INT: return static_cast<DWORD>(value.lVal);
    case VT_UI4: case VT_UINT: return value.ulVal;
    case VT_I8: case VT_UI8: return static_cast<DWORD>(value.uhVal);
    default: return 0;
  }
}

}  // namespace

DWORD ReadHostHandle(IInterfaceAccess* access) {
  if (access == nullptr) return 0;
  auto* external = static_cast<IExternalInterfaceAccess*>(access->GetInterface(L"IExternalInterfaceAccess"));
  if (external == nullptr) return 0;
  auto* host_properties = static_cast<IObjectProperties*>(external->GetInterface(L"IObjectProperties"));
  if (host_properties == nullptr) return 0;
  PROPVARIANT value;
  PropVariantInit(&value);
  DWORD handle = 0;
  if (host_properties->GetProperty(L"Handle", &value)) handle = HandleFromValue(value);
  PropVariantClear(&value);
  return handle;
}

}  // namespace recfilereader
