#include "properties/genericdata.h"

#include <gtest/gtest.h>

#include <cstring>

namespace recfilereader {
namespace {

TEST(GenericData, KindsAreNumberedAsRecordsStoreThem) {
  EXPECT_EQ(CGenericTextData().GetType(), 0u);
  EXPECT_EQ(CGenericAudioData().GetType(), 1u);
  EXPECT_EQ(CGenericPictureData().GetType(), 2u);
}

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

}  // namespace
}  // namespace recfilereader
