// The caching file reader's statistics: cache accesses, hits and fails counted by the reading
// thread, worker updates and passes counted by the cache worker. Each counter has exactly one
// writing thread and is read without a lock by the performance query.
#ifndef RECFILEREADER_FILEACCESS_CACHINGFILEREADERSTAT_H
#define RECFILEREADER_FILEACCESS_CACHINGFILEREADERSTAT_H

#include <atomic>
#include <cstdint>

#include "recfilereader/compat.h"
#include "recfilereader/performance.h"

namespace recfilereader {

class CCachingFileReaderStat {
 public:
  explicit CCachingFileReaderStat(DWORD host_handle) : host_handle_(host_handle) {}
  CCachingFileReaderStat(const CCachingFileReaderStat&) = delete;
  CCachingFileReaderStat& operator=(const CCachingFileReaderStat&) = delete;
  virtual ~CCachingFileReaderStat() = default;

  // Offers, in order, "CachingFileReader::CacheAccess", "::CacheHit", "::CacheFail",
  // "::UpdateByServiceRequest", "::UpdateByTimeout"; true when one answered.
  virtual bool GetPerformanceTable(PerformanceQuery* query);

  // Reading thread.
  void CountAccess() { Bump(accesses_); }
  void CountHit() { Bump(hits_); }
  void CountFail() { Bump(fails_); }
  // Worker thread.
  void CountWorkerPass() { Bump(worker_passes_); }
  void CountUpdateByServiceRequest() { Bump(updates_by_request_); }
  void CountUpdateByTimeout() { Bump(updates_by_timeout_); }

  std::uint64_t accesses() const { return accesses_.load(std::memory_order_relaxed); }
  std::uint64_t hits() const { return hits_.load(std::memory_order_relaxed); }
  std::uint64_t fails() const { return fails_.load(std::memory_order_relaxed); }
  std::uint64_t worker_passes() const { return worker_passes_.load(std::memory_order_relaxed); }
  std::uint64_t updates_by_request() const { return updates_by_request_.load(std::memory_order_relaxed); }
  std::uint64_t updates_by_timeout() const { return updates_by_timeout_.load(std::memory_order_relaxed); }
  // hits / accesses x 100, and fails / accesses x 100; both 0 without accesses.
  double hit_percentage() const;
  double fail_percentage() const;

 private:
  // One writer per counter: a plain load and store, no locked increment on the read path.
  static void Bump(std::atomic<std::uint64_t>& counter) {
    counter.store(counter.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  }

  const DWORD host_handle_;
  std::atomic<std::uint64_t> worker_passes_{0};  // counted, never reported
  std::atomic<std::uint64_t> updates_by_request_{0};
  std::atomic<std::uint64_t> updates_by_timeout_{0};
  std::atomic<std::uint64_t> accesses_{0};
  std::atomic<std::uint64_t> hits_{0};
  std::atomic<std::uint64_t> fails_{0};
};

}  // namespace recfilereader

#endif  // RECFILEREADER_FILEACCESS_CACHINGFILEREADERSTAT_H
