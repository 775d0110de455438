// The state of a caching file reader that its worker thread shares: the open file, the cache
// table with its loaded set and counters, the settings, the stopwatch and the memory figure,
// with the operations both threads run on them. The reader and its worker each hold it by
// shared pointer, so a worker that had to be abandoned at shutdown keeps what it touches alive
// until it ends.
//
// Locks: cache_mutex, then file_mutex, never the reverse; neither is recursive, and functions
// marked REQUIRES expect the caller to hold the lock. No lock is held while the host is called:
// messages arising under the cache lock (and every message of the worker) wait in a queue until
// the reader's calling thread delivers them (CCachingFileReader::DeliverReports).
#ifndef RECFILEREADER_FILEACCESS_CACHECORE_H
#define RECFILEREADER_FILEACCESS_CACHECORE_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/sharedbuffer.h"
#include "fileaccess/cachesettings.h"
#include "fileaccess/cachingfilereaderstat.h"
#include "fileaccess/spinmutex.h"
#include "fileaccess/threadannotations.h"
#include "platform/autoresetevent.h"
#include "platform/file.h"
#include "platform/stopwatch.h"
#include "recfilereader/compat.h"

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
  // The stopwatch's clock in microseconds; null: the monotonic clock.
  std::function<std::uint64_t()> clock;
  // False: no worker thread is started and the caller runs UpdateCache itself.
  bool start_worker = true;
  // How long ShutdownCache waits for the worker before abandoning it.
  std::chrono::milliseconds shutdown_grace{10'000};
};

// A message for the host, kept until the calling thread can hand it over.
struct PendingReport {
  DWORD severity = 0;
  DWORD id = 0;
  std::wstring text;
};

class CacheCore {
 public:
  CacheCore(std::shared_ptr<CCachingFileReaderStat> stat, const CachingFileReaderPlatform& platform);
  CacheCore(const CacheCore&) = delete;
  CacheCore& operator=(const CacheCore&) = delete;

  // The read-ahead pass and both evictions; nothing when the cache is off.
  void UpdateCache() EXCLUDES(cache_mutex);
  // Asks the system for its available memory, at most twice a second.
  void RefreshMemoryStatus();

  // Loads entry `index` from the file (a message for the host when it is already loaded).
  void LoadCacheEntry(std::uint32_t index) REQUIRES(cache_mutex);
  // Reads the entry at `offset` into `buffer`, sized min(entry size, file size - offset).
  void ReadFileChunk(std::uint64_t offset, CSharedBuffer& buffer) REQUIRES(cache_mutex) EXCLUDES(file_mutex);
  // Reads `size` bytes at `offset` into `buffer`, sized to them; the file lock only.
  void ReadChunkAt(std::uint64_t offset, std::uint64_t size, CSharedBuffer& buffer) EXCLUDES(file_mutex);
  // A buffer kept from an unloaded entry, or an empty one.
  CSharedBuffer TakeSpareBuffer() REQUIRES(cache_mutex);
  // While the worker reads entry `index` from disk, lets go of the cache lock (which this thread
  // holds once) so that the worker can store it, and takes it back.
  void WaitForLoad(std::uint32_t index) REQUIRES(cache_mutex) NO_THREAD_SAFETY_ANALYSIS {
    while (loading_index == index) {
      cache_mutex.Unlock();
      std::this_thread::sleep_for(std::chrono::microseconds(50));
      cache_mutex.Lock();
    }
  }
  // Takes `buffer` into entry `index` when that is still empty.
  void StoreCacheEntry(std::uint32_t index, std::uint64_t time, CSharedBuffer buffer) REQUIRES(cache_mutex);
  // Empties entry `index`.
  void UnloadCacheEntry(std::uint32_t index) REQUIRES(cache_mutex);
  // Unloads every loaded entry whose span [i x entry size, (i+1) x entry size) meets [begin, end).
  void UnloadRange(std::uint64_t begin, std::uint64_t end) REQUIRES(cache_mutex);
  // Grows or shrinks the table to `count` entries, unloading the dropped.
  void ResizeTable(std::uint64_t count) REQUIRES(cache_mutex);
  // Drops the table and everything loaded.
  void ClearTable() REQUIRES(cache_mutex);

  // Reads `count` bytes at `at` straight from the file, repeating a read that failed with a
  // transient error (at most four read calls). With `lookahead`, up to that many of the bytes
  // that follow come along in the same transfer, as far as the file holds them; returns how
  // many did. Only the `count` bytes must arrive.
  std::uint32_t ReadValueDirect(std::uint64_t at, std::uint32_t count, void* destination,
                                std::uint32_t lookahead = 0) EXCLUDES(file_mutex);

  // Keeps a message for the calling thread to deliver (the first 64 until they are taken).
  void QueueReport(DWORD severity, DWORD id, std::wstring text) REQUIRES(cache_mutex);
  // The messages kept so far, handed over once; cheap when there are none.
  std::vector<PendingReport> TakeReports() EXCLUDES(cache_mutex);

  std::uint64_t EntryCountFor(std::uint64_t size) const { return size / settings.entry_size + 1; }

  // Asks the worker for a pass when the calling thread's position has moved into another entry
  // than the one it last asked about: within one entry the read-ahead window hardly moves, and
  // the worker's timer catches up with it, so a walk through an entry's blocks costs no wake-up
  // call per block. Inside a read scope the request waits for the scope to let go of the lock.
  void NoteEntry(std::uint64_t index) REQUIRES(cache_mutex) {
    if (index == serviced_entry) return;
    serviced_entry = index;
    if (read_scope_depth > 0) {
      service_deferred = true;
    } else {
      RequestService();
    }
  }

  // Asks the worker for a pass around the position. A request the worker has not taken up yet
  // is not signalled again: an auto-reset event would merge the two anyway, and this spares a
  // wake-up call for every seek of a backward walk.
  void RequestService() {
    if (service_requested.load(std::memory_order_acquire)) return;  // no locked exchange
    if (!service_requested.exchange(true, std::memory_order_acq_rel)) service_event.Set();
  }

  // The stopwatch time that stamps a read from an entry. Inside a read scope one reading serves
  // the passes that follow within the clock's resolution: it is taken anew after a load or a
  // large copy.
  std::uint64_t AccessTime() REQUIRES(cache_mutex) {
    if (read_scope_depth == 0) return stopwatch.Elapsed();
    if (!scope_time_valid) {
      scope_time = stopwatch.Elapsed();
      scope_time_valid = true;
    }
    return scope_time;
  }

  // Only the calling thread changes the position and the size, and only under the cache lock,
  // so its own reads of them need no lock; the worker reads them under the lock.
  std::uint64_t OwnPosition() const NO_THREAD_SAFETY_ANALYSIS { return position; }
  std::uint64_t OwnFileSize() const NO_THREAD_SAFETY_ANALYSIS { return file_size; }

  const std::shared_ptr<CCachingFileReaderStat> stat;
  const CachingFileReaderPlatform platform;

  SpinMutex cache_mutex ACQUIRED_BEFORE(file_mutex);
  SpinMutex file_mutex;

  std::shared_ptr<PlatformFile> file GUARDED_BY(file_mutex);
  std::uint64_t file_size GUARDED_BY(cache_mutex) = 0;
  std::uint64_t position GUARDED_BY(cache_mutex) = 0;
  // Written by the calling thread only while no worker runs; fixed for the worker's life.
  CacheSettings settings;
  bool cache_on = false;  // calling thread only

  std::vector<CacheEntry> table GUARDED_BY(cache_mutex);
  std::set<std::uint32_t> loaded GUARDED_BY(cache_mutex);  // exactly the entries that hold data
  std::uint64_t current_cache_size GUARDED_BY(cache_mutex) = 0;  // 64 bits: a limit near 4 GiB
                                                                  // plus an entry passes 32
  std::uint32_t valid_entries GUARDED_BY(cache_mutex) = 0;
  // Buffers of unloaded entries kept for the next loads, while they and the loaded entries
  // together stay within memory limit + entry size: a fresh 4 MiB buffer costs a thousand page
  // faults before the first byte is read into it.
  std::vector<CSharedBuffer> spare_buffers GUARDED_BY(cache_mutex);
  // Counts the changes that may make a load in flight stale: writes, cuts, resizes.
  std::uint64_t write_generation GUARDED_BY(cache_mutex) = 0;
  // The entry the worker is reading from disk without the cache lock, or kNotLoading: a reader
  // that misses it waits for that load instead of reading the same bytes a second time.
  static constexpr std::uint32_t kNotLoading = ~0u;
  std::uint32_t loading_index GUARDED_BY(cache_mutex) = kNotLoading;
  std::uint64_t spare_bytes GUARDED_BY(cache_mutex) = 0;

  MicroStopwatch stopwatch;  // started before the worker, read by both threads
  // Worker thread only (or the caller that runs the worker's steps itself).
  std::uint64_t available_memory = ~0ull;  // all ones: not measured, or unknown
  std::uint64_t last_memory_check = 0;

  // The calling thread's read scopes, which hold the cache lock across its operations: only
  // that thread reads or writes the depth. A seek inside a scope asks for the worker's pass when
  // the scope lets go of the lock: the worker could not start it earlier.
  int read_scope_depth = 0;
  bool service_deferred GUARDED_BY(cache_mutex) = false;
  // The entry of the position when the worker was last asked for a pass; all ones: none.
  std::uint64_t serviced_entry GUARDED_BY(cache_mutex) = ~0ull;
  bool scope_time_valid GUARDED_BY(cache_mutex) = false;
  std::uint64_t scope_time GUARDED_BY(cache_mutex) = 0;

  std::atomic<bool> service_requested{false};
  std::shared_ptr<EventGroup> events = std::make_shared<EventGroup>();
  AutoResetEvent stop_event{events};
  AutoResetEvent service_event{events};

 private:
  void ReadAhead() EXCLUDES(cache_mutex);
  // Both evictions.
  void Trim() REQUIRES(cache_mutex);
  void Evict(std::uint64_t count) REQUIRES(cache_mutex);

  std::vector<PendingReport> reports_ GUARDED_BY(cache_mutex);
  std::atomic<bool> reports_pending_{false};  // set with reports_, read without the lock
};

// Takes the cache lock for one operation of the calling thread, unless that thread's read scope
// holds it already (the analysis then counts it as taken here, which it is, for this thread).
class SCOPED_CAPABILITY CacheLock {
 public:
  explicit CacheLock(CacheCore& core) ACQUIRE(core.cache_mutex) NO_THREAD_SAFETY_ANALYSIS
      : core_(core), owned_(core.read_scope_depth == 0) {
    if (owned_) core_.cache_mutex.Lock();
  }
  ~CacheLock() RELEASE() NO_THREAD_SAFETY_ANALYSIS {
    if (owned_) core_.cache_mutex.Unlock();
  }
  CacheLock(const CacheLock&) = delete;
  CacheLock& operator=(const CacheLock&) = delete;

 private:
  CacheCore& core_;
  const bool owned_;
};

// The worker thread's procedure: waits for the stop or the service event, at most 1 ms, and
// runs UpdateCache and RefreshMemoryStatus until stopped. Failures wait for the calling thread
// to hand them to the host: the worker never calls the host.
void CacheWorkerProc(std::shared_ptr<CacheCore> core);

}  // namespace recfilereader

#endif  // RECFILEREADER_FILEACCESS_CACHECORE_H
