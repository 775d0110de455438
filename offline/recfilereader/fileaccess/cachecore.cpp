#include "fileaccess/cachecore.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>

#include "base/exceptions.h"
#include "base/location.h"
#include "platform/memorystatus.h"
#include "platform/textconv.h"

namespace recfilereader {
namespace {

constexpr const char* kSourceFile = "cachingfilereader";
constexpr int kMaxDirectReadCalls = 4;
constexpr std::uint64_t kMemoryCheckInterval = 500'000;  // microseconds
constexpr std::uint64_t kMinLoadedEntries = 3;  // evictions always leave this many
// Messages kept for the calling thread beyond this are dropped: a failing disk fails every
// worker pass, a thousand times a second, and a host that does not call meanwhile would
// otherwise come back to an ever longer queue of the same message.
constexpr std::size_t kMaxPendingReports = 64;

// Errors after which the same read is simply tried again.
bool IsTransient(int error) { return error == EINTR || error == EAGAIN; }

// Below-normal priority for the calling thread; best effort.
void LowerThreadPriority() {
  const id_t thread = static_cast<id_t>(::gettid());
  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, thread);
  if (errno == 0 && nice < 19) ::setpriority(PRIO_PROCESS, thread, nice + 1);
}

}  // namespace

CacheCore::CacheCore(std::shared_ptr<CCachingFileReaderStat> statistics, const CachingFileReaderPlatform& services)
    : stat(std::move(statistics)), platform(services), stopwatch(services.clock) {}

std::uint32_t CacheCore::ReadValueDirect(std::uint64_t at, std::uint32_t count, void* destination,
                                         std::uint32_t lookahead) {
  SpinMutexLock file_lock(file_mutex);
  auto* out = static_cast<std::uint8_t*>(destination);
  const std::size_t wanted = std::size_t{count} + lookahead;
  std::size_t done = 0;
  for (int call = 1; done < wanted; ++call) {
    const IoResult r = file->ReadAt(at + done, out + done, wanted - done);
    done += r.bytes;
    if (r.error == 0 || call == kMaxDirectReadCalls || done >= count) break;  // the lookahead is a bonus
    if (!IsTransient(r.error)) ThrowSystemError(r.error, {kSourceFile, "CCachingFileReader::ReadValueDirect"});
  }
  if (done < count) {
    ThrowLocated<exception_rt>(L"Failed to read data from file. Requested " +
                                   std::to_wstring(count) + L" bytes, read " +
                                   std::to_wstring(static_cast<std::uint32_t>(done)) + L" bytes",
                               {kSourceFile, "CCachingFileReader::ReadValueDirect"});
  }
  return static_cast<std::uint32_t>(done - count);
}

void CacheCore::ReadFileChunk(std::uint64_t offset, CSharedBuffer& buffer) {
  ReadChunkAt(offset, std::min(settings.entry_size, file_size - offset), buffer);
}

void CacheCore::ReadChunkAt(std::uint64_t offset, std::uint64_t size, CSharedBuffer& buffer) {
  if (!buffer.Resize(static_cast<std::size_t>(size))) {
    throw exception_rt(MemoryFailureText(MemorySource::kOperatorNew, size,
                                         {kSourceFile, "CCachingFileReader::ReadFileChunk"}));
  }
  SpinMutexLock file_lock(file_mutex);
  const IoResult r = file->ReadAt(offset, buffer.data(), buffer.size());
  if (r.error != 0) ThrowSystemError(r.error, {kSourceFile, "CCachingFileReader::ReadFileChunk"});
  if (r.bytes < buffer.size()) {
    ThrowLocated<exception_rt>(
        L"Failed to read data from file, requested " +
            std::to_wstring(static_cast<std::uint32_t>(buffer.size())) + L" bytes, read " +
            std::to_wstring(static_cast<std::uint32_t>(r.bytes)) + L" bytes",
        {kSourceFile, "CCachingFileReader::ReadFileChunk"});
  }
}

void CacheCore::LoadCacheEntry(std::uint32_t index) {
  if (!table[index].buffer.empty()) {
    QueueReport(0, 0, L"Cache entry is not empty");
    return;
  }
  CSharedBuffer buffer = TakeSpareBuffer();
  ReadFileChunk(std::uint64_t{index} * settings.entry_size, buffer);
  StoreCacheEntry(index, stopwatch.Elapsed(), std::move(buffer));
}

CSharedBuffer CacheCore::TakeSpareBuffer() {
  CSharedBuffer buffer;
  if (!spare_buffers.empty()) {
    buffer = std::move(spare_buffers.back());
    spare_buffers.pop_back();
    spare_bytes -= buffer.capacity();
  }
  return buffer;
}

void CacheCore::StoreCacheEntry(std::uint32_t index, std::uint64_t time, CSharedBuffer buffer) {
  CacheEntry& entry = table[index];
  if (!entry.buffer.empty() || buffer.empty()) return;
  entry.last_access = time;
  entry.offset = std::uint64_t{index} * settings.entry_size;
  current_cache_size += buffer.size();
  entry.buffer = std::move(buffer);
  ++valid_entries;
  loaded.insert(index);
}

void CacheCore::UnloadCacheEntry(std::uint32_t index) {
  CacheEntry& entry = table[index];
  current_cache_size -= entry.buffer.size();
  --valid_entries;
  loaded.erase(index);
  const std::uint64_t capacity = entry.buffer.capacity();
  if (entry.buffer.use_count() == 1 &&
      current_cache_size + spare_bytes + capacity <= std::uint64_t{settings.memory_limit} + settings.entry_size) {
    spare_bytes += capacity;
    spare_buffers.push_back(std::move(entry.buffer));  // no one else reads it: reuse it
  }
  entry = CacheEntry{0, std::uint64_t{index} * settings.entry_size, CSharedBuffer()};
}

void CacheCore::UnloadRange(std::uint64_t begin, std::uint64_t end) {
  ++write_generation;  // a load in flight may hold the bytes that were there before
  if (begin >= end) return;
  const std::uint64_t first = begin / settings.entry_size;
  const std::uint64_t last = (end - 1) / settings.entry_size;
  for (auto it = loaded.lower_bound(static_cast<std::uint32_t>(std::min<std::uint64_t>(first, ~0u)));
       it != loaded.end() && *it <= last;) {
    const std::uint32_t index = *it++;  // advance before the entry leaves the set
    UnloadCacheEntry(index);
  }
}

void CacheCore::ResizeTable(std::uint64_t count) {
  ++write_generation;
  while (!loaded.empty() && *loaded.rbegin() >= count) UnloadCacheEntry(*loaded.rbegin());
  const std::uint64_t old_count = table.size();
  table.resize(static_cast<std::size_t>(count));
  for (std::uint64_t i = old_count; i < count; ++i) table[i].offset = i * settings.entry_size;
}

void CacheCore::ClearTable() {
  ++write_generation;
  table.clear();
  spare_buffers.clear();
  spare_bytes = 0;
  loaded.clear();
  current_cache_size = 0;
  valid_entries = 0;
}

void CacheCore::UpdateCache() {
  if (settings.memory_limit == 0) return;
  ReadAhead();
  SpinMutexLock cache_lock(cache_mutex);
  Trim();
}

// The first empty entry that lies wholly inside the window, one per pass. The disk read runs
// without the cache lock, so the calling thread goes on reading from the loaded entries
// meanwhile; the entry is stored only when no write or resize came in between (the bytes read
// could be stale then) and no one else loaded it.
void CacheCore::ReadAhead() {
  std::uint32_t index = 0;
  std::uint64_t offset = 0, size = 0, generation = 0;
  CSharedBuffer buffer;
  {
    SpinMutexLock cache_lock(cache_mutex);
    const std::uint64_t entry_size = settings.entry_size;
    const auto window = static_cast<std::uint64_t>(settings.memory_limit * settings.read_ahead);
    const std::uint64_t end =
        position > file_size || window > file_size - position ? file_size : position + window;
    std::uint64_t i = position / entry_size;
    while (i < end / entry_size && !table[i].buffer.empty()) ++i;
    if (i >= end / entry_size) return;
    index = static_cast<std::uint32_t>(i);
    offset = i * entry_size;
    size = std::min(entry_size, file_size - offset);
    generation = write_generation;
    buffer = TakeSpareBuffer();
    loading_index = index;
  }
  try {
    ReadChunkAt(offset, size, buffer);
  } catch (...) {
    SpinMutexLock cache_lock(cache_mutex);
    loading_index = kNotLoading;
    throw;
  }
  SpinMutexLock cache_lock(cache_mutex);
  loading_index = kNotLoading;
  if (generation == write_generation && index < table.size()) StoreCacheEntry(index, stopwatch.Elapsed(), std::move(buffer));
}

void CacheCore::Trim() {
  const std::uint64_t entry_size = settings.entry_size;

  // Both evictions free about twice the excess plus two entries, so that the next passes do
  // not evict again at once, and never go below three loaded entries.
  const std::uint64_t loaded_count = loaded.size();
  if (available_memory < settings.system_memory_limit && loaded_count > kMinLoadedEntries) {
    const std::uint64_t wanted = 2 * ((settings.system_memory_limit - available_memory) / entry_size) + 2;
    Evict(std::min(wanted, loaded_count - kMinLoadedEntries));
  }
  const std::uint64_t limit = settings.memory_limit;
  if (current_cache_size > limit + entry_size) {
    const std::uint64_t wanted = 2 * ((current_cache_size - limit) / entry_size) + 2;
    const std::uint64_t now_loaded = loaded.size();
    Evict(now_loaded > kMinLoadedEntries ? std::min(wanted, now_loaded - kMinLoadedEntries) : 0);
  }
}

// Unloads the `count` least recently read entries.
void CacheCore::Evict(std::uint64_t count) {
  if (count == 0) return;
  std::vector<std::pair<std::uint64_t, std::uint32_t>> by_age;  // (last access, index)
  by_age.reserve(loaded.size());
  for (std::uint32_t index : loaded) by_age.emplace_back(table[index].last_access, index);
  std::stable_sort(by_age.begin(), by_age.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  count = std::min<std::uint64_t>(count, by_age.size());
  for (std::uint64_t i = 0; i < count; ++i) UnloadCacheEntry(by_age[i].second);
}

void CacheCore::RefreshMemoryStatus() {
  const std::uint64_t now = stopwatch.Elapsed();
  if (now - last_memory_check < kMemoryCheckInterval) return;
  const std::optional<std::uint64_t> available =
      platform.memory_status ? platform.memory_status() : AvailableSystemMemory();
  available_memory = available.value_or(~0ull);  // unknown counts as plenty
  last_memory_check = now;
}

void CacheCore::QueueReport(DWORD severity, DWORD id, std::wstring text) {
  if (reports_.size() >= kMaxPendingReports) return;
  reports_.push_back(PendingReport{severity, id, std::move(text)});
  reports_pending_.store(true, std::memory_order_release);
}

std::vector<PendingReport> CacheCore::TakeReports() {
  std::vector<PendingReport> taken;
  if (!reports_pending_.load(std::memory_order_acquire)) return taken;  // the read path's case
  SpinMutexLock cache_lock(cache_mutex);
  taken.swap(reports_);
  reports_pending_.store(false, std::memory_order_relaxed);
  return taken;
}

namespace {

// Keeps a failure of the worker for the calling thread; a failure to keep it is dropped, since
// the worker must go on and the reader meets the same failure when it loads the entry itself.
void QueueWorkerFailure(CacheCore& core, std::wstring text) noexcept {
  try {
    SpinMutexLock cache_lock(core.cache_mutex);
    core.QueueReport(4, 200, std::move(text));
  } catch (...) {
  }
}

}  // namespace

void CacheWorkerProc(std::shared_ptr<CacheCore> core) {
  LowerThreadPriority();
  for (;;) {
    const int woken = WaitForAny(core->stop_event, core->service_event, std::chrono::milliseconds(1));
    if (woken == 0) break;
    if (woken == 1) core->service_requested.store(false, std::memory_order_release);
    try {
      core->UpdateCache();
      if (woken == 1) {
        core->stat->CountUpdateByServiceRequest();
      } else {
        core->stat->CountUpdateByTimeout();
      }
      core->RefreshMemoryStatus();
      core->stat->CountWorkerPass();
    } catch (const wexception& e) {
      // The entry stays empty; a reader that needs it loads it and meets the error itself.
      QueueWorkerFailure(*core, e.wtext());
    } catch (const std::exception& e) {
      // Anything else (an allocation inside the containers) must not end the process.
      QueueWorkerFailure(*core, Utf8ToWide(e.what()));
    }
  }
}

}  // namespace recfilereader
