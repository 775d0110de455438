#include "base/sharedbuffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace recfilereader {
namespace {

TEST(SharedBuffer, ShrinkingKeepsTheArrayAndGrowingKeepsTheBytes) {
  CSharedBuffer buffer;
  EXPECT_TRUE(buffer.empty());
  ASSERT_TRUE(buffer.Resize(8));
  std::memcpy(buffer.data(), "abcdefgh", 8);
  const std::uint8_t* first = buffer.data();
  ASSERT_TRUE(buffer.Resize(3));
  EXPECT_EQ(buffer.data(), first);
  EXPECT_EQ(buffer.capacity(), 8u);
  ASSERT_TRUE(buffer.Resize(8));
  EXPECT_EQ(buffer.data(), first);
  ASSERT_TRUE(buffer.Resize(100));
  EXPECT_EQ(std::memcmp(buffer.data(), "abcdefgh", 8), 0);
  EXPECT_EQ(buffer.size(), 100u);
}

TEST(SharedBuffer, CopiesShareTheBytesUntilReleased) {
  CSharedBuffer a;
  ASSERT_TRUE(a.Resize(4));
  CSharedBuffer b = a;
  EXPECT_EQ(a.use_count(), 2);
  a.data()[0] = 7;
  EXPECT_EQ(b.data()[0], 7);
  a.Release();
  EXPECT_EQ(a.size(), 0u);
  EXPECT_EQ(b.use_count(), 1);
  EXPECT_EQ(b.data()[0], 7);
}

TEST(SharedBuffer, AFailedGrowthLeavesTheBufferAsItWas) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers abort on an impossible allocation instead of failing it";
#endif
  CSharedBuffer buffer;
  ASSERT_TRUE(buffer.Resize(4));
  EXPECT_FALSE(buffer.Resize(~std::size_t{0} / 2));
  EXPECT_EQ(buffer.size(), 4u);
  EXPECT_EQ(buffer.capacity(), 4u);
}

}  // namespace
}  // namespace recfilereader
