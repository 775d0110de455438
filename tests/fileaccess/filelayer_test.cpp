// The POSIX file layer and the memory probe under the caching file reader.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/file.h"
#include "platform/memorystatus.h"
#include "support/tempdir.h"

namespace recfilereader {
namespace {

// Creating, writing and reading back go through the caching reader's own tests on real files;
// here the answers it relies on at the edges.
TEST(PosixFiles, RefusalsShortReadsAtTheEndAndTruncation) {
  rectest::TempDir dir;
  FileSystem& files = PosixFileSystem();
  const std::wstring path = (dir / "a.bin").wstring();
  std::shared_ptr<PlatformFile> file;
  EXPECT_EQ(files.Open(path, FileAccess::kRead, file), ENOENT);
  ASSERT_EQ(files.CreateNew(path, file), 0);
  EXPECT_EQ(files.CreateNew(path, file), EEXIST);
  EXPECT_TRUE(files.IsWritable(path));
  EXPECT_FALSE(files.IsWritable((dir / "missing" / "b").wstring()));
  EXPECT_EQ(files.Open(dir.path().wstring(), FileAccess::kRead, file), EISDIR);

  ASSERT_EQ(file->WriteAt(5, "0123456789", 10).bytes, 10u);
  char out[20] = {};
  const IoResult r = file->ReadAt(10, out, 20);  // stops at the end without an error
  EXPECT_EQ(r.bytes, 5u);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(std::memcmp(out, "56789", 5), 0);
  EXPECT_EQ(file->ReadAt(100, out, 1).bytes, 0u);
  ASSERT_EQ(file->Truncate(7), 0);
  std::uint64_t size = 0;
  ASSERT_EQ(file->GetSize(size), 0);
  EXPECT_EQ(size, 7u);
  ASSERT_EQ(files.Open(path, FileAccess::kRead, file), 0);
  EXPECT_NE(file->WriteAt(0, "x", 1).error, 0);
}

TEST(MemoryStatus, ParsesMemAvailableInKiB) {
  const char text[] = "MemTotal:       24683748 kB\nMemFree:        24176108 kB\nMemAvailable:   24340068 kB\n";
  EXPECT_EQ(ParseMemAvailable(text, sizeof text - 1), 24340068ull * 1024);
  const char none[] = "MemTotal: 5 kB\nXMemAvailable: 7 kB\n";
  EXPECT_FALSE(ParseMemAvailable(none, sizeof none - 1).has_value());
  const char cut[] = "MemAvailable:   ";
  EXPECT_FALSE(ParseMemAvailable(cut, sizeof cut - 1).has_value());
  EXPECT_TRUE(AvailableSystemMemory().has_value());
}

}  // namespace
}  // namespace recfilereader
