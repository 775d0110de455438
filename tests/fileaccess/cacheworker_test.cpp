#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
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
  files.Add(L"f", std::vector<std::uint8_t>(20 * kMiB));
  owner.SetCache(2 * kMiB, 10 * kMiB, false, 0.8);  // window 8,388,608 bytes
  CCachingFileReader reader(&owner, Manual());
  reader.OpenFile(L"f");
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

TEST_F(ReaderTest, WindowInsideOneEntryLoadsNothing) {
  files.Add(L"f", std::vector<std::uint8_t>(8 * kMiB));
  owner.SetCache(2 * kMiB, 1 * kMiB, false, 0.8);
  CCachingFileReader reader(&owner, Manual());
  reader.OpenFile(L"f");
  reader.SetPosition(100);
  for (int pass = 0; pass < 3; ++pass) reader.UpdateCache();
  EXPECT_TRUE(reader.Snapshot().loaded.empty());
}

TEST_F(ReaderTest, ReadAheadStopsAtTheEndOfTheFile) {
  files.Add(L"f", std::vector<std::uint8_t>(3 * kEntry + 10));
  owner.SetCache(kEntry, 100 * kEntry, false, 0.9);
  CCachingFileReader reader(&owner, Manual());
  reader.OpenFile(L"f");
  for (int pass = 0; pass < 10; ++pass) reader.UpdateCache();
  // The short last entry does not lie wholly before the end: only reads load it.
  EXPECT_EQ(reader.Snapshot().loaded, (std::vector<std::uint32_t>{0, 1, 2}));
  reader.SetPosition(10 * kEntry);  // beyond the end: nothing to do
  reader.UpdateCache();
  EXPECT_EQ(reader.Snapshot().loaded.size(), 3u);
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
    files.Add(L"f", std::vector<std::uint8_t>(10 * kEntry));
    owner.SetCache(kEntry, c.limit);
    CCachingFileReader reader(&owner, Manual());
    reader.OpenFile(L"f");
    LoadInOrder(reader, c.entries);
    reader.UpdateCache();
    EXPECT_EQ(reader.Snapshot().loaded, c.left);
  }
}

TEST_F(ReaderTest, EvictionUnderSystemMemoryPressureTakesTheOldest) {
  files.Add(L"f", std::vector<std::uint8_t>(10 * kEntry));
  const std::uint32_t system_limit = 100 * kEntry;
  owner.SetCache(kEntry, 100 * kEntry, false, 0.8, system_limit);
  CCachingFileReader reader(&owner, Manual());
  reader.OpenFile(L"f");
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

TEST_F(ReaderTest, WorkerReadsAheadAndAnswersSeeks) {
  const auto bytes = Pattern(6 * kEntry);
  files.Add(L"f", bytes);
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
  EXPECT_GT(reader.statistics().worker_passes(), 0u);
  reader.CloseFile();
  EXPECT_EQ(reader.Snapshot().table_entries, 0u);
  EXPECT_EQ(reader.Snapshot().current_cache_size, 0u);
  EXPECT_TRUE(owner.Reports().empty());
}

TEST_F(ReaderTest, WorkerReportsLoadFailuresAndCarriesOn) {
  files.Add(L"f", Pattern(4 * kEntry));
  owner.SetCache(kEntry, 4 * kEntry);
  files.FailRead(1, Fault{EIO, 0});
  CachingFileReaderPlatform platform = Manual();
  platform.start_worker = true;
  CCachingFileReader reader(&owner, platform);
  reader.OpenFile(L"f");
  EXPECT_TRUE(Eventually([&] { return reader.Snapshot().loaded.size() == 3; }));
  reader.CloseFile();
  const auto reports = owner.Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].severity, 4u);
  EXPECT_EQ(reports[0].id, 200u);
  EXPECT_EQ(reports[0].host_handle, owner.host_handle);
  EXPECT_TRUE(StartsWith(reports[0].text, L"0x00000005 "));
  EXPECT_NE(reports[0].text.find(L"CCachingFileReader::ReadFileChunk"), std::wstring::npos);
}

// Holds every read of the file system until released.
struct ReadGate {
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
  int waiting = 0;
  void Pass() {
    std::unique_lock lock(mutex);
    ++waiting;
    changed.notify_all();
    changed.wait(lock, [&] { return open; });
  }
  void WaitForReader() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return waiting > 0; });
  }
  void Open() {
    std::lock_guard lock(mutex);
    open = true;
    changed.notify_all();
  }
};

TEST_F(ReaderTest, ShutdownWaitsForABusyWorkerWithinTheGrace) {
  files.Add(L"f", Pattern(4 * kEntry));
  owner.SetCache(kEntry, 4 * kEntry);
  auto gate = std::make_shared<ReadGate>();
  files.SetBeforeRead([gate] { gate->Pass(); });
  CachingFileReaderPlatform platform = Manual();
  platform.start_worker = true;
  platform.shutdown_grace = 5s;
  CCachingFileReader reader(&owner, platform);
  reader.OpenFile(L"f");
  gate->WaitForReader();
  std::thread opener([gate] {
    std::this_thread::sleep_for(100ms);
    gate->Open();
  });
  reader.CloseFile();
  opener.join();
  EXPECT_TRUE(owner.Reports().empty());
  EXPECT_EQ(reader.GetAccessMode(), 0u);
}

TEST_F(ReaderTest, ShutdownAbandonsAWorkerThatOutlastsTheGrace) {
  const auto data = files.Add(L"f", Pattern(4 * kEntry));
  owner.SetCache(kEntry, 4 * kEntry);
  auto gate = std::make_shared<ReadGate>();
  files.SetBeforeRead([gate] { gate->Pass(); });
  CachingFileReaderPlatform platform = Manual();
  platform.start_worker = true;
  platform.shutdown_grace = 200ms;
  auto reader = std::make_unique<CCachingFileReader>(&owner, platform);
  reader->OpenFile(L"f");
  gate->WaitForReader();
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

  gate->Open();  // the abandoned worker ends on its own, reporting nothing, and lets go of the file
  EXPECT_TRUE(Eventually([&] { return data.use_count() == 2; }));
  EXPECT_EQ(owner.Reports().size(), 1u);
}

}  // namespace
}  // namespace recfilereader
