#include "fileaccess/cachingfilereader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <random>
#include <tuple>

#include "base/exceptions.h"
#include "fileaccess/cachesettings.h"
#include "platform/textconv.h"
#include "readertestbase.h"
#include "recfilereader/performance.h"
#include "support/testmemory.h"

namespace recfilereader {
namespace {

using namespace rectest;

TEST_F(ReaderTest, ReadsEndingAtTheEndSucceedAndOneBytePastFails) {
  for (std::uint32_t limit : {0u, 4u * kEntry}) {
    SCOPED_TRACE(limit);
    owner.SetCache(kEntry, limit);
    const auto bytes = Pattern(2 * kEntry);  // an exact multiple of the entry size
    CCachingFileReader& reader = Open(bytes);
    EXPECT_EQ(reader.GetAccessMode(), 3u);
    // A read counts an access (here a fail) per entry it copies from; without a cache every read
    // goes to the file and nothing is counted.
    EXPECT_EQ(Read(reader, kEntry - 5, kEntry + 5), Slice(bytes, kEntry - 5, kEntry + 5));
    EXPECT_EQ(reader.cache_on(), limit != 0);
    EXPECT_EQ(std::tuple(reader.Snapshot().table_entries, reader.statistics().accesses(), reader.statistics().fails()),
              limit == 0 ? std::tuple(0u, 0u, 0u) : std::tuple(3u, 2u, 2u));
    std::uint8_t byte = 0;
    reader.ReadData(&byte, 0);
    try {
      reader.ReadData(&byte, 1);
      ADD_FAILURE() << "read past the end";
    } catch (const exception_rec_invalid_offset& e) {
      EXPECT_TRUE(e.wtext().starts_with(L"Read request beyond the end of the file (File: cachingfilereader, "
                                        L"Function: CCachingFileReader::ReadData, Line: "));
    }
    EXPECT_EQ(reader.GetPosition(), 2 * kEntry);
    reader.SetPosition(~0ull - 2);  // no wrap-around in the bound check
    EXPECT_THROW(reader.ReadData(&byte, 4), exception_rec_invalid_offset);
  }
}

TEST_F(ReaderTest, OpenFallsBackToReadingOnlyAndFailuresLeaveItClosed) {
  files.Add(L"ro", Pattern(10))->read_only = true;
  files.Add(L"denied", Pattern(10))->deny_writing = true;
  CCachingFileReader reader(&owner, Platform());
  for (const wchar_t* name : {L"ro", L"denied"}) {
    reader.OpenFile(name);
    EXPECT_EQ(reader.GetAccessMode(), 1u);
    EXPECT_THROW(reader.WriteData("x", 1), exception_rt);  // opened for reading only
  }
  EXPECT_THROW(reader.OpenFile(L"missing"), exception_rt);
  EXPECT_EQ(reader.GetAccessMode(), 0u);
  EXPECT_THROW(reader.CreateFileW(L"ro"), exception_rt);
  EXPECT_EQ(std::pair(reader.GetAccessMode(), reader.GetFileSize()), std::pair(0u, std::uint64_t{0}));
}

// The model check: random reads, writes and copies (also far behind the end) and cuts against a
// plain copy of the file, with the worker's steps run in between or, on its own thread, alongside
// (the tsan preset runs this for data races). Every loaded entry holds exactly what the file has.
TEST_F(ReaderTest, RandomReadsWritesAndCutsMatchAPlainCopy) {
  for (const bool worker : {false, true}) {
    for (const bool transparent : {false, true}) {
      SCOPED_TRACE(testing::Message() << "worker " << worker << ", transparent " << transparent);
      auto model = Pattern(5 * kEntry + 12345);
      files.Add(L"f", model);
      owner.SetCache(kEntry, 3 * kEntry, transparent, 0.5);
      CCachingFileReader reader(&owner, Platform(worker));
      reader.OpenFile(L"f");
      const auto other_bytes = files.Add(L"g", PlainPayload(3 * kEntry, 9))->bytes;  // what "g" holds, copied
      CCachingFileReader other(&owner, Platform());
      other.OpenFile(L"g");
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
        } else if (kind == 3) {  // another file's bytes copied in
          const std::uint64_t count = 1 + random() % (2 * kEntry), from = random() % (other_bytes.size() - count);
          reader.SetPosition(at);
          reader.CopyData(other, from, count);
          model.resize(std::max<std::size_t>(model.size(), at + count));
          std::copy_n(&other_bytes[from], count, &model[at]);
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

// Direct reads (no cache) repeat interrupted calls up to four in all; entry loads and writes do
// not. A failure leaves the position, the size and the entries alone, and what reached the file
// is what later reads see.
TEST_F(ReaderTest, IoFaultsFailTheOperationAndLeaveNothingBehind) {
  const auto bytes = Pattern(2 * kEntry);
  // `limit` 0: direct reads, else through entries; a write puts 100 bytes, 50 of them past the end;
  // the faults hit calls 1, 2, ...; `error` is the start of the expected text, or null for success.
  const struct Case { const char* name; std::uint32_t limit; bool write; std::vector<Fault> faults;
                      const wchar_t* error; } cases[] = {
      {"again three times", 0, false, {{EAGAIN, 0}, {EINTR, 0}, {EAGAIN, 0}}, nullptr},
      {"partial then interrupted", 0, false, {{EINTR, 40}}, nullptr},
      {"four failures", 0, false, {{EINTR, 0}, {EINTR, 0}, {EINTR, 0}, {EIO, 0}},
       L"Failed to read data from file. Requested 100 bytes, read 0 bytes"},
      {"other error", 0, false, {{EIO, 0}}, L"0x00000005 "},
      {"short", 0, false, {{0, 40}}, L"Failed to read data from file. Requested 100 bytes, read 40 bytes"},
      {"entry interrupted", 8 * kEntry, false, {{EINTR, 0}}, L"0x00000004 "},
      {"entry other error", 8 * kEntry, false, {{EIO, 0}}, L"0x00000005 "},
      {"entry short", 8 * kEntry, false, {{0, 10}}, L"Failed to read data from file, requested 524288 bytes, read 10"},
      {"write error", 8 * kEntry, true, {{EIO, 0}}, L"0x00000005 "},
      {"write out of space", 8 * kEntry, true, {{ENOSPC, 30}}, L"0x0000001C "},
      {"write short", 8 * kEntry, true, {{0, 30}}, L"Failed to write data, requested 100 bytes, written 30 bytes"},
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

// A query by index, or by name when `name` is given, over the host's leftovers.
std::unique_ptr<PerformanceQuery> Query(ULONG mode, ULONG index, const wchar_t* name = nullptr) {
  auto q = std::make_unique<PerformanceQuery>();
  std::memset(q.get(), 0xCD, sizeof *q);
  q->Mode = mode;
  q->OfferCounter = 0;
  q->ByIndex = name == nullptr ? 1 : 0;
  q->WantedIndex = index;
  q->Answered = 0;
  if (name != nullptr) std::wcscpy(q->Name, name);
  return q;
}

// By index, each row "name unit type"; the rest of each answer is the same for all, and never
// touches the host's padding. By name, the value alone, and nothing of the description.
TEST_F(ReaderTest, PerformanceCountersAnswerByIndexInOrderAndByNameWithoutCase) {
  owner.SetCache(2 * kEntry, 8 * kEntry, true);
  CCachingFileReader* reader = &Open(Pattern(4 * kEntry));
  std::vector<std::wstring> rows;
  for (ULONG i = 0; i < 9; ++i) {
    auto q = Query(kPerformanceValueAndDescription, i);
    ASSERT_TRUE(reader->GetPerformanceTable(q.get()));
    rows.push_back(std::wstring(q->Name) + L" " + q->Unit + L" " + std::to_wstring(q->ValueType));
    EXPECT_EQ(std::tuple(q->Description[0], q->EntryKind, q->HostHandle, q->Answered, q->OfferCounter, q->Padding),
              std::tuple(L'\0', 2u, owner.host_handle, 1u, i + 1, 0xCDCDCDCDu));
  }
  EXPECT_EQ(rows, (std::vector<std::wstring>{
      L"Cache::CurrentCacheSize b 7", L"Cache::ValidCacheEntries Qty 7", L"Cache::CacheEntrySize b 9",
      L"Cache::Transparent flag 6", L"CachingFileReader::CacheAccess Qnt 9", L"CachingFileReader::CacheHit % 12",
      L"CachingFileReader::CacheFail % 12", L"CachingFileReader::UpdateByServiceRequest Qnt 9",
      L"CachingFileReader::UpdateByTimeout Qnt 9"}));
  for (auto& q : {Query(kPerformanceValueAndDescription, 9), Query(kPerformanceValue, 0, L"Cache::Nothing")}) {
    EXPECT_FALSE(reader->GetPerformanceTable(q.get()));
    EXPECT_EQ(std::tuple(q->Answered, q->OfferCounter, q->ValueType), std::tuple(0u, 9u, 0xCDCDCDCDu));
  }
  EXPECT_FALSE(reader->GetPerformanceTable(nullptr));
  std::uint8_t buffer[8];
  reader->ReadData(buffer, 8);  // transparent miss: one access, one fail, read directly
  EXPECT_TRUE(reader->Snapshot().loaded.empty());  // the entry is left to the worker
  reader->UpdateCache();
  reader->SetPosition(0);
  reader->ReadData(buffer, 8);  // hit
  reader->ReadData(buffer, 8);  // hit
  auto hit = Query(kPerformanceValue, 0, L"cachingfilereader::cachehit");
  ASSERT_TRUE(reader->GetPerformanceTable(hit.get()));
  EXPECT_DOUBLE_EQ(hit->Value.R8, 2.0 / 3.0 * 100.0);
  EXPECT_EQ(std::tuple(hit->OfferCounter, std::wstring(hit->Name), hit->Unit[0], hit->EntryKind),
            std::tuple(6u, L"cachingfilereader::cachehit", static_cast<wchar_t>(0xCDCDCDCD), 0xCDCDCDCDu));
  auto locate = Query(kPerformanceLocate, 0, L"CachingFileReader::CacheAccess");
  ASSERT_TRUE(reader->GetPerformanceTable(locate.get()));
  EXPECT_EQ(std::tuple(locate->Answered, locate->ValueType), std::tuple(1u, 0xCDCDCDCDu));
}

TEST(CacheSettings, ValuesAreClampedAndConvertedFromOtherTypes) {
  rectest::FakePropertyTable clamped;
  for (auto [given, used] : {std::pair<std::uint64_t, std::uint64_t>{0, 524288}, {524287, 524288}, {1048576, 1048576},
                             {4194305, 4194304}, {0x100000000ull, 4194304}}) {
    clamped.SetUI8(L"CacheEntrySize", given);
    EXPECT_EQ(ReadCacheSettings(&clamped).entry_size, used) << given;
  }
  for (auto [given, used] : {std::pair{0.05, 0.1}, {1.5, 0.9}, {0.8, 0.8}, {-3.0, 0.1}}) {
    clamped.SetR8(L"CacheAspect", given);
    EXPECT_DOUBLE_EQ(ReadCacheSettings(&clamped).read_ahead, used) << given;
  }
  // Other types convert; the system limit is lowered to 200 MiB.
  rectest::FakePropertyTable table;
  table.SetUI4(L"CacheSystemMemoryLimit", 300u * 1048576u);
  table.SetText(L"CacheMemoryLimit", L"1000");
  table.SetR8(L"CacheIsTransparent", 0.5);  // truncates to 0
  table.SetText(L"CacheAspect", L"not a number");  // does not convert: 0, raised to 0.1
  const CacheSettings s = ReadCacheSettings(&table);
  EXPECT_EQ(std::tuple(s.memory_limit, s.transparent, s.read_ahead, s.system_memory_limit),
            std::tuple(1000u, false, 0.1, 209715200u));
  table.SetBool(L"CacheIsTransparent", true);
  EXPECT_TRUE(ReadCacheSettings(&table).transparent);
  EXPECT_EQ(ReadCacheSettings(nullptr).memory_limit, 0u);  // missing: the cache off
}

}  // namespace
}  // namespace recfilereader
