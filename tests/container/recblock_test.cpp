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

// The scan over damaged bytes takes a header only with a type a writer lays down: exactly these.
TEST(RecBlock, KnownTypesAreExactlyTheTwelve) {
  int known = 0;
  for (std::uint32_t t = 0; t <= 0xFFFF; ++t) known += IsKnownBlockType(static_cast<std::uint16_t>(t));
  EXPECT_EQ(known, 12);
  for (int t : {0xCBBF, 0xCBF1, 0xCB01, 0xCB02, 0xCBFA, 0xDAB1, 0xCB0F, 0xCB6E, 0xCB61, 0xCB9D, 0xCB9E, 0xCBEF}) {
    EXPECT_TRUE(IsKnownBlockType(static_cast<std::uint16_t>(t))) << std::hex << t;
  }
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
