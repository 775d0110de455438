#include "platform/file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "support/tempdir.h"

namespace recfilereader {
namespace {

// Only regular files open (folders and regular files: the file layer's own tests): a named pipe
// would block the open until a writer came, and neither it nor a device holds a recording. The
// open runs on a thread so that a regression fails here instead of hanging the suite: a stuck
// open is released by opening the pipe's other end.
TEST(PosixFileSystem, RefusesPipesAndDevicesWithoutBlocking) {
  rectest::TempDir dir;
  const auto fifo = dir / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::filesystem::path& path : {fifo, std::filesystem::path("/dev/null")}) {
    for (FileAccess access : {FileAccess::kRead, FileAccess::kReadWrite}) {
      SCOPED_TRACE(path.string());
      std::shared_ptr<PlatformFile> file;
      auto opening = std::async(std::launch::async, [&] { return PosixFileSystem().Open(path.wstring(), access, file); });
      if (opening.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "the open blocked";
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        opening.wait();
        if (writer >= 0) ::close(writer);
        continue;
      }
      EXPECT_EQ(opening.get(), EINVAL);
      EXPECT_EQ(file, nullptr);
    }
  }
}

// Forwards to a file of the disk, but is no file the kernel can copy from: copies from it go
// through memory in chunks.
struct Forwarding final : PlatformFile {
  explicit Forwarding(std::shared_ptr<PlatformFile> f) : inner(std::move(f)) {}
  IoResult ReadAt(std::uint64_t at, void* to, std::size_t n) override { return inner->ReadAt(at, to, n); }
  IoResult WriteAt(std::uint64_t at, const void* from, std::size_t n) override {
    return inner->WriteAt(at, from, n);
  }
  int GetSize(std::uint64_t& size) override { return inner->GetSize(size); }
  int Truncate(std::uint64_t size) override { return inner->Truncate(size); }
  std::shared_ptr<PlatformFile> inner;
};

TEST(PosixFileSystem, CopiesInTheKernelOrInChunks) {
  rectest::TempDir dir;
  std::vector<char> bytes((3 << 20) + 5);  // several chunks
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 4099);
  const auto source_path = dir / "source";
  std::shared_ptr<PlatformFile> source;
  ASSERT_EQ(PosixFileSystem().CreateNew(source_path.wstring(), source), 0);
  ASSERT_EQ(source->WriteAt(0, bytes.data(), bytes.size()).bytes, bytes.size());
  const std::size_t size = bytes.size();
  const struct {
    const char* name;
    bool chunked, read_only;
    std::uint64_t from, to;
    std::size_t count, copied;
    int error;
  } cases[] = {
      {"in the kernel", false, false, 5, 0, size - 5, size - 5, 0},
      {"in chunks", true, false, 5, 0, size - 5, size - 5, 0},
      {"behind the end of the target", false, false, 0, 1000, 100, 100, 0},
      {"cut short by the source's end", false, false, size - 10, 0, 100, 10, 0},
      {"in chunks, cut short by the source's end", true, false, size - 10, 0, 100, 10, 0},
      {"into a file open for reading", false, true, 0, 0, 100, 0, EBADF},
      {"in chunks, into a file open for reading", true, true, 0, 0, 100, 0, EBADF},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = (dir / ("target" + std::to_string(++n))).wstring();
    std::shared_ptr<PlatformFile> target;
    ASSERT_EQ(PosixFileSystem().CreateNew(path, target), 0);
    if (c.read_only) {
      ASSERT_EQ(PosixFileSystem().Open(path, FileAccess::kRead, target), 0);
    }
    Forwarding forwarding(source);
    const IoResult r = target->CopyFrom(c.chunked ? forwarding : *source, c.from, c.to, c.count);
    EXPECT_EQ(std::pair(r.bytes, r.error), std::pair(c.copied, c.error));
    std::uint64_t target_size = 0;
    ASSERT_EQ(target->GetSize(target_size), 0);
    EXPECT_EQ(target_size, c.copied == 0 ? 0 : c.to + c.copied);
    std::vector<char> copy(c.copied);
    ASSERT_EQ(target->ReadAt(c.to, copy.data(), copy.size()).bytes, c.copied);
    EXPECT_TRUE(std::equal(copy.begin(), copy.end(), bytes.begin() + static_cast<std::ptrdiff_t>(c.from)));
  }
}

}  // namespace
}  // namespace recfilereader
