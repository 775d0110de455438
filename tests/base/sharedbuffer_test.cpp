#include "base/sharedbuffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace recfilereader {
namespace {

// Shrinking keeps the array, growing keeps the bytes, and copies share them until released.
TEST(SharedBuffer, ResizeKeepsTheBytesAndCopiesShareThem) {
  CSharedBuffer buffer;
  ASSERT_TRUE(buffer.Resize(8));
  std::memcpy(buffer.data(), "abcdefgh", 8);
  const std::uint8_t* first = buffer.data();
  ASSERT_TRUE(buffer.Resize(3));
  ASSERT_TRUE(buffer.Resize(8));
  EXPECT_EQ(buffer.data(), first);
  ASSERT_TRUE(buffer.Resize(100));
  EXPECT_EQ(std::memcmp(buffer.data(), "abcdefgh", 8), 0);
  CSharedBuffer copy = buffer;
  buffer.data()[0] = 7;
  EXPECT_EQ(copy.data()[0], 7);
  buffer.Release();
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(copy.use_count(), 1);
  EXPECT_EQ(copy.data()[0], 7);
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
