// The state of a caching file reader that its worker thread shares: the open file, the cache
// table with its loaded set and counters, the settings, the stopwatch and the memory figure,
// with the operations both threads run on them. The reader and its worker each hold it by
// shared pointer, so a worker that had to be abandoned at shutdown keeps what it touches alive
// until it ends.
//
// Lock order: cache_mutex, then file_mutex; never the reverse. Both are recursive because a
// read that misses holds the cache lock while the load takes it again.
#ifndef RECFILEREADER_FILEACCESS_CACHECORE_H
#define RECFILEREADER_FILEACCESS_CACHECORE_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include "base/sharedbuffer.h"
#include "fileaccess/cachesettings.h"
#include "fileaccess/cachingfilereaderstat.h"
#include "fileaccess/spinrecursivemutex.h"
#include "platform/autoresetevent.h"
#include "platform/file.h"
#include "platform/stopwatch.h"
#include "recfilereader/base.h"

namespace recfilereader {

// One entry-size step of the file. Empty exactly when its buffer is.
struct CacheEntry {
  std::uint64_t last_access = 0;  // stopwatch time of the last read from it; 0 when empty
  std::uint64_t offset = 0;       // index x entry size
  CSharedBuffer buffer;
};

// The platform services the reader uses; tests replace them.
struct CachingFileReaderPlatform {
  FileSystem* files = nullptr;  // null: the POSIX file system
  // Available system memory; null: /proc/meminfo.
  std::function<std::optional<std::uint64_t>()> memory_status;
  // False: no worker thread is started and the caller runs UpdateCache itself.
  bool start_worker = true;
  // How long ShutdownCache waits for the worker before abandoning it.
  std::chrono::milliseconds shutdown_grace{10'000};
};

class CacheCore {
 public:
  CacheCore(IInterfaceAccess* owner, std::shared_ptr<CCachingFileReaderStat> stat,
            const CachingFileReaderPlatform& platform);
  CacheCore(const CacheCore&) = delete;
  CacheCore& operator=(const CacheCore&) = delete;

  // The read-ahead pass and both evictions; nothing when the cache is off. Cache lock.
  void UpdateCache();
  // Asks the system for its available memory, at most twice a second.
  void RefreshMemoryStatus();

  // REQUIRES cache lock. Loads entry `index` from the file (a report to the host when it is
  // already loaded).
  void LoadCacheEntry(std::uint32_t index);
  // Reads the entry at `offset` into `buffer`, sized min(entry size, file size - offset).
  void ReadFileChunk(std::uint64_t offset, CSharedBuffer& buffer);
  // REQUIRES cache lock. Takes `buffer` into entry `index` when that is still empty.
  void StoreCacheEntry(std::uint32_t index, std::uint64_t time, CSharedBuffer buffer);
  // REQUIRES cache lock. Empties entry `index`.
  void UnloadCacheEntry(std::uint32_t index);
  // REQUIRES cache lock. Unloads every loaded entry whose span [i x entry size, (i+1) x entry
  // size) meets [begin, end).
  void UnloadRange(std::uint64_t begin, std::uint64_t end);
  // REQUIRES cache lock. Grows or shrinks the table to `count` entries, unloading the dropped.
  void ResizeTable(std::uint64_t count);
  // REQUIRES cache lock. Drops the table and everything loaded.
  void ClearTable();

  // Reads `count` bytes at `position` straight from the file, repeating a read that failed
  // with a transient error (at most four read calls). File lock.
  void ReadValueDirect(std::uint64_t position, std::uint32_t count, void* destination);

  // Hands a message to the host, unless the reader has let go of this state.
  void Report(DWORD severity, DWORD id, std::wstring_view text);
  // The reader no longer owns this state: reports stop, since the owner may be gone.
  void Abandon();

  std::uint64_t EntryCountFor(std::uint64_t size) const { return size / settings.entry_size + 1; }

  // Asks the worker for a pass around the position. A request the worker has not taken up yet
  // is not signalled again: an auto-reset event would merge the two anyway, and this spares a
  // wake-up call for every seek of a backward walk.
  void RequestService() {
    if (service_requested.load(std::memory_order_acquire)) return;  // no locked exchange
    if (!service_requested.exchange(true, std::memory_order_acq_rel)) service_event.Set();
  }

  // REQUIRES cache lock. The stopwatch time that stamps a read from an entry. Inside a read
  // scope one reading serves the passes that follow within the clock's resolution: it is taken
  // anew after a load or a large copy.
  std::uint64_t AccessTime() {
    if (read_scope_depth == 0) return stopwatch.Elapsed();
    if (!scope_time_valid) {
      scope_time = stopwatch.Elapsed();
      scope_time_valid = true;
    }
    return scope_time;
  }

  IInterfaceAccess* const owner;
  const std::shared_ptr<CCachingFileReaderStat> stat;
  const CachingFileReaderPlatform platform;

  SpinRecursiveMutex cache_mutex;  // acquired before file_mutex
  std::recursive_mutex file_mutex;

  // Written by the reading thread; while a worker runs, only under the cache lock.
  std::shared_ptr<PlatformFile> file;
  std::uint64_t file_size = 0;
  std::uint64_t position = 0;
  CacheSettings settings;
  bool cache_on = false;

  // Guarded by cache_mutex.
  std::vector<CacheEntry> table;
  std::set<std::uint32_t> loaded;  // exactly the entries that hold data
  std::uint64_t current_cache_size = 0;  // 64 bits: a limit near 4 GiB plus an entry passes 32
  std::uint32_t valid_entries = 0;
  // Buffers of unloaded entries kept for the next loads, while they and the loaded entries
  // together stay within memory limit + entry size: a fresh 4 MiB buffer costs a thousand page
  // faults before the first byte is read into it.
  std::vector<CSharedBuffer> spare_buffers;
  std::uint64_t spare_bytes = 0;

  MicroStopwatch stopwatch;  // started before the worker, read by both threads
  // Worker thread only.
  std::uint64_t available_memory = ~0ull;  // all ones: not measured, or unknown
  std::uint64_t last_memory_check = 0;

  // Guarded by cache_mutex; the reading thread's read scopes. A seek inside a scope asks for
  // the worker's pass when the scope lets go of the lock: the worker could not start it earlier.
  int read_scope_depth = 0;
  bool service_deferred = false;
  bool scope_time_valid = false;
  std::uint64_t scope_time = 0;

  std::atomic<bool> service_requested{false};
  std::shared_ptr<EventGroup> events = std::make_shared<EventGroup>();
  AutoResetEvent stop_event{events};
  AutoResetEvent service_event{events};

 private:
  void Evict(std::uint64_t count);

  std::mutex report_mutex_;
  bool abandoned_ = false;  // guarded by report_mutex_
};

// The worker thread's procedure: waits for the stop or the service event, at most 1 ms, and
// runs UpdateCache and RefreshMemoryStatus until stopped. Failures are reported to the host.
void CacheWorkerProc(std::shared_ptr<CacheCore> core);

}  // namespace recfilereader

#endif  // RECFILEREADER_FILEACCESS_CACHECORE_H
