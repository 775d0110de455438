#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <tuple>

#include "fileaccess/cachingfilereader.h"
#include "readertestbase.h"
#include "recfilereader/performance.h"

namespace recfilereader {
namespace {

using namespace rectest;

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

class PerformanceTest : public ReaderTest {
 protected:
  void SetUp() override {
    owner.SetCache(2 * kEntry, 8 * kEntry, true);
    reader = &Open(Pattern(4 * kEntry));
  }
  CCachingFileReader* reader = nullptr;
};

// Each row "name unit type"; the rest of each answer is the same for all, and never touches the
// host's padding.
TEST_F(PerformanceTest, ByIndexEnumeratesTheNineCountersInOrder) {
  std::vector<std::wstring> rows;
  for (ULONG i = 0; i < 9; ++i) {
    auto q = Query(kPerformanceValueAndDescription, i);
    ASSERT_TRUE(reader->GetPerformanceTable(q.get()));
    rows.push_back(std::wstring(q->Name) + L" " + q->Unit + L" " + std::to_wstring(q->ValueType));
    EXPECT_EQ(std::tuple(q->Description[0], q->EntryKind, q->HostHandle, q->Answered, q->OfferCounter, q->Padding),
              std::tuple(L'\0', 2u, owner.host_handle, 1u, i + 1, 0xCDCDCDCDu));
    if (i == 2) { EXPECT_EQ(q->Value.U64, 2u * kEntry); }
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
}

// Value types come with the index walk; here the values and what a by-name answer leaves alone.
TEST_F(PerformanceTest, ByNameMatchesWithoutCaseAndWritesNoDescription) {
  std::uint8_t buffer[8];
  reader->ReadData(buffer, 8);  // transparent miss: one access, one fail
  reader->UpdateCache();
  reader->SetPosition(0);
  reader->ReadData(buffer, 8);  // hit
  reader->ReadData(buffer, 8);  // hit
  auto hit = Query(kPerformanceValue, 0, L"cachingfilereader::cachehit");
  ASSERT_TRUE(reader->GetPerformanceTable(hit.get()));
  EXPECT_DOUBLE_EQ(hit->Value.R8, 2.0 / 3.0 * 100.0);
  EXPECT_EQ(hit->OfferCounter, 6u);
  EXPECT_EQ(std::wstring(hit->Name), L"cachingfilereader::cachehit");
  EXPECT_EQ(hit->Unit[0], static_cast<wchar_t>(0xCDCDCDCD));
  EXPECT_EQ(hit->EntryKind, 0xCDCDCDCDu);

  auto locate = Query(kPerformanceLocate, 0, L"CachingFileReader::CacheAccess");
  ASSERT_TRUE(reader->GetPerformanceTable(locate.get()));
  EXPECT_EQ(locate->Answered, 1u);
  EXPECT_EQ(locate->ValueType, 0xCDCDCDCDu);
}

}  // namespace
}  // namespace recfilereader
