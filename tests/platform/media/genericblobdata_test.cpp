#include <gtest/gtest.h>

#include <vector>

#include "properties/compositebuffer.h"
#include "properties/genericdata.h"

namespace recfilereader {
namespace {

TEST(GenericBlobData, BytesLiveInASharedCompositeBuffer) {
  CGenericBlobData blob;
  EXPECT_EQ(blob.GetType(), 3u);
  EXPECT_EQ(blob.GetSize(), 0u);

  const std::vector<std::uint8_t> bytes(CCompositeBuffer::kPageSize + 3, 0x5A);
  ASSERT_TRUE(blob.SetData(bytes.data(), bytes.size()));
  EXPECT_EQ(blob.GetSize(), bytes.size());
  EXPECT_EQ(blob.GetData(), nullptr);
  std::vector<std::uint8_t> back(bytes.size());
  ASSERT_TRUE(blob.buffer()->Read(0, back.data(), back.size()));
  EXPECT_EQ(back, bytes);

  // Setting new bytes leaves a buffer someone else still holds as it was.
  const auto held = blob.buffer();
  ASSERT_TRUE(blob.SetData("ab", 2));
  EXPECT_EQ(blob.GetSize(), 2u);
  EXPECT_EQ(held->GetSize(), bytes.size());

  blob.Clear();
  EXPECT_EQ(blob.GetSize(), 0u);
}

}  // namespace
}  // namespace recfilereader
