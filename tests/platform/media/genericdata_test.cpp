#include "properties/genericdata.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "properties/compositebuffer.h"

namespace recfilereader {
namespace {

TEST(GenericData, BufferPayloadsRefuseSizesBelowTheirHead) {
  struct Case {
    const char* name;
    std::shared_ptr<CGenericData> data;
    std::size_t minimum;
  };
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

TEST(GenericData, TextEndsAtItsTerminatorAndNullIsEmpty) {
  CGenericTextData text;
  ASSERT_TRUE(text.SetData("Department: X\0junk", 19));
  EXPECT_EQ(text.text(), "Department: X");
  EXPECT_EQ(text.GetSize(), 13u);
  EXPECT_STREQ(static_cast<const char*>(text.GetData()), "Department: X");
  ASSERT_TRUE(text.SetData("abc", 3));
  EXPECT_EQ(text.text(), "abc") << "no terminator needed";
  ASSERT_TRUE(text.SetData(nullptr, 5));
  EXPECT_EQ(text.GetSize(), 0u);
}

TEST(GenericData, BlobBytesLiveInASharedCompositeBuffer) {
  CGenericBlobData blob;
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
