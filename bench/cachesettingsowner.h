// The owner of a block stream in a benchmark: the cache settings it offers the stream, and no
// other interface.
#ifndef RECFILEREADER_BENCH_CACHESETTINGSOWNER_H
#define RECFILEREADER_BENCH_CACHESETTINGSOWNER_H

#include <cstdint>
#include <string_view>

#include "recfilereader/base.h"
#include "recfilereader/properties.h"
#include "recfilereader/propvariant.h"

class CacheSettingsOwner : public IInterfaceAccess, public IObjectProperties {
 public:
  CacheSettingsOwner(std::uint32_t entry_size, std::uint32_t memory_limit, std::uint32_t system_memory_limit)
      : entry_size_(entry_size), memory_limit_(memory_limit), system_memory_limit_(system_memory_limit) {}

  void* GetInterface(const wchar_t* name) override {
    return std::wstring_view(name) == L"IObjectProperties" ? static_cast<IObjectProperties*>(this) : nullptr;
  }
  LONG GetPropertyCount() override { return 5; }
  bool GetPropertyName(LONG, wchar_t*, LONG) override { return false; }
  bool GetProperty(const wchar_t* name, PROPVARIANT* value) override {
    const std::wstring_view n(name);
    PropVariantInit(value);
    value->vt = VT_UI4;
    if (n == L"CacheEntrySize") {
      value->ulVal = entry_size_;
    } else if (n == L"CacheMemoryLimit") {
      value->ulVal = memory_limit_;
    } else if (n == L"CacheSystemMemoryLimit") {
      value->ulVal = system_memory_limit_;
    } else if (n == L"CacheIsTransparent") {
      value->ulVal = 0;
    } else if (n == L"CacheAspect") {
      value->vt = VT_R8;
      value->dblVal = 0.8;
    } else {
      value->vt = VT_EMPTY;
      return false;
    }
    return true;
  }
  bool SetProperty(const wchar_t*, const PROPVARIANT*) override { return false; }
  bool GetPropertyFlags(const wchar_t*, ULONG* flags) override {
    *flags = 0;
    return false;
  }

 private:
  const std::uint32_t entry_size_, memory_limit_, system_memory_limit_;
};

#endif  // RECFILEREADER_BENCH_CACHESETTINGSOWNER_H
