#include "fileaccess/cachingfilereader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <random>

#include "base/exceptions.h"
#include "platform/textconv.h"
#include "readertestbase.h"
#include "support/tempdir.h"

namespace recfilereader {
namespace {

using namespace rectest;

TEST_F(ReaderTest, ReadsEndingAtTheEndSucceedAndOneBytePastFails) {
  for (std::uint32_t limit : {0u, 4u * kEntry}) {
    SCOPED_TRACE(limit);
    owner.SetCache(kEntry, limit);
    CCachingFileReader& reader = Open(Pattern(kEntry));  // an exact multiple of the entry size
    EXPECT_EQ(reader.GetAccessMode(), 3u);
    EXPECT_EQ(Read(reader, kEntry - 5, 5), Slice(Pattern(kEntry), kEntry - 5, 5));
    // Without a cache every read goes to the file and nothing is counted.
    EXPECT_EQ(reader.cache_on(), limit != 0);
    EXPECT_EQ(reader.Snapshot().table_entries, limit == 0 ? 0u : 2u);
    EXPECT_EQ(reader.statistics().accesses(), limit == 0 ? 0u : 1u);
    std::uint8_t byte = 0;
    reader.ReadData(&byte, 0);
    const std::wstring text = ThrownText<exception_rec_invalid_offset>([&] { reader.ReadData(&byte, 1); });
    EXPECT_TRUE(StartsWith(text, L"Read request beyond the end of the file (File: cachingfilereader, "
                                 L"Function: CCachingFileReader::ReadData, Line: "))
        << WideToUtf8(text);
    EXPECT_EQ(reader.GetPosition(), kEntry);
    reader.SetPosition(~0ull - 2);  // no wrap-around in the bound check
    EXPECT_THROW(reader.ReadData(&byte, 4), exception_rec_invalid_offset);
  }
}

TEST_F(ReaderTest, OpenFallsBackToReadingOnlyAndFailuresLeaveItClosed) {
  files.Add(L"ro", Pattern(10))->read_only = true;
  files.Add(L"denied", Pattern(10))->deny_writing = true;
  CCachingFileReader reader(&owner, Manual());
  reader.OpenFile(L"ro");
  EXPECT_EQ(reader.GetAccessMode(), 1u);
  reader.OpenFile(L"denied");
  EXPECT_EQ(reader.GetAccessMode(), 1u);
  EXPECT_EQ(reader.file_name(), L"denied");
  const std::wstring text = ThrownText<exception_rt>([&] { reader.WriteData("x", 1); });
  EXPECT_TRUE(StartsWith(text, L"0x00000009 ")) << WideToUtf8(text);  // EBADF

  EXPECT_THROW(reader.OpenFile(L"missing"), exception_rt);
  EXPECT_EQ(reader.GetAccessMode(), 0u);
  EXPECT_EQ(reader.file_name(), L"");
  EXPECT_THROW(reader.CreateFileW(L"ro"), exception_rt);
  EXPECT_EQ(reader.GetAccessMode(), 0u);
  EXPECT_EQ(reader.GetFileSize(), 0u);
}

// The default platform on real files; direct reads and entry loads are the same code on any
// file system, so the cached path stands for both.
TEST_F(ReaderTest, RealFilesRoundTripAndCreateRefusesAnExistingPath) {
  TempDir dir;
  const std::wstring path = (dir / "rec.bin").wstring();
  owner.SetCache(kEntry, 8u * kEntry);
  const auto bytes = Pattern(kEntry + 777);
  {
    CCachingFileReader writer(&owner);
    writer.CreateFileW(path.c_str());
    writer.WriteData(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  }
  CCachingFileReader reader(&owner);
  const std::wstring text = ThrownText<exception_rt>([&] { reader.CreateFileW(path.c_str()); });
  EXPECT_TRUE(StartsWith(text, L"0x00000011 ")) << WideToUtf8(text);  // EEXIST
  EXPECT_TRUE(text.find(L"Function: CCachingFileReader::CreateFileW") != std::wstring::npos);
  EXPECT_EQ(reader.GetAccessMode(), 0u);
  reader.OpenFile(path.c_str());
  EXPECT_EQ(reader.GetFileSize(), bytes.size());
  EXPECT_EQ(Read(reader, 0, static_cast<std::uint32_t>(bytes.size())), bytes);
}

TEST_F(ReaderTest, TableHasOneEntryMoreThanTheWholeEntries) {
  owner.SetCache(kEntry, 8 * kEntry);
  for (std::uint64_t size : {0ull, 1ull, kEntry - 1ull, 1ull * kEntry, 2ull * kEntry, 2ull * kEntry + 1}) {
    SCOPED_TRACE(size);
    EXPECT_EQ(Open(std::vector<std::uint8_t>(size)).Snapshot().table_entries, size / kEntry + 1);
  }
}

TEST_F(ReaderTest, ReadAcrossAnEntryBoundaryUsesTwoEntries) {
  const auto bytes = Pattern(3 * kEntry + 100);
  owner.SetCache(kEntry, 16 * kEntry);
  CCachingFileReader& reader = Open(bytes);
  EXPECT_EQ(Read(reader, kEntry - 100, 200), Slice(bytes, kEntry - 100, 200));
  EXPECT_EQ(reader.statistics().accesses(), 2u);
  EXPECT_EQ(reader.statistics().fails(), 2u);
  EXPECT_EQ(reader.Snapshot().loaded, (std::vector<std::uint32_t>{0, 1}));
  EXPECT_EQ(Read(reader, kEntry - 100, 200), Slice(bytes, kEntry - 100, 200));
  EXPECT_EQ(reader.statistics().hits(), 2u);
  // The last entry holds only what the file has.
  EXPECT_EQ(Read(reader, 3 * kEntry + 90, 10), Slice(bytes, 3 * kEntry + 90, 10));
  EXPECT_EQ(reader.Snapshot().current_cache_size, 2 * kEntry + 100);
  EXPECT_EQ(reader.Snapshot().valid_entries, 3u);
}

TEST_F(ReaderTest, RandomReadsSeeTheFileWithCacheInAnyMode) {
  const auto bytes = Pattern(5 * kEntry + 12345);
  for (bool transparent : {false, true}) {
    SCOPED_TRACE(transparent);
    owner.SetCache(kEntry, 3 * kEntry, transparent, 0.5);
    CCachingFileReader& reader = Open(bytes);
    std::mt19937_64 random(42);
    for (int i = 0; i < 300; ++i) {
      const std::uint64_t at = random() % bytes.size();
      const auto count = static_cast<std::uint32_t>(random() % std::min<std::uint64_t>(bytes.size() - at, 3 * kEntry));
      ASSERT_EQ(Read(reader, at, count), Slice(bytes, at, count)) << at << "+" << count;
      if (i % 7 == 0) reader.UpdateCache();  // read-ahead and eviction in between
    }
    const auto& stat = reader.statistics();
    EXPECT_EQ(stat.hits() + stat.fails(), stat.accesses());
  }
}

TEST_F(ReaderTest, TransparentMissReadsDirectlyAndLeavesTheEntryToTheWorker) {
  const auto bytes = Pattern(4 * kEntry);
  owner.SetCache(kEntry, 8 * kEntry, true);
  CCachingFileReader& reader = Open(bytes);
  EXPECT_EQ(Read(reader, kEntry - 10, 30), Slice(bytes, kEntry - 10, 30));  // spans two entries
  EXPECT_EQ(reader.statistics().accesses(), 1u);
  EXPECT_EQ(reader.statistics().fails(), 1u);
  EXPECT_TRUE(reader.Snapshot().loaded.empty());
  reader.SetPosition(0);
  reader.UpdateCache();
  EXPECT_EQ(reader.Snapshot().loaded, std::vector<std::uint32_t>{0});
  EXPECT_EQ(Read(reader, 100, 30), Slice(bytes, 100, 30));
  EXPECT_EQ(reader.statistics().hits(), 1u);
}

TEST_F(ReaderTest, WritesReachLaterReadsAndGrowTheTable) {
  auto bytes = Pattern(kEntry + 1000);
  owner.SetCache(kEntry, 8 * kEntry);
  CCachingFileReader& reader = Open(bytes);
  Read(reader, 0, 100);
  Read(reader, kEntry + 900, 100);  // the short last entry
  ASSERT_EQ(reader.Snapshot().loaded, (std::vector<std::uint32_t>{0, 1}));

  const std::vector<std::uint8_t> patch = {1, 2, 3, 4};
  reader.SetPosition(50);
  reader.WriteData(patch.data(), 4);
  EXPECT_EQ(reader.GetPosition(), 54u);
  EXPECT_EQ(reader.Snapshot().loaded, std::vector<std::uint32_t>{1});
  std::copy(patch.begin(), patch.end(), bytes.begin() + 50);
  EXPECT_EQ(Read(reader, 40, 30), Slice(bytes, 40, 30));

  // Appending behind the loaded short entry: reads beyond the old end see the new bytes.
  const auto tail = Pattern(2 * kEntry);
  reader.SetPosition(bytes.size());
  reader.WriteData(tail.data(), static_cast<std::uint32_t>(tail.size()));
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  EXPECT_EQ(reader.GetFileSize(), bytes.size());
  EXPECT_EQ(reader.Snapshot().table_entries, bytes.size() / kEntry + 1);
  EXPECT_EQ(Read(reader, kEntry + 500, 2000), Slice(bytes, kEntry + 500, 2000));
  EXPECT_EQ(Read(reader, bytes.size() - 10, 10), Slice(bytes, bytes.size() - 10, 10));
}

// A write far behind the end must not leave the loaded short last entry to serve the bytes
// between the old end and the write: they are a miss and read back as the file holds them.
TEST_F(ReaderTest, WriteFarPastTheEndDropsTheShortLastEntry) {
  owner.SetCache(kEntry, 8 * kEntry);
  CCachingFileReader& reader = Open(Pattern(100));
  Read(reader, 0, 10);
  reader.SetPosition(600000);
  reader.WriteData("abc", 3);
  EXPECT_EQ(Read(reader, 200, 4000), Slice(files.Bytes(L"f"), 200, 4000));
  EXPECT_EQ(reader.statistics().fails(), 2u);
}

TEST_F(ReaderTest, SetEndOfFileCutsAndExtendsTheTable) {
  const auto bytes = Pattern(4 * kEntry);
  owner.SetCache(kEntry, 8 * kEntry);
  CCachingFileReader& reader = Open(bytes);
  for (std::uint32_t i = 0; i < 4; ++i) Read(reader, i * kEntry, 1);
  reader.SetPosition(kEntry + 10);
  reader.SetEndOfFile();
  EXPECT_EQ(files.Bytes(L"f").size(), kEntry + 10);
  EXPECT_EQ(reader.Snapshot().table_entries, 2u);
  EXPECT_EQ(reader.Snapshot().loaded, std::vector<std::uint32_t>{0});
  EXPECT_EQ(reader.Snapshot().current_cache_size, kEntry);
  EXPECT_EQ(Read(reader, kEntry, 10), Slice(bytes, kEntry, 10));

  reader.SetPosition(3 * kEntry + 5);
  reader.SetEndOfFile();
  EXPECT_EQ(reader.GetFileSize(), 3 * kEntry + 5);
  EXPECT_EQ(reader.Snapshot().table_entries, 4u);
  auto grown = Slice(bytes, 0, kEntry + 10);
  grown.resize(3 * kEntry + 5);
  EXPECT_EQ(Read(reader, kEntry, 100), Slice(grown, kEntry, 100));
  EXPECT_EQ(Read(reader, 3 * kEntry, 5), Slice(grown, 3 * kEntry, 5));
}

// Direct reads (no cache) repeat interrupted calls up to four in all; entry loads do not.
TEST_F(ReaderTest, ReadFaultsFailTheReadAndLeaveNothingBehind) {
  const auto bytes = Pattern(2 * kEntry);
  const struct Case {
    const char* name;
    std::uint32_t limit;        // 0: direct reads, else through entries
    std::vector<Fault> faults;  // for calls 1, 2, ...
    const wchar_t* error;       // expected text start, or null for success
  } cases[] = {
      {"interrupted once", 0, {{EINTR, 0}}, nullptr},
      {"again three times", 0, {{EAGAIN, 0}, {EINTR, 0}, {EAGAIN, 0}}, nullptr},
      {"partial then interrupted", 0, {{EINTR, 40}}, nullptr},
      {"four failures", 0, {{EINTR, 0}, {EINTR, 0}, {EINTR, 0}, {EIO, 0}},
       L"Failed to read data from file. Requested 100 bytes, read 0 bytes (File: cachingfilereader, "
       L"Function: CCachingFileReader::ReadValueDirect"},
      {"other error", 0, {{EIO, 0}}, L"0x00000005 "},
      {"short", 0, {{0, 40}}, L"Failed to read data from file. Requested 100 bytes, read 40 bytes"},
      {"entry interrupted", 8 * kEntry, {{EINTR, 0}}, L"0x00000004 "},
      {"entry other error", 8 * kEntry, {{EIO, 0}}, L"0x00000005 "},
      {"entry short", 8 * kEntry, {{0, 10}},
       L"Failed to read data from file, requested 524288 bytes, read 10 bytes (File: "
       L"cachingfilereader, Function: CCachingFileReader::ReadFileChunk"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    owner.SetCache(kEntry, c.limit);
    CCachingFileReader& reader = Open(bytes);
    reader.SetPosition(100);
    for (std::size_t i = 0; i < c.faults.size(); ++i) files.FailRead(static_cast<int>(i + 1), c.faults[i]);
    std::vector<std::uint8_t> out(100);
    if (c.error != nullptr) {
      const std::wstring text = ThrownText<exception_rt>([&] { reader.ReadData(out.data(), 100); });
      EXPECT_TRUE(StartsWith(text, c.error)) << WideToUtf8(text);
      EXPECT_EQ(reader.GetPosition(), 100u);
      EXPECT_TRUE(reader.Snapshot().loaded.empty());
    }
    reader.ReadData(out.data(), 100);  // succeeds, or once the fault is past
    EXPECT_EQ(out, Slice(bytes, 100, 100));
    EXPECT_EQ(reader.GetPosition(), 200u);
  }
}

TEST_F(ReaderTest, FailedWritesLeavePositionAndSizeAlone) {
  const struct Case {
    Fault fault;
    const wchar_t* error;
  } cases[] = {
      {{EIO, 0}, L"0x00000005 "},
      {{ENOSPC, 30}, L"0x0000001C "},
      {{0, 30}, L"Failed to write data, requested 100 bytes, written 30 bytes (File: cachingfilereader, "
                L"Function: CCachingFileReader::WriteData"},
  };
  for (const Case& c : cases) {
    owner.SetCache(kEntry, 8 * kEntry);
    CCachingFileReader& reader = Open(Pattern(1000));
    Read(reader, 0, 10);
    reader.SetPosition(950);
    files.FailWrite(1, c.fault);
    const std::vector<std::uint8_t> data(100, 0xAB);
    const std::wstring text = ThrownText<exception_rt>([&] { reader.WriteData(data.data(), 100); });
    EXPECT_TRUE(StartsWith(text, c.error)) << WideToUtf8(text);
    EXPECT_EQ(reader.GetPosition(), 950u);
    EXPECT_EQ(reader.GetFileSize(), 1000u);
    // What reached the file is what later reads see.
    EXPECT_EQ(Read(reader, 950, 50), Slice(files.Bytes(L"f"), 950, 50));
  }
}

}  // namespace
}  // namespace recfilereader
