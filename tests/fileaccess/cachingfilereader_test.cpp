#include "fileaccess/cachingfilereader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <tuple>

#include "base/exceptions.h"
#include "platform/textconv.h"
#include "readertestbase.h"
#include "support/testmemory.h"

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
    try {
      reader.ReadData(&byte, 1);
      ADD_FAILURE() << "read past the end";
    } catch (const exception_rec_invalid_offset& e) {
      EXPECT_TRUE(e.wtext().starts_with(L"Read request beyond the end of the file (File: cachingfilereader, "
                                        L"Function: CCachingFileReader::ReadData, Line: "));
    }
    EXPECT_EQ(reader.GetPosition(), kEntry);
    reader.SetPosition(~0ull - 2);  // no wrap-around in the bound check
    EXPECT_THROW(reader.ReadData(&byte, 4), exception_rec_invalid_offset);
  }
}

TEST_F(ReaderTest, OpenFallsBackToReadingOnlyAndFailuresLeaveItClosed) {
  files.Add(L"ro", Pattern(10))->read_only = true;
  files.Add(L"denied", Pattern(10))->deny_writing = true;
  CCachingFileReader reader(&owner, Platform());
  reader.OpenFile(L"ro");
  EXPECT_EQ(reader.GetAccessMode(), 1u);
  reader.OpenFile(L"denied");
  EXPECT_EQ(reader.GetAccessMode(), 1u);
  EXPECT_THROW(reader.WriteData("x", 1), exception_rt);  // opened for reading only

  EXPECT_THROW(reader.OpenFile(L"missing"), exception_rt);
  EXPECT_EQ(reader.GetAccessMode(), 0u);
  EXPECT_THROW(reader.CreateFileW(L"ro"), exception_rt);
  EXPECT_EQ(reader.GetAccessMode(), 0u);
  EXPECT_EQ(reader.GetFileSize(), 0u);
}

// A read counts an access for each entry it copies from; a transparent miss counts one access
// and one fail, reads directly and leaves the entries to the worker.
TEST_F(ReaderTest, ReadsCountAnAccessPerEntryUnlessTransparentMissesReadDirectly) {
  const auto bytes = Pattern(3 * kEntry + 100);
  for (const bool transparent : {false, true}) {
    SCOPED_TRACE(transparent);
    owner.SetCache(kEntry, 16 * kEntry, transparent);
    CCachingFileReader& reader = Open(bytes);
    EXPECT_EQ(Read(reader, kEntry - 100, 200), Slice(bytes, kEntry - 100, 200));
    EXPECT_EQ(reader.statistics().accesses(), transparent ? 1u : 2u);
    EXPECT_EQ(reader.statistics().fails(), reader.statistics().accesses());
    EXPECT_EQ(reader.Snapshot().loaded.size(), transparent ? 0u : 2u);
    reader.SetPosition(0);
    reader.UpdateCache();  // loads entry 0 when it is empty
    EXPECT_EQ(Read(reader, 100, 30), Slice(bytes, 100, 30));
    EXPECT_EQ(reader.statistics().hits(), 1u);
  }
}

// The model check: random reads, writes (also far behind the end) and cuts against a plain copy
// of the file, with the worker's steps run in between or, on its own thread, alongside (the
// tsan preset runs this for data races). Every loaded entry holds exactly what the file has.
TEST_F(ReaderTest, RandomReadsWritesAndCutsMatchAPlainCopy) {
  for (const bool worker : {false, true}) {
    for (const bool transparent : {false, true}) {
      SCOPED_TRACE(testing::Message() << "worker " << worker << ", transparent " << transparent);
      auto model = Pattern(5 * kEntry + 12345);
      files.Add(L"f", model);
      owner.SetCache(kEntry, 3 * kEntry, transparent, 0.5);
      CCachingFileReader reader(&owner, Platform(worker));
      reader.OpenFile(L"f");
      std::mt19937_64 random(42);
      for (int i = 0; i < 400; ++i) {
        const std::uint64_t at = random() % (model.size() + kEntry);
        if (const auto kind = random() % 16; kind < 2) {
          std::vector<std::uint8_t> data(1 + random() % (kind == 0 ? 5000 : 2 * kEntry));
          for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
          reader.SetPosition(at);
          reader.WriteData(data.data(), static_cast<std::uint32_t>(data.size()));
          model.resize(std::max<std::size_t>(model.size(), at + data.size()));
          std::copy(data.begin(), data.end(), model.begin() + static_cast<std::ptrdiff_t>(at));
        } else if (kind == 2) {
          reader.SetPosition(at);
          reader.SetEndOfFile();
          model.resize(at);
        } else if (at < model.size()) {
          const auto count = static_cast<std::uint32_t>(random() % std::min<std::uint64_t>(model.size() - at, 3 * kEntry));
          ASSERT_EQ(Read(reader, at, count), Slice(model, at, count)) << at << "+" << count;
        }
        if (!worker && i % 7 == 0) reader.UpdateCache();  // read-ahead and eviction in between
        const CacheSnapshot s = reader.Snapshot();
        std::uint64_t held = 0;
        for (std::uint64_t e : s.loaded) held += std::min<std::uint64_t>(kEntry, model.size() - e * kEntry);
        ASSERT_EQ(s.current_cache_size, held);
        ASSERT_EQ(s.valid_entries, s.loaded.size());
        ASSERT_EQ(s.table_entries, model.size() / kEntry + 1);
        ASSERT_EQ(reader.GetFileSize(), model.size());
      }
      EXPECT_EQ(files.Bytes(L"f"), model);
      const auto& stat = reader.statistics();
      EXPECT_EQ(stat.hits() + stat.fails(), stat.accesses());
    }
  }
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

// Direct reads (no cache) repeat interrupted calls up to four in all; entry loads and writes do
// not. A failure leaves the position, the size and the entries alone, and what reached the file
// is what later reads see.
TEST_F(ReaderTest, IoFaultsFailTheOperationAndLeaveNothingBehind) {
  const auto bytes = Pattern(2 * kEntry);
  const struct Case {
    const char* name;
    std::uint32_t limit;        // 0: direct reads, else through entries
    bool write;                 // 100 bytes, 50 of them past the end
    std::vector<Fault> faults;  // for calls 1, 2, ...
    const wchar_t* error;       // expected text start, or null for success
  } cases[] = {
      {"again three times", 0, false, {{EAGAIN, 0}, {EINTR, 0}, {EAGAIN, 0}}, nullptr},
      {"partial then interrupted", 0, false, {{EINTR, 40}}, nullptr},
      {"four failures", 0, false, {{EINTR, 0}, {EINTR, 0}, {EINTR, 0}, {EIO, 0}},
       L"Failed to read data from file. Requested 100 bytes, read 0 bytes (File: cachingfilereader, "
       L"Function: CCachingFileReader::ReadValueDirect"},
      {"other error", 0, false, {{EIO, 0}}, L"0x00000005 "},
      {"short", 0, false, {{0, 40}}, L"Failed to read data from file. Requested 100 bytes, read 40 bytes"},
      {"entry interrupted", 8 * kEntry, false, {{EINTR, 0}}, L"0x00000004 "},
      {"entry other error", 8 * kEntry, false, {{EIO, 0}}, L"0x00000005 "},
      {"entry short", 8 * kEntry, false, {{0, 10}},
       L"Failed to read data from file, requested 524288 bytes, read 10 bytes (File: "
       L"cachingfilereader, Function: CCachingFileReader::ReadFileChunk"},
      {"write error", 8 * kEntry, true, {{EIO, 0}}, L"0x00000005 "},
      {"write out of space", 8 * kEntry, true, {{ENOSPC, 30}}, L"0x0000001C "},
      {"write short", 8 * kEntry, true, {{0, 30}}, L"Failed to write data, requested 100 bytes, written 30 bytes "
                                                   L"(File: cachingfilereader, Function: CCachingFileReader::WriteData"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    owner.SetCache(kEntry, c.limit);
    CCachingFileReader& reader = Open(bytes);
    const std::uint64_t at = c.write ? bytes.size() - 50 : 100;
    if (c.write) Read(reader, at, 10);  // a loaded entry that the write must not leave stale
    reader.SetPosition(at);
    for (std::size_t i = 0; i < c.faults.size(); ++i) {
      c.write ? files.FailWrite(static_cast<int>(i + 1), c.faults[i]) : files.FailRead(static_cast<int>(i + 1), c.faults[i]);
    }
    std::vector<std::uint8_t> out(100, 0xAB);
    const auto operation = [&] { c.write ? reader.WriteData(out.data(), 100) : reader.ReadData(out.data(), 100); };
    if (c.error != nullptr) {
      const std::wstring text = RaisedText(operation);
      EXPECT_TRUE(text.starts_with(c.error)) << WideToUtf8(text);
      EXPECT_EQ(std::tuple(reader.GetPosition(), reader.GetFileSize()), std::tuple(at, bytes.size()));
      if (!c.write) { EXPECT_TRUE(reader.Snapshot().loaded.empty()); }
    }
    if (c.write) {
      EXPECT_EQ(Read(reader, at, 50), Slice(files.Bytes(L"f"), at, 50));
      continue;
    }
    operation();  // succeeds, or once the fault is past
    EXPECT_EQ(out, Slice(bytes, 100, 100));
    EXPECT_EQ(reader.GetPosition(), 200u);
  }
}

}  // namespace
}  // namespace recfilereader
