#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <mutex>
#include <set>
#include <latch>
#include <thread>

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
  for (auto until = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < until;) {
    if (done()) return true;
    std::this_thread::sleep_for(1ms);
  }
  return done();
}

TEST_F(ReaderTest, ReadAheadLoadsOneEntryPerPassAndOnlyWholeEntriesInTheWindow) {
  owner.SetCache(2 * kMiB, 10 * kMiB, false, 0.8);  // window 8,388,608 bytes
  CCachingFileReader& reader = Open(std::vector<std::uint8_t>(20 * kMiB));
  for (std::uint32_t pass = 1; pass <= 4; ++pass) {
    reader.UpdateCache();
    EXPECT_EQ(reader.Snapshot().loaded.size(), pass);
  }
  for (int pass = 0; pass < 5; ++pass) reader.UpdateCache();
  EXPECT_EQ(reader.Snapshot().loaded, (std::vector<std::uint32_t>{0, 1, 2, 3}));

  // One byte further and entry 4 ends inside the window... not yet: it must lie wholly in it.
  reader.SetPosition(1);
  reader.UpdateCache();
  EXPECT_EQ(reader.Snapshot().loaded.size(), 4u);
  reader.SetPosition(2 * kMiB);
  reader.UpdateCache();
  EXPECT_EQ(reader.Snapshot().loaded, (std::vector<std::uint32_t>{0, 1, 2, 3, 4}));
}

TEST_F(ReaderTest, ReadAheadLoadsOnlyWholeEntriesBeforeTheEnd) {
  const struct Case {
    const char* name;
    std::uint64_t file_size, position;
    std::uint32_t entry, limit;
    std::vector<std::uint32_t> loaded;
  } cases[] = {
      {"window inside one entry", 8 * kMiB, 100, 2 * kMiB, 1 * kMiB, {}},
      // The short last entry does not lie wholly before the end: only reads load it.
      {"short last entry", 3 * kEntry + 10, 0, kEntry, 100 * kEntry, {0, 1, 2}},
      {"beyond the end", 3 * kEntry + 10, 10 * kEntry, kEntry, 100 * kEntry, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    owner.SetCache(c.entry, c.limit, false, 0.9);
    CCachingFileReader& reader = Open(std::vector<std::uint8_t>(c.file_size));
    reader.SetPosition(c.position);
    for (int pass = 0; pass < 10; ++pass) reader.UpdateCache();
    EXPECT_EQ(reader.Snapshot().loaded, c.loaded);
  }
}

// Loads entries 0..count-1 by reads, oldest first, then moves the position past the end so the
// read-ahead stays out of the way.
void LoadInOrder(CCachingFileReader& reader, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint8_t byte;
    reader.SetPosition(std::uint64_t{i} * kEntry);
    reader.ReadData(&byte, 1);
    std::this_thread::sleep_for(50us);  // distinct access times
  }
  reader.SetPosition(reader.GetFileSize() + 1);
}

TEST_F(ReaderTest, EvictionOverTheLimitStartsOneByteAboveLimitPlusEntry) {
  const struct Case {
    std::uint32_t limit;
    std::uint32_t entries;
    std::vector<std::uint32_t> left;
  } cases[] = {
      {4 * kEntry, 5, {0, 1, 2, 3, 4}},  // exactly limit + entry: stays
      {4 * kEntry - 1, 5, {2, 3, 4}},    // one byte over: 2*1+2 = 4, kept at three
      {kEntry, 8, {5, 6, 7}},            // 2*7+2 = 16 wanted, lowered to 8 - 3
      {1, 3, {0, 1, 2}},                 // three entries are never evicted
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.limit);
    owner.SetCache(kEntry, c.limit);
    CCachingFileReader& reader = Open(std::vector<std::uint8_t>(10 * kEntry));
    LoadInOrder(reader, c.entries);
    reader.UpdateCache();
    EXPECT_EQ(reader.Snapshot().loaded, c.left);
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

TEST_F(ReaderTest, EvictionStillRunsWhenTheLoadedBytesPass4GiB) {
  constexpr std::uint32_t kBig = 4 * kMiB;
  HollowFiles hollow(1030ull * kBig);
  owner.SetCache(kBig, 0xFFFFFFFFu);
  CachingFileReaderPlatform platform = Manual();
  platform.files = &hollow;
  CCachingFileReader reader(&owner, platform);
  reader.OpenFile(L"big");
  for (std::uint64_t i = 0; i < 1025; ++i) Read(reader, i * kBig, 1);  // 1 byte over limit + entry
  reader.SetPosition(reader.GetFileSize());
  reader.UpdateCache();
  EXPECT_EQ(reader.Snapshot().loaded.size(), 1021u);  // 2 x ((size - limit) / entry) + 2 go
}

TEST_F(ReaderTest, EvictionUnderSystemMemoryPressureTakesTheOldest) {
  const std::uint32_t system_limit = 100 * kEntry;
  owner.SetCache(kEntry, 100 * kEntry, false, 0.8, system_limit);
  CCachingFileReader& reader = Open(std::vector<std::uint8_t>(10 * kEntry));
  LoadInOrder(reader, 7);
  // Read entry 0 again: it becomes the newest.
  std::uint8_t byte;
  reader.SetPosition(10);
  reader.ReadData(&byte, 1);
  reader.SetPosition(reader.GetFileSize() + 1);

  available_memory = system_limit - kEntry;  // 2 * 1 + 2 = 4 to go
  reader.RefreshMemoryStatus();               // too early: the first check is due after 0.5 s
  reader.UpdateCache();
  EXPECT_EQ(reader.Snapshot().loaded.size(), 7u);
  std::this_thread::sleep_for(510ms);
  reader.RefreshMemoryStatus();
  reader.UpdateCache();
  EXPECT_EQ(reader.Snapshot().loaded, (std::vector<std::uint32_t>{0, 5, 6}));
  reader.UpdateCache();  // three left: never fewer
  EXPECT_EQ(reader.Snapshot().loaded.size(), 3u);

  available_memory.reset();  // an unknown figure is no pressure
  std::this_thread::sleep_for(510ms);
  reader.RefreshMemoryStatus();
  LoadInOrder(reader, 7);
  reader.UpdateCache();
  EXPECT_EQ(reader.Snapshot().loaded.size(), 7u);
}

TEST_F(ReaderTest, WorkerReadsAheadAnswersSeeksAndCarriesOnAfterALoadFailure) {
  const auto bytes = Pattern(6 * kEntry);
  files.Add(L"f", bytes);
  files.FailRead(1, Fault{EIO, 0});
  owner.SetCache(kEntry, 4 * kEntry, false, 0.9);
  CachingFileReaderPlatform platform = Manual();
  platform.start_worker = true;
  CCachingFileReader reader(&owner, platform);
  reader.OpenFile(L"f");
  EXPECT_TRUE(Eventually([&] { return reader.Snapshot().loaded.size() == 3; }));
  EXPECT_EQ(Read(reader, 100, 1000), Slice(bytes, 100, 1000));
  EXPECT_EQ(reader.statistics().hits(), 1u);
  // Entries 3 to 5 come in; the sixth passes limit + entry, and the three least recently
  // read (1, 2, then 0, which the test read) go.
  reader.SetPosition(3 * kEntry);
  EXPECT_TRUE(Eventually([&] { return reader.Snapshot().loaded == std::vector<std::uint32_t>{3, 4, 5}; }));
  EXPECT_TRUE(Eventually([&] { return reader.statistics().updates_by_request() >= 1; }));
  EXPECT_GT(reader.statistics().updates_by_timeout(), 0u);
  reader.CloseFile();
  EXPECT_EQ(reader.Snapshot().table_entries, 0u);
  EXPECT_EQ(reader.Snapshot().current_cache_size, 0u);
  const auto reports = owner.Reports();  // the failed load, once
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].severity, 4u);
  EXPECT_EQ(reports[0].id, 200u);
  EXPECT_EQ(reports[0].host_handle, owner.host_handle);
  EXPECT_TRUE(StartsWith(reports[0].text, L"0x00000005 "));
  EXPECT_NE(reports[0].text.find(L"CCachingFileReader::ReadFileChunk"), std::wstring::npos);
}

// A host that notes the threads that call its error manager and time base, and whose report
// handler, like one that waits for its UI thread while that thread reads, needs the cache lock
// from another thread.
struct WatchfulHost final : IInterfaceAccess, IExternalInterfaceAccess, IExErrorMgr, ITimebase {
  explicit WatchfulHost(FakeOwner& settings) : owner(settings) {}
  void* GetInterface(const wchar_t* name) override {  // for the reader and as the host
    const std::wstring n(name);
    if (n == L"IExternalInterfaceAccess") return static_cast<IExternalInterfaceAccess*>(this);
    if (n == L"IExErrorMgr") return static_cast<IExErrorMgr*>(this);
    if (n == L"ITimebase") return static_cast<ITimebase*>(this);
    return owner.GetInterface(name);
  }
  void Reserved() override {}
  ULONGLONG GetCurrentTime() override { return Note(), 0; }
  void Report(const HostErrorRecord*) override {
    Note();
    auto other = std::async(std::launch::async, [this] { reader->Snapshot(); });
    lock_free = lock_free && other.wait_for(2s) == std::future_status::ready;
    ++reports;
  }
  void Note() {
    std::lock_guard lock(mutex);
    threads.insert(std::this_thread::get_id());
  }
  FakeOwner& owner;
  CCachingFileReader* reader = nullptr;
  std::mutex mutex;
  std::set<std::thread::id> threads;
  std::atomic<int> reports{0};
  std::atomic<bool> lock_free{true};
};

TEST_F(ReaderTest, WorkerFailuresReachTheHostOnTheCallingThreadWithNoLockHeld) {
  files.Add(L"f", Pattern(4 * kEntry));
  files.FailRead(1, Fault{EIO, 0});  // the worker's first load
  owner.SetCache(kEntry, 4 * kEntry);
  WatchfulHost host(owner);
  CachingFileReaderPlatform platform = Manual();
  platform.start_worker = true;
  CCachingFileReader reader(&host, platform);
  host.reader = &reader;
  reader.OpenFile(L"f");
  EXPECT_TRUE(Eventually([&] {
    CCachingFileReader::ReadScope scope(reader);
    reader.SetPosition(0);
    return host.reports > 0;
  }));
  reader.CloseFile();
  EXPECT_EQ(host.reports, 1);
  EXPECT_EQ(host.threads, std::set<std::thread::id>{std::this_thread::get_id()});
  EXPECT_TRUE(host.lock_free);
}

// Holds every read of the file system until opened; tells when the first read got there.
struct ReadGate {
  std::atomic<bool> reached_once{false};
  std::latch reached{1}, opened{1};
  void Pass() {
    if (!reached_once.exchange(true)) reached.count_down();
    opened.wait();
  }
};

TEST_F(ReaderTest, ShutdownWaitsForABlockedWorkerWithinTheGraceAndThenAbandonsIt) {
  const auto data = files.Add(L"f", Pattern(4 * kEntry));
  owner.SetCache(kEntry, 4 * kEntry);
  // Starts a reader whose worker is held at `gate` in its first read.
  auto start_blocked = [&](const std::shared_ptr<ReadGate>& gate, std::chrono::milliseconds grace) {
    files.SetBeforeRead([gate] { gate->Pass(); });
    CachingFileReaderPlatform platform = Manual();
    platform.start_worker = true;
    platform.shutdown_grace = grace;
    auto reader = std::make_unique<CCachingFileReader>(&owner, platform);
    reader->OpenFile(L"f");
    gate->reached.wait();
    return reader;
  };
  {
    auto gate = std::make_shared<ReadGate>();
    auto reader = start_blocked(gate, 5s);
    std::thread opener([gate] {
      std::this_thread::sleep_for(100ms);
      gate->opened.count_down();
    });
    reader->CloseFile();
    opener.join();
    EXPECT_TRUE(owner.Reports().empty());
  }
  auto gate = std::make_shared<ReadGate>();
  auto reader = start_blocked(gate, 200ms);
  const auto before = std::chrono::steady_clock::now();
  reader->CloseFile();
  EXPECT_GE(std::chrono::steady_clock::now() - before, 200ms);
  const auto reports = owner.Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].severity, 2u);
  EXPECT_EQ(reports[0].id, 0u);
  EXPECT_EQ(reports[0].text, L"Timeout exiting caching thread --> thread termination forced");
  EXPECT_EQ(reader->GetAccessMode(), 0u);
  EXPECT_EQ(reader->Snapshot().table_entries, 0u);

  // The reader goes on with a fresh cache while the old worker still hangs.
  files.SetBeforeRead(nullptr);  // the gate stays shut for the abandoned read only
  files.Add(L"g", Pattern(1000));
  owner.SetCache(kEntry, 0);
  reader->OpenFile(L"g");
  EXPECT_EQ(Read(*reader, 0, 10), Slice(Pattern(1000), 0, 10));
  reader.reset();

  // The abandoned worker ends on its own, reporting nothing, and lets go of the file.
  gate->opened.count_down();
  EXPECT_TRUE(Eventually([&] { return data.use_count() == 2; }));
  EXPECT_EQ(owner.Reports().size(), 1u);
}

}  // namespace
}  // namespace recfilereader
