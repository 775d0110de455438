#include "platform/filetimeformat.h"

#include <gtest/gtest.h>

namespace recfilereader {
namespace {

FILETIME Ticks(std::uint64_t ticks) {
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

TEST(FileTimeFormatTest, EnglishLongDateAndTwelveHourTime) {
  struct Case { std::uint64_t ticks; const wchar_t* text; } cases[] = {
      {0, L"Monday, January 1, 1601 12:00:00 AM"},
      {0x1dd84dca2347000, L"Saturday, December 5, 2026 5:18:24 PM"},
      {0x1da6b06d21de000, L"Thursday, February 29, 2024 12:00:00 PM"},
      {0x1bf831977621180 + 9999999, L"Wednesday, March 1, 2000 12:59:59 AM"},  // sub-second cut
      {0x7FFFFFFFFFFFFFFF, L"Thursday, September 14, 30828 2:48:05 AM"},
      {0x8000000000000000, L""},  // no calendar form: empty text
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ticks);
    EXPECT_EQ(FormatFileTime(Ticks(c.ticks)), c.text);
  }
}

}  // namespace
}  // namespace recfilereader
