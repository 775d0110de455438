#include "container/recblock.h"

#include <gtest/gtest.h>

#include "base/exceptions.h"
#include "support/recbuilder.h"

namespace recfilereader {
namespace {

TEST(RecBlock, HeaderCodingMatchesTheBuilderByteForByte) {
  rectest::RecBuilder builder;
  builder.Add({.type = 0xDAB1, .sequence = 0x0102030405060708ull, .link = 0x1112131415161718ull,
               .tag = 0x21222324, .payload = std::vector<std::uint8_t>(5, 0x55), .prev_size = 0x31323334});
  const auto& bytes = builder.bytes();

  const RecBlockHeader h = RecBlockHeader::DecodeFrom(bytes.data());
  EXPECT_EQ(h.HeaderSize, 32);
  EXPECT_EQ(h.Type, 0xDAB1);
  EXPECT_EQ(h.Sequence, 0x0102030405060708ull);
  EXPECT_EQ(h.PrevSize, 0x31323334u);
  EXPECT_EQ(h.Link, 0x1112131415161718ull);
  EXPECT_EQ(h.Tag, 0x21222324u);
  EXPECT_EQ(h.DataLength, 5u);
  std::uint8_t encoded[32];
  h.EncodeTo(encoded);
  EXPECT_TRUE(std::equal(encoded, encoded + 32, bytes.begin()));
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
