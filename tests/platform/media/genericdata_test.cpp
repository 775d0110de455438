#include "properties/genericdata.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "properties/compositebuffer.h"

namespace recfilereader {
namespace {

TEST(GenericData, BufferPayloadsRefuseSizesBelowTheirHead) {
  struct Case { const char* name; std::shared_ptr<CGenericData> data; std::size_t minimum; };
  const Case cases[] = {
      {"audio: WAVEFORMATEX", std::make_shared<CGenericAudioData>(), 18},
      {"picture: format code", std::make_shared<CGenericPictureData>(), 4},
  };
  const std::vector<std::uint8_t> bytes(40, 0xAB);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(c.data->SetData(bytes.data(), 30));
    EXPECT_FALSE(c.data->SetData(bytes.data(), c.minimum - 1));
    EXPECT_EQ(c.data->GetSize(), 30u) << "a refused payload leaves the old one";
    ASSERT_TRUE(c.data->SetData(bytes.data(), c.minimum));
    EXPECT_EQ(c.data->GetSize(), c.minimum);
    EXPECT_EQ(std::memcmp(c.data->GetData(), bytes.data(), c.minimum), 0);
    c.data->Clear();
    EXPECT_EQ(c.data->GetSize(), 0u);
  }
}

// Text ends at its terminator, needs none, and null text is empty. A blob lives in a shared
// composite buffer (read back across pages by the metadata tests): new bytes leave a buffer
// someone else still holds as it was.
TEST(GenericData, TextEndsAtItsTerminatorAndBlobsLeaveHeldBuffersAlone) {
  CGenericTextData text;
  for (const auto& [bytes, size, expected] : {std::tuple{"Department: X\0junk", 19, "Department: X"}, {"abc", 3, "abc"}}) {
    ASSERT_TRUE(text.SetData(bytes, size));
    EXPECT_EQ(text.text(), expected);
    EXPECT_STREQ(static_cast<const char*>(text.GetData()), expected);
  }
  ASSERT_TRUE(text.SetData(nullptr, 5));
  EXPECT_EQ(text.GetSize(), 0u);
  CGenericBlobData blob;
  const std::vector<std::uint8_t> bytes(CCompositeBuffer::kPageSize + 3, 0x5A);
  ASSERT_TRUE(blob.SetData(bytes.data(), bytes.size()));
  EXPECT_EQ(std::pair(blob.GetSize(), blob.GetData()), std::pair(bytes.size(), static_cast<const void*>(nullptr)));
  const auto held = blob.buffer();
  ASSERT_TRUE(blob.SetData("ab", 2));
  EXPECT_EQ(std::pair(blob.GetSize(), held->GetSize()), std::pair(std::size_t{2}, bytes.size()));
}

}  // namespace
}  // namespace recfilereader
