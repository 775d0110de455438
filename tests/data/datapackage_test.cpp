#include "data/datapackage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <set>
#include <tuple>

#include "base/exceptions.h"
#include "data/packagesearch.h"
#include "support/fakeowner.h"
#include "support/memfilesystem.h"
#include "support/recbuilder.h"
#include "support/testmemory.h"

namespace recfilereader {
namespace {

using Bytes = std::vector<std::uint8_t>;
using rectest::PlainPayload;
constexpr wchar_t kDataCorrupted[] = L"Recording's data corrupted";

// A second-format payload built apart from the library's codec: the extended header of source 7
// with the lengths given (Info1 0xA1, descriptor words 0xD0.., so PackageFlags 0xD3 has a
// trailer bit), then `bytes_after` bytes made from `seed`.
Bytes Extended(std::uint32_t length, std::uint32_t extra_length, std::size_t bytes_after, std::uint8_t seed = 5) {
  Bytes p;
  for (std::uint32_t field : {7u, 0u, 0x55667788u, 0x11223344u, length, 0u, 0xA1u, 0xA2u, extra_length, 0u})
    rectest::AppendLe(p, field, 4);
  for (std::uint64_t word = 0xD0; word < 0xD8; ++word) rectest::AppendLe(p, word, 4);
  const Bytes tail = PlainPayload(bytes_after, seed);
  p.insert(p.end(), tail.begin(), tail.end());
  return p;
}

Bytes Copy(const void* p, std::size_t n) { return Bytes(static_cast<const std::uint8_t*>(p), static_cast<const std::uint8_t*>(p) + n); }

RecBlock DataBlock(std::uint32_t tag, const Bytes& payload, std::optional<std::uint32_t> data_length = {}) {
  RecBlock block;
  block.header = {.Type = kBlockData, .Link = 1000, .Tag = tag};
  block.header.DataLength = data_length.value_or(static_cast<std::uint32_t>(payload.size()));
  EXPECT_TRUE(block.payload.Resize(payload.size()));
  std::copy(payload.begin(), payload.end(), block.payload.data());
  block.Offset = 100;
  block.Next = 132 + payload.size();
  return block;
}

TEST(DataPackage, BlocksOfBothFormatsBecomePackagesWhetherCopiedOrTakenOver) {
  const struct {
    const char* name;
    std::uint32_t tag;
    Bytes payload;
    std::optional<std::uint32_t> data_length;
    std::wstring raised;
    std::size_t data_offset = 0, data_size = 0, extra_size = 0;
  } cases[] = {
      {"first format", 7, PlainPayload(5, 1), {}, L"", 0, 5, 0},
      {"first format, longer than its payload", 7, PlainPayload(5, 1), 6, kDataCorrupted},
      {"second format with data and extra", kTagExtendedPackage, Extended(4, 3, 7), {}, L"", 72, 4, 3},
      {"data length beyond the payload", kTagExtendedPackage, Extended(8, 0, 7), {}, kDataCorrupted},
      {"second format, header only", kTagExtendedPackage, Extended(0, 0, 0), {}, L"", 72, 0, 0},
      {"extra length not what remains", kTagExtendedPackage, Extended(4, 2, 7), {}, L"", 72, 4, 0},
      {"payload shorter than the header", kTagExtendedPackage, Bytes(71, 0x11), {}, L"Recording corrupted"},
  };
  CDataPackage package;  // one package for all cases: nothing of an earlier block may remain
  for (const auto& c : cases) {
    for (const bool take_over : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (take_over ? ", taken over" : ", copied"));
      RecBlock block = DataBlock(c.tag, c.payload, c.data_length);
      std::wstring raised;
      try {
        if (take_over) package.Load(block, &block.payload);
        else RecBlockToDataPackage(block, package);
      } catch (const exception_rec_corrupted& e) {
        raised = e.wtext();
      }
      EXPECT_EQ(raised, c.raised);
      // Reading goes on past a block whose lengths are wrong; any other failure empties the package.
      const bool placed = c.raised.empty() || c.raised == kDataCorrupted;
      EXPECT_EQ(std::tuple(package.valid(), package.position(), package.next_position()),
                std::tuple(placed, placed ? 100u : 0u, placed ? block.Next : 0u));
      const auto data = c.payload.data() + c.data_offset;
      EXPECT_EQ(Copy(package.data().data(), package.data().size()), Copy(data, c.data_size));
      EXPECT_EQ(Copy(package.extra().data(), package.extra().size()), Copy(data + c.data_size, c.extra_size));
      if (!c.raised.empty()) continue;
      const bool second = c.tag == kTagExtendedPackage;
      EXPECT_EQ(std::tuple(package.second_format(), package.source_handle(), package.timestamp(), package.info2()),
                std::tuple(second, 7u, second ? 0x1122334455667788u : 1000u, second ? 0xA2u : 0u));
    }
  }
}

// Fails its n-th allocation (1-based, 0: none) and records the flags of each.
struct FaultyMemory final : IExMemoryMgr {
  explicit FaultyMemory(int fail) : fail_at(fail) {}
  ~FaultyMemory() { for (void* block : live) std::free(block); }
  void* Allocate(std::size_t size, DWORD flags_word) override {
    flags.push_back(flags_word);
    return static_cast<int>(flags.size()) == fail_at ? nullptr : *live.insert(std::malloc(size + 1)).first;
  }
  void* Reallocate(void*, std::size_t) override { return nullptr; }
  void Free(void* block) override { live.erase(block), std::free(block); }
  int fail_at;
  std::vector<DWORD> flags;
  std::set<void*> live;
};

TEST(DataPackage, CopiesGoThroughTheHostsMemoryManagerAndAFailedOneLeavesNothingBehind) {
  const struct {
    int fail_at;
    std::wstring raised;
    std::vector<DWORD> flags;  // the data carries a trailer bit: its copy is asked for with 4 added
  } cases[] = {{0, L"", {5, 1}},
               {1, L"Memory allocation of 4 bytes failed via TVK memory manager (File: datapackage", {5}},
               {2, L"Memory allocation of 3 bytes failed via TVK memory manager (File: datapackage", {5, 1}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fail_at);
    FaultyMemory memory(c.fail_at);
    CDataPackage package(&memory);
    RecBlockToDataPackage(DataBlock(kTagExtendedPackage, Extended(4, 3, 7)), package);
    DataPackageRecord record;
    const std::wstring raised = rectest::RaisedText([&] { package.GetDataPackage(record); });
    EXPECT_EQ(raised.substr(0, c.raised.size()), c.raised);
    EXPECT_EQ(memory.flags, c.flags);
    EXPECT_EQ(memory.live.size(), c.fail_at == 0 ? 2u : 0u);
    if (c.fail_at != 0) continue;
    EXPECT_EQ(std::tuple(record.SourceHandle, record.Info1, record.Descriptor.PackageFlags, record.DataSize, record.ExtraSize),
              std::tuple(7u, 0xA1u, 0xD3u, 4u, 3u));
    EXPECT_EQ(Copy(record.Data, 4), Copy(package.data().data(), 4));
    EXPECT_EQ(Copy(record.ExtraData, 3), Copy(package.extra().data(), 3));
    RecBlockToDataPackage(DataBlock(9, PlainPayload(4, 2)), package);  // first format: plain flags
    package.GetDataPackage(record);
    EXPECT_EQ(std::tuple(memory.flags.back(), record.ExtraData), std::tuple(1u, nullptr));
  }
}

TEST(PackageSearch, FindsOnlyDataBlocksAndStopsAtTheBoundsOfTheData) {
  const Bytes extended = Extended(4, 3, 7);
  rectest::RecBuilder b;
  b.Add({.type = 0xCBBF, .payload = PlainPayload(48, 1)});
  const std::uint64_t a = b.Add({.type = 0xDAB1, .link = 10, .tag = 3, .payload = PlainPayload(64, 2)});
  b.Add({.type = 0xCB0F, .payload = PlainPayload(40, 3)});
  const std::uint64_t second = b.Add({.type = 0xDAB1, .tag = kTagExtendedPackage, .payload = extended});
  // Large enough that its data waits in the file until it is handed out.
  const Bytes large = Extended(20'000, 5, 20'005);
  const std::uint64_t waits = b.Add({.type = 0xDAB1, .tag = kTagExtendedPackage, .payload = large});
  b.Add({.type = 0xCBFA, .payload = PlainPayload(78, 4)});  // fits the buffer the package before used
  const std::uint64_t c = b.Add({.type = 0xDAB1, .link = 30, .tag = 3, .payload = PlainPayload(8, 5)});
  const std::uint64_t end = b.Add({.type = 0xCBEF, .payload = PlainPayload(40, 6)});
  rectest::FakeOwner owner;
  owner.SetCache(65536, 0);
  rectest::MemFileSystem files;
  files.Add(L"r", b.bytes());
  CachingFileReaderPlatform platform;
  platform.files = &files;
  platform.start_worker = false;
  CRecStream stream(&owner, platform);
  stream.OpenFile(L"r");
  const std::map<std::uint64_t, Bytes> data = {{a, PlainPayload(64, 2)}, {second, Copy(&extended[72], 7)},
                                                {waits, Copy(&large[72], 20'005)}, {c, PlainPayload(8, 5)}};
  const struct {
    ULONG direction;
    std::uint64_t from, data_end;
    std::vector<std::uint64_t> found;
  } walks[] = {{kReadForward, a, c, {a, second, waits}},
               {kReadBackward, end, end, {c, waits, second, a}}};
  FaultyMemory memory(0);
  CDataPackage package(&memory);
  // The data and extra data as the host receives them.
  const auto handed_out = [&] {
    DataPackageRecord record;
    package.GetDataPackage(record);
    Bytes bytes = Copy(record.Data, record.DataSize);
    const Bytes extra = Copy(record.ExtraData, record.ExtraSize);
    bytes.insert(bytes.end(), extra.begin(), extra.end());
    for (void* copy : {record.Data, record.ExtraData}) memory.Free(copy);
    return bytes;
  };
  for (const auto& w : walks) {
    SCOPED_TRACE(testing::Message() << "direction " << w.direction << " from " << w.from);
    ASSERT_TRUE(stream.SetPosition(w.from));
    std::vector<std::uint64_t> found;
    while (ReadPackageInDirection(stream, w.direction, a, w.data_end, package)) {
      found.push_back(package.position());
      EXPECT_EQ(handed_out(), data.at(package.position()));
    }
    EXPECT_EQ(found, w.found);
    // The search that found nothing, though it read blocks, left the package alone.
    EXPECT_EQ(handed_out(), data.at(w.found.back()));
  }
  // Data still in a file that was cut meanwhile: the failed read leaves no copy behind.
  stream.SetPosition(waits);
  ASSERT_TRUE(ReadPackageInDirection(stream, kReadForward, a, end, package) && package.data().empty());
  stream.SetPosition(waits + 1000);
  stream.SetEndOfFile();
  DataPackageRecord record;
  EXPECT_THROW(package.GetDataPackage(record), exception_rec_invalid_offset);
  EXPECT_TRUE(memory.live.empty());
}

// Packages of one size handed out one after the other are read ahead in runs, which end at what
// breaks the layout: another size, extra data, a block of another type. Walks that turn must
// still hand each package its own bytes, whichever allocation of the host fails, and bytes
// written meanwhile must not be answered from what was read before.
TEST(PackageSearch, ReadingAheadHandsEachPackageItsOwnBytes) {
  rectest::RecBuilder b;
  b.Add({.type = 0xCBBF, .payload = PlainPayload(48, 1)});
  std::vector<std::uint64_t> starts, ends;
  std::map<std::uint64_t, Bytes> written;
  for (int i = 0; i < 60; ++i) {
    if (i == 30) b.Add({.type = 0xCBFA, .payload = PlainPayload(20'072, 2)});  // a data block's size
    const std::uint32_t size = i == 20 ? 20'008 : 20'000, extra = i == 40 ? 6 : 0;
    const Bytes payload = Extended(size, extra, size + extra, static_cast<std::uint8_t>(i));
    starts.push_back(b.Add({.type = 0xDAB1, .tag = kTagExtendedPackage, .payload = payload}));
    ends.push_back(starts.back() + 32 + payload.size());
    written[starts.back()] = Copy(&payload[72], size + extra);
  }
  b.Add({.type = 0xCBEF, .payload = PlainPayload(40, 6)});
  // Forward, a turn, forward past every break, back to the start.
  std::vector<std::pair<ULONG, int>> walk;
  for (int i = 0; i <= 44; ++i) walk.emplace_back(kReadForward, i);
  for (int i = 43; i >= 10; --i) walk.emplace_back(kReadBackward, i);
  for (int i = 11; i < 60; ++i) walk.emplace_back(kReadForward, i);
  for (int i = 58; i >= 0; --i) walk.emplace_back(kReadBackward, i);
  for (const int fail_at : {0, 1, 2, 17, 40}) {
    SCOPED_TRACE(fail_at);
    rectest::FakeOwner owner;
    owner.SetCache(65536, 0);  // off: runs are read without the cache only
    rectest::MemFileSystem files;
    files.Add(L"r", b.bytes());
    CachingFileReaderPlatform platform;
    platform.files = &files;
    CRecStream stream(&owner, platform);
    stream.OpenFile(L"r");
    FaultyMemory memory(fail_at);
    CDataPackage package(&memory);
    auto data = written;
    int failed = 0;
    for (const auto& [direction, i] : walk) {
      ASSERT_TRUE(stream.SetPosition(direction == kReadForward ? starts[i] : ends[i]));
      ASSERT_TRUE(ReadPackageInDirection(stream, direction, starts[0], ends.back(), package));
      ASSERT_EQ(package.position(), starts[i]);
      DataPackageRecord record;
      const std::wstring raised = rectest::RaisedText([&] { package.GetDataPackage(record); });
      if (!raised.empty()) {  // only the package's own allocation may fail a read
        EXPECT_NE(raised.find(L"Memory allocation of 20000 bytes failed"), std::wstring::npos);
        ++failed;
        continue;
      }
      Bytes bytes = Copy(record.Data, record.DataSize);
      const Bytes extra = Copy(record.ExtraData, record.ExtraSize);
      bytes.insert(bytes.end(), extra.begin(), extra.end());
      EXPECT_EQ(bytes, data.at(starts[i])) << i;
      for (void* copy : {record.Data, record.ExtraData}) memory.Free(copy);
      if (i != 5 || direction != kReadForward || fail_at != 0) continue;
      // Packages 6 on are held now; package 8 gets new bytes.
      const Bytes rewritten(20'000, 0x5A);
      stream.SetPosition(starts[8] + 32 + 72);
      stream.WriteData(rewritten.data(), 20'000);
      data[starts[8]] = rewritten;
    }
    EXPECT_LE(failed, 1);
    package.Release();
    EXPECT_TRUE(memory.live.empty());
  }
}

}  // namespace
}  // namespace recfilereader
