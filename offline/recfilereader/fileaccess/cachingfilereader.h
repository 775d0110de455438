// CCachingFileReader: the only way the library touches a recording file. It opens or creates
// one file, keeps its size and a current position, and reads and writes at that position.
// With the cache on (the owner's "CacheMemoryLimit" is not 0) the file is cut into equal
// entries that a worker thread loads ahead of the position and evicts when memory runs short;
// reads copy from the loaded entries. With the cache off every read goes to the file.
//
// Threads: every operation belongs to the owner's one calling thread; the worker shares the
// cache state under its locks (cache lock, then file lock). The owner holds the object by
// value; destruction closes the file and stops the worker. The host is called only on the
// calling thread and with no lock held: the worker's messages wait until the calling thread's
// next operation (a read, a seek, a write, the end of a read scope, closing) delivers them.
#ifndef RECFILEREADER_FILEACCESS_CACHINGFILEREADER_H
#define RECFILEREADER_FILEACCESS_CACHINGFILEREADER_H

#include <cstdint>
#include <future>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "fileaccess/cachecore.h"
#include "fileaccess/cachesettings.h"
#include "fileaccess/cachingfilereaderstat.h"
#include "fileaccess/fileinterfaces.h"
#include "host/reporttohost.h"
#include "recfilereader/base.h"
#include "recfilereader/performance.h"

namespace recfilereader {

// What the cache holds at one moment, for tests and diagnostics.
struct CacheSnapshot {
  std::vector<std::uint32_t> loaded;  // indices in order
  std::uint64_t current_cache_size = 0;
  std::uint32_t valid_entries = 0;
  std::size_t table_entries = 0;
};

class CCachingFileReader final : public IPerformanceTable,
                                 public IFile,
                                 public IFileAccess,
                                 public IFileNavigation,
                                 public IFileDataRead,
                                 public IFileDataWrite {
 public:
  // `owner` is the reader's service context: its "IObjectProperties" holds the cache settings
  // and its "IExternalInterfaceAccess" the host object whose "Handle" tags statistics and
  // reports. Either may be missing.
  explicit CCachingFileReader(IInterfaceAccess* owner, CachingFileReaderPlatform platform = {});
  ~CCachingFileReader();
  CCachingFileReader(const CCachingFileReader&) = delete;
  CCachingFileReader& operator=(const CCachingFileReader&) = delete;

  // IPerformanceTable: "Cache::CurrentCacheSize", "Cache::ValidCacheEntries",
  // "Cache::CacheEntrySize", "Cache::Transparent", then the statistics' five counters.
  bool GetPerformanceTable(PerformanceQuery* query) override;

  // IFile. Failures raise exception_rt with the system's text and leave no file open.
  void OpenFile(const wchar_t* path) override;
  void CreateFileW(const wchar_t* path) override;
  void CloseFile() override;

  std::uint32_t GetAccessMode() override { return access_mode_; }
  std::uint64_t GetFileSize() override { return core_->OwnFileSize(); }
  std::uint64_t GetPosition() override { return core_->OwnPosition(); }
  bool SetPosition(std::uint64_t position) override;

  // Raises exception_rec_invalid_offset "Read request beyond the end of the file" when the
  // read would pass the end; file errors raise exception_rt.
  void ReadData(void* destination, std::uint32_t count) override;
  // ReadData of `count` bytes, after which, with the cache off, up to `lookahead` of the bytes
  // that follow (as many as the file holds) land behind them in `destination` in the same
  // transfer, the position staying just past the `count` bytes. Returns how many lookahead
  // bytes came; always 0 with the cache on, where the entries serve small reads cheaply.
  // `destination` must hold count + lookahead bytes.
  std::uint32_t ReadDataAhead(void* destination, std::uint32_t count, std::uint32_t lookahead);
  void WriteData(const void* source, std::uint32_t count) override;
  void SetEndOfFile() override;

  // The end-of-file check that opens ReadData: throws exactly what ReadData would for a read of
  // `count` bytes at the position. Callers use it to refuse a length before allocating for it.
  void CheckReadable(std::uint64_t count) const;

  // Holds the cache lock across the reads of one block, which then share one stopwatch
  // reading for their access times (until a load or a large copy): a block's header and
  // payload cost one lock and one clock reading instead of two. Nothing when the cache is off.
  // Inside a scope only positioning, reads and writes of this object may be called; messages
  // for the host wait until the outermost scope ends.
  class ReadScope {
   public:
    explicit ReadScope(CCachingFileReader& reader);
    ~ReadScope();
    ReadScope(const ReadScope&) = delete;
    ReadScope& operator=(const ReadScope&) = delete;

   private:
    CCachingFileReader* reader_ = nullptr;
  };

  DWORD host_handle() const { return reporter_.host_handle(); }
  const std::wstring& file_name() const { return file_name_; }
  bool cache_on() const { return core_->cache_on; }
  const CacheSettings& cache_settings() const { return core_->settings; }
  const CCachingFileReaderStat& statistics() const { return *stat_; }
  // Any thread, outside a read scope.
  CacheSnapshot Snapshot();
  // The worker's steps, for owners that run without a worker thread (platform.start_worker).
  void UpdateCache() { core_->UpdateCache(); }
  void RefreshMemoryStatus() { core_->RefreshMemoryStatus(); }

 private:
  void StartCacheOrClose();
  void InitializeCache();
  void ShutdownCache();
  void StartWorker();
  void Attach(std::shared_ptr<PlatformFile> file, const std::wstring& name, std::uint32_t mode,
              const char* function);
  void ResetFileState();
  // Hands the messages kept for the host over, on the calling thread with no lock held.
  void DeliverReports();
  // The calling thread is outside every read scope.
  bool OutsideReadScope() const { return core_->read_scope_depth == 0; }

  IInterfaceAccess* const owner_;
  const HostReporter reporter_;  // looked up once, on the thread that builds the reader
  const CachingFileReaderPlatform platform_;
  FileSystem& files_;
  const std::shared_ptr<CCachingFileReaderStat> stat_;

  std::wstring file_name_;
  std::uint32_t access_mode_ = 0;
  std::shared_ptr<CacheCore> core_;
  std::thread worker_;
  std::future<void> worker_done_;

 public:
  // WriteData of the `count` bytes at `source_offset` of `source`'s file, which come straight
  // from that file, without passing through memory where the system can copy in the kernel.
  // Writes go to the file at once, so the source's file holds everything its reader wrote; the
  // source's entries and position are left alone. `source` may be this reader, the two ranges
  // apart. A copy cut short by the source's end fails like a short write.
  void CopyData(CCachingFileReader& source, std::uint64_t source_offset, std::uint64_t count);

  // ReadData of the bytes `parts` take together, scattered over them in order, after which,
  // with the cache off, up to `lookahead` of the bytes that follow (as many as the file holds)
  // land in `ahead` in the same transfer, the position staying just past the parts. Returns
  // how many lookahead bytes came (always 0 with the cache on). Failures are ReadData's.
  std::uint32_t ReadDataScattered(std::span<const IoSpan> parts, void* ahead, std::uint32_t lookahead);

  // With the cache off, the bytes at `offset` that `pieces` take together, in one transfer that
  // leaves the position and the counters alone. False when that cannot be done whole (cache on,
  // no file, a failure or the end of the file): nothing is reported or thrown, and the caller
  // reads what it must the usual way, which retries and reports.
  bool TryReadVector(std::uint64_t offset, std::span<const IoSpan> pieces);

 private:
  // One scattered transfer at `offset` under the file lock; no file: EBADF.
  IoResult ReadVector(std::uint64_t offset, std::span<const IoSpan> pieces);
};

}  // namespace recfilereader

#endif  // RECFILEREADER_FILEACCESS_CACHINGFILEREADER_H
