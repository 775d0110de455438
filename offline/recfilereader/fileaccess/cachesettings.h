// The cache's settings, read from the owner's properties at every open and clamped to what the
// cache can work with.
#ifndef RECFILEREADER_FILEACCESS_CACHESETTINGS_H
#define RECFILEREADER_FILEACCESS_CACHESETTINGS_H

#include <cstdint>

struct IObjectProperties;

namespace recfilereader {

constexpr std::uint64_t kMinCacheEntrySize = 524'288;         // 512 KiB
constexpr std::uint64_t kMaxCacheEntrySize = 4'194'304;       // 4 MiB
constexpr std::uint32_t kMaxSystemMemoryLimit = 209'715'200;  // 200 MiB
constexpr double kMinReadAhead = 0.1;
constexpr double kMaxReadAhead = 0.9;

struct CacheSettings {
  std::uint64_t entry_size = kMinCacheEntrySize;
  std::uint32_t memory_limit = 0;  // 0: the cache is off
  std::uint32_t system_memory_limit = 0;
  bool transparent = false;
  double read_ahead = kMinReadAhead;  // read-ahead window as a fraction of the memory limit
};

// Reads "CacheEntrySize", "CacheMemoryLimit", "CacheSystemMemoryLimit", "CacheIsTransparent"
// and "CacheAspect"; a setting that is missing or does not convert counts as zero. A null
// `properties` gives the settings of an empty table (the cache off).
CacheSettings ReadCacheSettings(IObjectProperties* properties);

}  // namespace recfilereader

#endif  // RECFILEREADER_FILEACCESS_CACHESETTINGS_H
