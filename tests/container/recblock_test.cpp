#include "container/recblock.h"

#include <gtest/gtest.h>

#include <set>

#include "base/exceptions.h"

namespace recfilereader {
namespace {

// The scan over damaged bytes takes a header only with a type a writer lays down: exactly these.
TEST(RecBlock, KnownTypesAreExactlyTheTwelve) {
  std::set<int> known;
  for (int t = 0; t <= 0xFFFF; ++t) if (IsKnownBlockType(static_cast<std::uint16_t>(t))) known.insert(t);
  EXPECT_EQ(known, (std::set<int>{0xCB01, 0xCB02, 0xCB0F, 0xCB61, 0xCB6E, 0xCB9D, 0xCB9E, 0xCBBF, 0xCBEF, 0xCBF1,
                                  0xCBFA, 0xDAB1}));
}

TEST(RecBlock, TimestampComesFromLinkOrTheExtendedHeader) {
  RecBlock block;
  block.header.Type = kBlockData;
  block.header.Tag = 7;
  block.header.Link = 1234;
  EXPECT_EQ(DataBlockTimestamp(block), 1234u);
  block.header.Tag = kTagExtendedPackage;
  ASSERT_TRUE(block.payload.Resize(71));
  EXPECT_THROW(DataBlockTimestamp(block), exception_rec_corrupted);
  ASSERT_TRUE(block.payload.Resize(72));
  for (int i = 0; i < 8; ++i) block.payload.data()[8 + i] = static_cast<std::uint8_t>(i + 1);
  EXPECT_EQ(DataBlockTimestamp(block), 0x0807060504030201ull);
}

}  // namespace
}  // namespace recfilereader
