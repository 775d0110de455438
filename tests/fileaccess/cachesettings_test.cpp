#include "fileaccess/cachesettings.h"

#include <gtest/gtest.h>

#include <tuple>

#include "support/fakeowner.h"

namespace recfilereader {
namespace {

using rectest::FakePropertyTable;

TEST(CacheSettings, ValuesAreClampedAndConvertedFromOtherTypes) {
  FakePropertyTable clamped;
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
  FakePropertyTable table;
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
