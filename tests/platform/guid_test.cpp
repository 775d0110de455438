#include "platform/guid.h"

#include <gtest/gtest.h>

namespace recfilereader {
namespace {

constexpr GUID kSample = {0x71CCAC61, 0x82F1, 0x415D, {0xA1, 0xA0, 0x26, 0x85, 0xB3, 0x8C, 0x3C, 0x44}};

// Text and GUID both ways (upper case out, either case in, as the property matrix also shows).
TEST(GuidTest, FormatsBracedUpperCaseRoundTripsAndRejectsMalformedText) {
  wchar_t buffer[39];
  EXPECT_EQ(StringFromGUID2(kSample, buffer, 38), 0) << "no room for the terminator";
  ASSERT_EQ(StringFromGUID2(kSample, buffer, 39), 39);
  GUID guid{};
  ASSERT_TRUE(ParseGuid(buffer, guid));
  EXPECT_EQ(guid, kSample);
  EXPECT_EQ(CLSIDFromString(nullptr, &guid), S_OK);  // no text is the null GUID
  EXPECT_EQ(guid, GUID_NULL);
  // Rejected text leaves the GUID unchanged.
  const wchar_t* bad[] = {
      L"",
      L"71CCAC61-82F1-415D-A1A0-2685B38C3C44",      // no braces
      L"{71CCAC61-82F1-415D-A1A0-2685B38C3C4}",     // one digit short
      L"{71CCAC61-82F1-415D-A1A0-2685B38C3C44}x",   // trailing text
      L"{71CCAC6G-82F1-415D-A1A0-2685B38C3C44}",    // not hexadecimal
      L"{71CCAC61+82F1-415D-A1A0-2685B38C3C44}",    // wrong separator
  };
  for (const wchar_t* text : bad) {
    guid = kSample;
    EXPECT_EQ(std::pair(CLSIDFromString(text, &guid), guid), std::pair(CO_E_CLASSSTRING, kSample))
        << testing::PrintToString(std::wstring(text));
  }
}

}  // namespace
}  // namespace recfilereader
