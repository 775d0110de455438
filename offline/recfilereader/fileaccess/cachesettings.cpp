#include "fileaccess/cachesettings.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cwchar>

#include "recfilereader/properties.h"

namespace recfilereader {
namespace {

// A setting's value as the cache needs it: an integer or a floating-point number.
// TODO(properties): this small conversion stands in for the shared typed property accessors
// (GetPropUI8, GetPropULong, GetPropBool, GetPropDouble); switch to them when they are merged.
struct SettingValue {
  bool is_integer = true;
  std::int64_t integer = 0;  // unsigned 64-bit values keep their bits
  double real = 0.0;
};

SettingValue ReadSetting(IObjectProperties* properties, const wchar_t* name) {
  SettingValue out;
  PROPVARIANT value;
  PropVariantInit(&value);
  if (properties == nullptr || !properties->GetProperty(name, &value)) return out;
  switch (value.vt) {
    case VT_I1: out.integer = value.cVal; break;
    case VT_UI1: out.integer = value.bVal; break;
    case VT_I2: out.integer = value.iVal; break;
    case VT_UI2: out.integer = value.uiVal; break;
    case VT_BOOL: out.integer = value.boolVal; break;
    case VT_I4: out.integer = value.lVal; break;
    case VT_UI4: out.integer = value.ulVal; break;
    case VT_INT: out.integer = value.intVal; break;
    case VT_UINT: out.integer = value.uintVal; break;
    case VT_I8: out.integer = value.hVal; break;
    case VT_UI8: out.integer = static_cast<std::int64_t>(value.uhVal); break;
    case VT_R4: out.is_integer = false; out.real = value.fltVal; break;
    case VT_R8: out.is_integer = false; out.real = value.dblVal; break;
    case VT_LPWSTR:
      out.integer = value.pwszVal != nullptr ? std::wcstoll(value.pwszVal, nullptr, 10) : 0;
      break;
    case VT_LPSTR:
      out.integer = value.pszVal != nullptr ? std::strtoll(value.pszVal, nullptr, 10) : 0;
      break;
    default: break;  // does not convert: zero
  }
  PropVariantClear(&value);
  return out;
}

// Floating-point to a 64-bit integer, truncating toward zero; out of range gives 0.
std::int64_t Truncate64(double real) {
  if (!std::isfinite(real) || real >= 9.2e18 || real <= -9.2e18) return 0;
  return static_cast<std::int64_t>(real);
}

std::uint64_t AsUInt64(const SettingValue& v) {
  return static_cast<std::uint64_t>(v.is_integer ? v.integer : Truncate64(v.real));
}
std::uint32_t AsUInt32(const SettingValue& v) { return static_cast<std::uint32_t>(AsUInt64(v)); }
bool AsFlag(const SettingValue& v) {
  // Through a 32-bit integer, so 0.5 truncates to 0.
  return static_cast<std::int32_t>(v.is_integer ? v.integer : Truncate64(v.real)) != 0;
}
double AsDouble(const SettingValue& v) {
  return v.is_integer ? static_cast<double>(v.integer) : v.real;
}

}  // namespace

CacheSettings ReadCacheSettings(IObjectProperties* properties) {
  CacheSettings s;
  s.entry_size = std::min(std::max(AsUInt64(ReadSetting(properties, L"CacheEntrySize")),
                                   kMinCacheEntrySize),
                          kMaxCacheEntrySize);
  s.memory_limit = AsUInt32(ReadSetting(properties, L"CacheMemoryLimit"));
  s.system_memory_limit =
      std::min(AsUInt32(ReadSetting(properties, L"CacheSystemMemoryLimit")), kMaxSystemMemoryLimit);
  s.transparent = AsFlag(ReadSetting(properties, L"CacheIsTransparent"));
  const double aspect = AsDouble(ReadSetting(properties, L"CacheAspect"));
  // Written so that a NaN lands on the lower bound.
  s.read_ahead = !(aspect >= kMinReadAhead) ? kMinReadAhead : std::min(aspect, kMaxReadAhead);
  return s;
}

}  // namespace recfilereader
