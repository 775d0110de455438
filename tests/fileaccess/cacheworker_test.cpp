#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <latch>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>

#include "fileaccess/cachingfilereader.h"
#include "readertestbase.h"

namespace recfilereader {
namespace {

using namespace rectest;
using namespace std::chrono_literals;

constexpr std::uint32_t kMiB = 1048576;

// Polls `done` for up to five seconds.
template <class Condition>
bool Eventually(Condition done) {
  for (int i = 0; i < 5000 && !done(); ++i) std::this_thread::sleep_for(1ms);
  return done();
}

// One pass loads at most the first empty entry that lies wholly inside the window
// (memory limit x fraction from the position) and before the end of the file.
TEST_F(ReaderTest, ReadAheadLoadsOneWholeEntryOfTheWindowPerPass) {
  const struct Case { const char* name; std::uint64_t file_size, position; std::uint32_t entry, limit, passes;
                      std::vector<std::uint32_t> loaded; } cases[] = {
      // Window 8,388,608 bytes: entries 0 to 3, one per pass, never entry 4.
      {"one per pass", 20 * kMiB, 0, 2 * kMiB, 10 * kMiB, 3, {0, 1, 2}},
      {"whole entries only", 20 * kMiB, 1, 2 * kMiB, 10 * kMiB, 9, {0, 1, 2, 3}},
      {"from the position's entry", 20 * kMiB, 2 * kMiB, 2 * kMiB, 10 * kMiB, 9, {1, 2, 3, 4}},
      {"window inside one entry", 8 * kMiB, 100, 2 * kMiB, 1 * kMiB, 9, {}},
      // The short last entry does not lie wholly before the end: only reads load it.
      {"short last entry", 3 * kEntry + 10, 0, kEntry, 100 * kEntry, 9, {0, 1, 2}},
      {"beyond the end", 3 * kEntry + 10, 10 * kEntry, kEntry, 100 * kEntry, 9, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    owner.SetCache(c.entry, c.limit, false, c.limit == 10 * kMiB ? 0.8 : 0.9);
    CCachingFileReader& reader = Open(std::vector<std::uint8_t>(c.file_size));
    reader.SetPosition(c.position);
    for (std::uint32_t pass = 0; pass < c.passes; ++pass) reader.UpdateCache();
    EXPECT_EQ(reader.Snapshot().loaded, c.loaded);
  }
}

// One large file whose reads claim to succeed without touching the buffer, so that gigabytes
// of loaded entries cost address space only.
struct HollowFiles final : FileSystem, PlatformFile {
  std::uint64_t size;
  explicit HollowFiles(std::uint64_t bytes) : size(bytes) {}
  IoResult ReadAt(std::uint64_t, void*, std::size_t count) override { return {count, 0}; }
  IoResult WriteAt(std::uint64_t, const void*, std::size_t count) override { return {count, 0}; }
  int GetSize(std::uint64_t& out) override { return out = size, 0; }
  int Truncate(std::uint64_t) override { return 0; }
  bool IsWritable(const std::wstring&) override { return false; }
  int Open(const std::wstring&, FileAccess, std::shared_ptr<PlatformFile>& file) override {
    file = std::shared_ptr<PlatformFile>(this, [](PlatformFile*) {});
    return 0;
  }
  int CreateNew(const std::wstring&, std::shared_ptr<PlatformFile>&) override { return EEXIST; }
};

// Evictions unload the least recently read entries: over the memory limit once the loaded bytes
// pass limit + entry, under system memory pressure once the probe (due half a second after the
// start) finds less than the system limit. Both free twice the excess plus two entries and
// always keep three.
TEST_F(ReaderTest, EvictionTakesTheOldestAndKeepsThree) {
  constexpr std::uint32_t kSystemLimit = 100 * kEntry;
  // `available`: what the probe finds; `wait_us`: clock time before the pass; the newest `left`
  // entries stay.
  const struct Case { std::uint32_t entry, limit, loads; std::optional<std::uint64_t> available; std::uint64_t wait_us;
                      std::size_t left; } cases[] = {
      {kEntry, 4 * kEntry, 5, {}, 0, 5},          // exactly limit + entry: stays
      {kEntry, 4 * kEntry - 1, 5, {}, 0, 3},      // one byte over: 2*1+2 = 4, kept at three
      {kEntry, kEntry, 8, {}, 0, 3},              // 2*7+2 = 16 wanted, lowered to 8 - 3
      {kEntry, 1, 3, {}, 0, 3},                   // three entries are never evicted
      {4 * kMiB, 0xFFFFFFFFu, 1025, {}, 0, 1021},  // the loaded bytes pass 4 GiB: 2*1+2 go
      {kEntry, kSystemLimit, 7, kSystemLimit - kEntry, 500'000, 3},  // 2*1+2 = 4 go
      {kEntry, kSystemLimit, 7, kSystemLimit - kEntry, 400'000, 7},  // the probe is not due
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.loads << " loads, limit " << c.limit);
    HollowFiles hollow(1030ull * c.entry);
    owner.SetCache(c.entry, c.limit, false, 0.8, kSystemLimit);
    CachingFileReaderPlatform platform = Platform();
    platform.files = &hollow;
    CCachingFileReader reader(&owner, platform);
    reader.OpenFile(L"f");
    for (std::uint64_t i = 0; i < c.loads; ++i, ++now_us) Read(reader, i * c.entry, 1);
    reader.SetPosition(reader.GetFileSize());  // keeps the read-ahead out of the way
    available_memory = c.available;
    now_us += c.wait_us;
    reader.RefreshMemoryStatus();
    reader.UpdateCache();
    const std::vector<std::uint32_t> loaded = reader.Snapshot().loaded;
    ASSERT_EQ(loaded.size(), c.left);
    EXPECT_EQ(loaded.front(), c.loads - c.left);  // the oldest went
  }
}

// A host that keeps its reports and the threads they came on; its report handler, like one that
// waits for its UI thread while that thread reads, needs the cache lock from another thread.
struct WatchfulHost final : IInterfaceAccess, IExternalInterfaceAccess, IExErrorMgr {
  explicit WatchfulHost(FakeOwner& settings) : owner(settings) {}
  void* GetInterface(const wchar_t* name) override {  // for the reader and as the host
    const std::wstring n(name);
    if (n == L"IExternalInterfaceAccess") return static_cast<IExternalInterfaceAccess*>(this);
    if (n == L"IExErrorMgr") return static_cast<IExErrorMgr*>(this);
    return owner.GetInterface(name);  // the cache settings
  }
  void Reserved() override {}
  void Report(const HostErrorRecord* record) override {
    auto other = std::async(std::launch::async, [this] { reader->Snapshot(); });
    lock_free = lock_free && other.wait_for(2s) == std::future_status::ready;
    on_caller = on_caller && std::this_thread::get_id() == caller;
    std::lock_guard lock(mutex);
    records.push_back(*record);
    ++count;
  }
  FakeOwner& owner;
  CCachingFileReader* reader = nullptr;
  const std::thread::id caller = std::this_thread::get_id();
  std::mutex mutex;
  std::vector<HostErrorRecord> records;
  std::atomic<std::size_t> count{0};
  std::atomic<bool> on_caller{true}, lock_free{true};
};

TEST_F(ReaderTest, WorkerReadsAheadEvictsAndHandsItsFailuresToTheCallingThread) {
  files.Add(L"f", Pattern(6 * kEntry));
  files.FailRead(1, Fault{EIO, 0});  // the worker's first load
  owner.SetCache(kEntry, 4 * kEntry, false, 0.9);
  WatchfulHost host(owner);
  CCachingFileReader reader(&host, Platform(true));
  host.reader = &reader;
  reader.OpenFile(L"f");
  // The failure waits for an operation of the calling thread, here the end of a read scope.
  EXPECT_TRUE(Eventually([&] {
    CCachingFileReader::ReadScope scope(reader);
    reader.SetPosition(0);
    return host.count > 0;
  }));
  EXPECT_TRUE(Eventually([&] { return reader.Snapshot().loaded.size() == 3; }));
  // Entries 3 to 5 come in; the sixth passes limit + entry, and the three least recently
  // loaded go (the policy itself is the eviction table's; here the worker applies it).
  reader.SetPosition(3 * kEntry);
  EXPECT_TRUE(Eventually([&] { return reader.Snapshot().loaded == std::vector<std::uint32_t>{3, 4, 5}; }));
  EXPECT_TRUE(Eventually([&] { return reader.statistics().updates_by_request() >= 1; }));
  EXPECT_GT(reader.statistics().updates_by_timeout(), 0u);
  reader.CloseFile();
  EXPECT_EQ(std::tuple(reader.Snapshot().table_entries, reader.Snapshot().current_cache_size), std::tuple(0u, 0u));
  ASSERT_EQ(host.count, 1u);
  const std::wstring text = host.records[0].Text;
  EXPECT_EQ(host.records[0].Code, (4u << 29) | (200u << 16));
  EXPECT_TRUE(text.starts_with(L"0x00000005 ") && text.find(L"CCachingFileReader::ReadFileChunk") != text.npos);
  EXPECT_TRUE(host.on_caller && host.lock_free);
}

TEST_F(ReaderTest, ShutdownWaitsTheGraceForABlockedWorkerThenAbandonsIt) {
  const auto data = files.Add(L"f", Pattern(4 * kEntry));
  owner.SetCache(kEntry, 4 * kEntry);
  std::latch reached{1}, opened{1};
  files.SetBeforeRead([&] {  // holds the worker in its first read, the only one before opened
    reached.count_down();
    opened.wait();
  });
  CachingFileReaderPlatform platform = Platform(true);
  platform.shutdown_grace = 200ms;
  auto reader = std::make_unique<CCachingFileReader>(&owner, platform);
  reader->OpenFile(L"f");
  reached.wait();
  const auto before = std::chrono::steady_clock::now();
  reader->CloseFile();
  EXPECT_GE(std::chrono::steady_clock::now() - before, 200ms);
  const auto reports = owner.Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(std::tuple(reports[0].severity, reports[0].id, reports[0].text),
            std::tuple(2u, 0u, L"Timeout exiting caching thread --> thread termination forced"));
  EXPECT_EQ(reader->Snapshot().table_entries, 0u);

  // The abandoned worker ends on its own, reporting nothing, and lets go of the file (and of the
  // latches, which it no longer touches then).
  opened.count_down();
  EXPECT_TRUE(Eventually([&] { return data.use_count() == 2; }));
  EXPECT_EQ(owner.Reports().size(), 1u);
}

}  // namespace
}  // namespace recfilereader
