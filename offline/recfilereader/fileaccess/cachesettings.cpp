#include "fileaccess/cachesettings.h"

#include <algorithm>

#include "properties/propvalue.h"
#include "recfilereader/properties.h"
#include "recfilereader/propvariant.h"

namespace recfilereader {
namespace {

// A copy of the named setting; VT_EMPTY (which converts to nothing) when it is missing.
class Setting {
 public:
  Setting(IObjectProperties* properties, const wchar_t* name) {
    PropVariantInit(&value_);
    if (properties != nullptr && !properties->GetProperty(name, &value_)) PropVariantInit(&value_);
  }
  ~Setting() { PropVariantClear(&value_); }
  Setting(const Setting&) = delete;
  Setting& operator=(const Setting&) = delete;
  const PROPVARIANT& value() const { return value_; }

 private:
  PROPVARIANT value_;
};

}  // namespace

CacheSettings ReadCacheSettings(IObjectProperties* properties) {
  CacheSettings s;
  const std::uint64_t entry_size = GetPropUI8(Setting(properties, L"CacheEntrySize").value());
  s.entry_size = std::min(std::max(entry_size, kMinCacheEntrySize), kMaxCacheEntrySize);
  s.memory_limit = GetPropULong(Setting(properties, L"CacheMemoryLimit").value());
  s.system_memory_limit =
      std::min<std::uint32_t>(GetPropULong(Setting(properties, L"CacheSystemMemoryLimit").value()),
                              kMaxSystemMemoryLimit);
  s.transparent = GetPropBool(Setting(properties, L"CacheIsTransparent").value());
  const double aspect = GetPropDouble(Setting(properties, L"CacheAspect").value());
  // Written so that a NaN lands on the lower bound.
  s.read_ahead = !(aspect >= kMinReadAhead) ? kMinReadAhead : std::min(aspect, kMaxReadAhead);
  return s;
}

}  // namespace recfilereader
