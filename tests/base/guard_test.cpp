#include "base/guard.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "base/lasterror.h"
#include "base/location.h"
#include "platform/systemerror.h"

namespace recfilereader {
namespace {

TEST(Guard, MapsEachFailureToItsCodeAndText) {
  const struct { const char* name; std::function<void()> fail; LONG code; std::wstring text; } cases[] = {
      {"corrupted", [] { throw exception_rec_corrupted(); }, 20, L"Recording corrupted"},
      {"rec", [] { throw exception_rec(L"loader text"); }, 20, L"loader text"},
      {"runtime", [] { throw exception_rt(L"No file opened"); }, 10, L"No file opened"},
      {"data", [] { throw exception_data(L"Data error"); }, 10, L"Data error"},
      {"abort", [] { throw exception_rt_user_abort(); }, 30, L"Aborted by user"},
      {"com error", [] { throw com_error(E_OUTOFMEMORY); }, 10,
       L"COM error: " + SystemErrorText(0x8007000E)},
      {"standard", [] { throw std::runtime_error("boom"); }, 10, L"Unexpected failure: boom"},
      {"bad_alloc", [] { throw std::bad_alloc(); }, 10, L"Memory allocation failed via operator new"},
      {"anything", [] { throw 42; }, 10, L"Unexpected failure of an unknown kind"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CLastError last(nullptr);
    int cleanups = 0;
    EXPECT_EQ(GuardWithCleanup(last, -1, [&] { c.fail(); return 1; }, [&] { ++cleanups; }), -1);
    EXPECT_EQ(std::tuple(cleanups, last.GetErrorCode(), std::wstring(last.GetErrorText())),
              std::tuple(1, c.code, c.text));
  }
}

TEST(Guard, SuccessClearsTheLastError) {
  CLastError last(nullptr);
  last.SetLastError(20, L"old failure");
  EXPECT_EQ(Guard(last, 0, [] { return 7; }), 7);
  EXPECT_EQ(std::pair(last.GetErrorCode(), std::wstring(last.GetErrorText())), std::pair(0, std::wstring(L"No error")));
  last.SetLastError(0, L"x");
  EXPECT_STREQ(last.GetErrorText(), L"No error") << "code 0 always reads No error";
}

TEST(Location, TextComesFirstThenTheLocationCutToItsBuffers) {
  const std::wstring text = LocatedText(L"End of data reached", {"recstream", "CRecStream::ReadNext"});
  EXPECT_TRUE(text.starts_with(L"End of data reached (File: recstream, Function: CRecStream::ReadNext, Line: "));
  EXPECT_TRUE(text.ends_with(L")"));
  const std::wstring long_text(3000, L'x');
  EXPECT_EQ(LocatedText(long_text, {"a", "b"}).size(), 1023u);
}

TEST(SystemErrorText, FormatsCodeThenMessageWithoutLineBreakOrInserts) {
  EXPECT_EQ(SystemErrorText(2), L"0x00000002 No such file or directory");
  EXPECT_EQ(SystemErrorText(0x8007000E),
            L"0x8007000E Not enough memory resources are available to complete this operation.");
  // An insert placeholder goes with what follows it up to the next blank.
  EXPECT_EQ(SystemErrorText(0x800300FB), L"0x800300FB The file  is not a valid compound file.");
  // Neither errno nor the table knows it: the complete fallback text.
  EXPECT_EQ(SystemErrorText(0x80041234), L"0x80041234 Unknown system error");
  EXPECT_EQ(SystemErrorText(0xFFFF), L"0x0000FFFF Unknown system error");
}

}  // namespace
}  // namespace recfilereader
