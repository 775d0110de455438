#include "fileaccess/cachingfilereader.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <utility>

#include "base/exceptions.h"
#include "base/location.h"
#include "fileaccess/performanceentry.h"
#include "recfilereader/properties.h"

namespace recfilereader {
namespace {

constexpr const char* kSourceFile = "cachingfilereader";
// A copy of more than this takes long enough that the next pass reads the clock anew.
constexpr std::uint32_t kLargeCopy = 4096;

// Open failures after which a read-only open may still succeed.
bool IsAccessDenied(int error) { return error == EACCES || error == EPERM || error == EROFS; }

// The owner's property table, looked up at every open, so an owner that registers it after
// building this object is still found.
IObjectProperties* FindProperties(IInterfaceAccess* owner) {
  if (owner == nullptr) return nullptr;
  return static_cast<IObjectProperties*>(owner->GetInterface(L"IObjectProperties"));
}

}  // namespace

CCachingFileReader::CCachingFileReader(IInterfaceAccess* owner, CachingFileReaderPlatform platform)
    : owner_(owner),
      reporter_(owner),
      platform_(std::move(platform)),
      files_(platform_.files != nullptr ? *platform_.files : PosixFileSystem()),
      stat_(std::make_shared<CCachingFileReaderStat>(reporter_.host_handle())),
      core_(std::make_shared<CacheCore>(stat_, platform_)) {}

CCachingFileReader::~CCachingFileReader() { CloseFile(); }

void CCachingFileReader::OpenFile(const wchar_t* path) {
  CloseFile();
  const std::wstring name(path != nullptr ? path : L"");
  bool writable = files_.IsWritable(name);
  std::shared_ptr<PlatformFile> file;
  int error = files_.Open(name, writable ? FileAccess::kReadWrite : FileAccess::kRead, file);
  if (error != 0 && writable && IsAccessDenied(error)) {
    writable = false;
    error = files_.Open(name, FileAccess::kRead, file);
  }
  if (error != 0) ThrowSystemError(error, {kSourceFile, "CCachingFileReader::OpenFile"});
  Attach(std::move(file), name, writable ? 3 : 1, "CCachingFileReader::OpenFile");
}

void CCachingFileReader::CreateFileW(const wchar_t* path) {
  CloseFile();
  const std::wstring name(path != nullptr ? path : L"");
  std::shared_ptr<PlatformFile> file;
  const int error = files_.CreateNew(name, file);
  if (error != 0) ThrowSystemError(error, {kSourceFile, "CCachingFileReader::CreateFileW"});
  Attach(std::move(file), name, 3, "CCachingFileReader::CreateFileW");
}

// No worker runs yet: the locks only tell the analysis what the worker will find.
void CCachingFileReader::Attach(std::shared_ptr<PlatformFile> file, const std::wstring& name,
                                std::uint32_t mode, const char* function) {
  CacheCore& c = *core_;
  std::uint64_t size = 0;
  const int error = file->GetSize(size);
  {
    SpinMutexLock file_lock(c.file_mutex);
    c.file = std::move(file);  // kept even when the size cannot be read, until CloseFile
  }
  if (error != 0) ThrowSystemError(error, {kSourceFile, function});
  {
    CacheLock cache_lock(c);
    c.file_size = size;
    c.position = 0;
  }
  file_name_ = name;
  access_mode_ = mode;
  StartCacheOrClose();
}

void CCachingFileReader::StartCacheOrClose() {
  try {
    InitializeCache();
  } catch (...) {
    CloseFile();  // an open that fails leaves no file open
    throw;
  }
}

void CCachingFileReader::CloseFile() {
  ShutdownCache();
  {
    SpinMutexLock file_lock(core_->file_mutex);
    core_->file.reset();
  }
  ResetFileState();
}

void CCachingFileReader::ResetFileState() {
  {
    CacheLock cache_lock(*core_);
    core_->file_size = 0;
    core_->position = 0;
  }
  access_mode_ = 0;
  file_name_.clear();
}

void CCachingFileReader::InitializeCache() {
  CacheCore& c = *core_;
  c.settings = ReadCacheSettings(FindProperties(owner_));
  if (c.settings.memory_limit == 0) return;
  c.stopwatch.Start();
  c.last_memory_check = 0;
  {
    CacheLock cache_lock(c);
    c.ClearTable();
    c.ResizeTable(c.EntryCountFor(c.file_size));
    c.serviced_entry = ~0ull;  // the first seek or read asks for a pass
  }
  c.stop_event.Reset();
  c.service_event.Reset();
  c.service_requested = false;
  c.cache_on = true;
  if (platform_.start_worker) StartWorker();
}

void CCachingFileReader::StartWorker() {
  std::promise<void> done;
  std::future<void> done_future = done.get_future();
  try {
    worker_ = std::thread([core = core_, done = std::move(done)]() mutable {
      CacheWorkerProc(core);
      done.set_value();
    });
  } catch (const std::system_error& e) {
    core_->cache_on = false;
    ThrowSystemError(e.code().value(), {kSourceFile, "CCachingFileReader::InitializeCache"});
  }
  worker_done_ = std::move(done_future);
}

void CCachingFileReader::ShutdownCache() {
  if (worker_.joinable()) {
    core_->stop_event.Set();  // without the cache lock: the worker may be waiting for it
    if (worker_done_.wait_for(platform_.shutdown_grace) == std::future_status::ready) {
      worker_.join();
    } else {
      reporter_.Report(2, 0, L"Timeout exiting caching thread --> thread termination forced");
      // A thread cannot be ended from outside here: let it run out on the state it shares,
      // which it keeps alive, and carry on with a fresh one. What it still has to say is lost:
      // its state may stay locked for as long as it hangs.
      worker_.detach();
      core_ = std::make_shared<CacheCore>(stat_, platform_);
    }
    worker_done_ = {};
  }
  CacheCore& c = *core_;
  c.stop_event.Reset();
  c.service_event.Reset();
  c.service_requested = false;
  {
    CacheLock cache_lock(c);
    c.ClearTable();
  }
  c.cache_on = false;
  DeliverReports();  // the worker's last words
}

// The worker's messages are handed over here, on the calling thread, rather than by the worker
// itself once it has let go of the lock: a host's handler may wait for the thread that called
// us, and that thread may be waiting for the worker (closing waits up to ten seconds for it),
// so any call into the host from the worker can stall both. Called on this thread, the host
// meets the reader only on threads it called the reader on, never inside a lock.
void CCachingFileReader::DeliverReports() {
  if (!OutsideReadScope()) return;  // the scope's end delivers them
  for (const PendingReport& r : core_->TakeReports()) reporter_.Report(r.severity, r.id, r.text);
}

bool CCachingFileReader::SetPosition(std::uint64_t position) {
  CacheCore& c = *core_;
  // Walks often set the position they stand at. Without the cache nobody else reads it, so
  // that costs no lock; with it, the worker must hear of every seek.
  if (c.cache_on || position != c.OwnPosition()) {
    CacheLock cache_lock(c);
    c.position = position;
    if (c.cache_on) c.NoteEntry(position / c.settings.entry_size);
  }
  DeliverReports();
  return true;
}

void CCachingFileReader::CheckReadable(std::uint64_t count) const {
  const CacheCore& c = *core_;
  if (count > c.OwnFileSize() || c.OwnPosition() > c.OwnFileSize() - count) {
    ThrowLocated<exception_rec_invalid_offset>(L"Read request beyond the end of the file",
                                               {kSourceFile, "CCachingFileReader::ReadData"});
  }
}

std::uint32_t CCachingFileReader::ReadDataAhead(void* destination, std::uint32_t count, std::uint32_t lookahead) {
  CacheCore& c = *core_;
  if (c.cache_on) {
    ReadData(destination, count);
    return 0;
  }
  DeliverReports();
  CheckReadable(count);
  const std::uint64_t after = c.OwnPosition() + count;
  lookahead = static_cast<std::uint32_t>(std::min<std::uint64_t>(lookahead, c.OwnFileSize() - after));
  if (count == 0 && lookahead == 0) return 0;
  const std::uint32_t got = c.ReadValueDirect(c.OwnPosition(), count, destination, lookahead);
  CacheLock cache_lock(c);
  c.position = after;
  return got;
}

void CCachingFileReader::ReadData(void* destination, std::uint32_t count) {
  CacheCore& c = *core_;
  DeliverReports();
  CheckReadable(count);
  if (!c.cache_on) {
    if (count == 0) return;
    c.ReadValueDirect(c.OwnPosition(), count, destination);
    CacheLock cache_lock(c);
    c.position += count;
    return;
  }
  auto* out = static_cast<std::uint8_t*>(destination);
  const std::uint64_t entry_size = c.settings.entry_size;
  while (count > 0) {
    stat_->CountAccess();
    CacheLock cache_lock(c);
    const auto index = static_cast<std::uint32_t>(c.position / entry_size);
    c.NoteEntry(index);  // a walk that enters an entry moves the read-ahead window on
    CacheEntry* entry = &c.table[index];
    // An entry that does not reach the position (a stale short one) is a miss like an empty one.
    if (c.position - entry->offset >= entry->buffer.size()) {
      stat_->CountFail();
      if (!entry->buffer.empty()) c.UnloadCacheEntry(index);  // stale: to be loaded afresh
      if (c.settings.transparent) {
        // Never wait for a load: read exactly what is wanted and leave the entry to the worker.
        c.ReadValueDirect(c.position, count, out);
        c.position += count;
        return;
      }
      c.WaitForLoad(index);  // the worker may be reading it already
      if (c.table[index].buffer.empty()) c.LoadCacheEntry(index);
      c.scope_time_valid = false;
      entry = &c.table[index];
    } else {
      stat_->CountHit();
    }
    const std::uint64_t in_entry = c.position - entry->offset;
    const auto n = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(count, entry->buffer.size() - in_entry));
    std::memcpy(out, entry->buffer.data() + in_entry, n);
    c.position += n;
    out += n;
    count -= n;
    entry->last_access = c.AccessTime();
    if (n > kLargeCopy) c.scope_time_valid = false;
  }
}

// The scope keeps the cache lock from its constructor to its destructor, across calls the
// analysis cannot follow; the operations inside know it by the scope depth (CacheLock).
CCachingFileReader::ReadScope::ReadScope(CCachingFileReader& reader) NO_THREAD_SAFETY_ANALYSIS {
  CacheCore& c = *reader.core_;
  if (!c.cache_on) return;
  reader_ = &reader;
  if (c.read_scope_depth++ > 0) return;  // an outer scope holds the lock
  c.cache_mutex.Lock();
  c.scope_time_valid = false;
}

CCachingFileReader::ReadScope::~ReadScope() NO_THREAD_SAFETY_ANALYSIS {
  if (reader_ == nullptr) return;
  CacheCore& c = *reader_->core_;
  if (--c.read_scope_depth > 0) return;
  const bool request = c.service_deferred;
  c.service_deferred = false;
  c.cache_mutex.Unlock();
  if (request) c.RequestService();
  reader_->DeliverReports();
}

void CCachingFileReader::WriteData(const void* source, std::uint32_t count) {
  CacheCore& c = *core_;
  DeliverReports();
  CacheLock cache_lock(c);
  SpinMutexLock file_lock(c.file_mutex);
  const std::uint64_t start = c.position;
  const IoResult r = c.file != nullptr ? c.file->WriteAt(start, source, count) : IoResult{0, EBADF};
  if (r.error != 0 || r.bytes < count) {
    // Entries must not keep bytes that a partial write may have replaced.
    if (c.cache_on) c.UnloadRange(start, start + r.bytes);
    if (r.error != 0) ThrowSystemError(r.error, {kSourceFile, "CCachingFileReader::WriteData"});
    ThrowLocated<exception_rt>(L"Failed to write data, requested " + std::to_wstring(count) +
                                   L" bytes, written " +
                                   std::to_wstring(static_cast<std::uint32_t>(r.bytes)) + L" bytes",
                               {kSourceFile, "CCachingFileReader::WriteData"});
  }
  const std::uint64_t old_size = c.file_size;
  c.position = start + r.bytes;
  if (c.position > c.file_size) {
    if (c.cache_on) c.ResizeTable(c.EntryCountFor(c.position));
    c.file_size = c.position;
  }
  // A write behind the end leaves the old last entry short of what the file now holds: the
  // entries from the old end on go as well, as when SetEndOfFile extends the file.
  if (c.cache_on) c.UnloadRange(std::min(start, old_size), c.position);
}

void CCachingFileReader::SetEndOfFile() {
  CacheCore& c = *core_;
  DeliverReports();
  CacheLock cache_lock(c);
  SpinMutexLock file_lock(c.file_mutex);
  if (c.file != nullptr) (void)c.file->Truncate(c.position);  // the outcome is not examined
  if (c.cache_on) {
    // Cutting drops the bytes behind the new end; extending makes the old last entry short of
    // what the file now holds. Either way the entries between the two ends go.
    c.UnloadRange(std::min(c.position, c.file_size), std::max(c.position, c.file_size));
  }
  c.file_size = c.position;
  if (c.cache_on) c.ResizeTable(c.EntryCountFor(c.position));
}

// The lock is taken outright rather than through CacheLock: no query comes inside a read scope,
// and so a second thread may ask while the calling thread reads.
bool CCachingFileReader::GetPerformanceTable(PerformanceQuery* query) {
  if (query == nullptr) return false;
  PerformanceQuery& q = *query;
  CacheCore& c = *core_;
  const DWORD handle = reporter_.host_handle();
  {
    SpinMutexLock cache_lock(c.cache_mutex);  // the worker changes these two under it
    if (OfferPerformanceEntry(q, L"Cache::CurrentCacheSize", L"b", handle)) {
      // A 32-bit counter: a cache beyond 4 GiB shows as full rather than wrapping to small.
      AnswerUInt32(q, static_cast<std::uint32_t>(std::min<std::uint64_t>(c.current_cache_size, ~0u)));
      return true;
    }
    if (OfferPerformanceEntry(q, L"Cache::ValidCacheEntries", L"Qty", handle)) {
      AnswerUInt32(q, c.valid_entries);
      return true;
    }
  }
  if (OfferPerformanceEntry(q, L"Cache::CacheEntrySize", L"b", handle)) {
    AnswerUInt64(q, c.settings.entry_size);
  } else if (OfferPerformanceEntry(q, L"Cache::Transparent", L"flag", handle)) {
    AnswerBool(q, c.settings.transparent);
  } else {
    return stat_->GetPerformanceTable(query);
  }
  return true;
}

CacheSnapshot CCachingFileReader::Snapshot() {
  CacheCore& c = *core_;
  SpinMutexLock cache_lock(c.cache_mutex);
  CacheSnapshot s;
  s.loaded.assign(c.loaded.begin(), c.loaded.end());
  s.current_cache_size = c.current_cache_size;
  s.valid_entries = c.valid_entries;
  s.table_entries = c.table.size();
  return s;
}

void CCachingFileReader::CopyData(CCachingFileReader& source, std::uint64_t source_offset, std::uint64_t count) {
  std::shared_ptr<PlatformFile> from;
  {
    // Taken apart from this reader's file lock: the source may be this reader.
    SpinMutexLock source_file_lock(source.core_->file_mutex);
    from = source.core_->file;
  }
  CacheCore& c = *core_;
  DeliverReports();
  CacheLock cache_lock(c);
  SpinMutexLock file_lock(c.file_mutex);
  const std::uint64_t start = c.position;
  const IoResult r = c.file != nullptr && from != nullptr
                         ? c.file->CopyFrom(*from, source_offset, start, static_cast<std::size_t>(count))
                         : IoResult{0, EBADF};
  const std::uint64_t old_size = c.file_size;
  const std::uint64_t reached = start + r.bytes;
  if (reached > c.file_size) {
    if (c.cache_on) c.ResizeTable(c.EntryCountFor(reached));
    c.file_size = reached;
  }
  // No entry may keep bytes the copy replaced, nor end short of a file that grew behind it.
  if (c.cache_on) c.UnloadRange(std::min(start, old_size), reached);
  if (r.error != 0) ThrowSystemError(r.error, {kSourceFile, "CCachingFileReader::CopyData"});
  if (r.bytes < count) {
    ThrowLocated<exception_rt>(L"Failed to write data, requested " + std::to_wstring(count) + L" bytes, written " +
                                   std::to_wstring(r.bytes) + L" bytes",
                               {kSourceFile, "CCachingFileReader::CopyData"});
  }
  c.position = reached;
}

std::uint32_t CCachingFileReader::ReadDataScattered(std::span<const IoSpan> parts, void* ahead,
                                                    std::uint32_t lookahead) {
  constexpr std::size_t kMaxParts = 4;
  CacheCore& c = *core_;
  std::uint64_t total = 0;
  for (const IoSpan& part : parts) total += part.size;
  const auto read_part_by_part = [&] {
    for (const IoSpan& part : parts) ReadData(part.data, static_cast<std::uint32_t>(part.size));
    return std::uint32_t{0};
  };
  if (c.cache_on || parts.size() >= kMaxParts) return read_part_by_part();
  DeliverReports();
  CheckReadable(total);
  const std::uint64_t start = c.OwnPosition();
  lookahead = static_cast<std::uint32_t>(std::min<std::uint64_t>(lookahead, c.OwnFileSize() - start - total));
  IoSpan pieces[kMaxParts];
  std::size_t count = 0;
  for (const IoSpan& part : parts) pieces[count++] = part;
  if (lookahead != 0) pieces[count++] = IoSpan{ahead, lookahead};
  const IoResult r = ReadVector(start, std::span<const IoSpan>(pieces, count));
  // A short or failed transfer is read again piece by piece, which retries and reports as
  // ReadData does.
  if (r.bytes < total) return read_part_by_part();
  CacheLock cache_lock(c);
  c.position = start + total;
  return static_cast<std::uint32_t>(r.bytes - total);
}

bool CCachingFileReader::TryReadVector(std::uint64_t offset, std::span<const IoSpan> pieces) {
  if (core_->cache_on) return false;
  std::size_t wanted = 0;
  for (const IoSpan& piece : pieces) wanted += piece.size;
  return ReadVector(offset, pieces).bytes == wanted;
}

IoResult CCachingFileReader::ReadVector(std::uint64_t offset, std::span<const IoSpan> pieces) {
  CacheCore& c = *core_;
  SpinMutexLock file_lock(c.file_mutex);
  return c.file != nullptr ? c.file->ReadVectorAt(offset, pieces.data(), pieces.size()) : IoResult{0, EBADF};
}

}  // namespace recfilereader
