#include "platform/file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "support/recbuilder.h"
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

// Forwards reads to a file of the disk, but is no file the kernel can copy from: copies from it
// go through memory in chunks.
struct Forwarding final : PlatformFile {
  explicit Forwarding(std::shared_ptr<PlatformFile> f) : inner(std::move(f)) {}
  IoResult ReadAt(std::uint64_t at, void* to, std::size_t n) override { return inner->ReadAt(at, to, n); }
  IoResult WriteAt(std::uint64_t, const void*, std::size_t) override { return {0, EBADF}; }
  int GetSize(std::uint64_t& size) override { return inner->GetSize(size); }
  int Truncate(std::uint64_t) override { return EBADF; }
  std::shared_ptr<PlatformFile> inner;
};

TEST(PosixFileSystem, CopiesInTheKernelOrInChunks) {
  rectest::TempDir dir;
  constexpr std::size_t kSize = (3 << 20) + 5;  // several chunks
  const auto bytes = rectest::PlainPayload(kSize, 7);
  std::shared_ptr<PlatformFile> source;
  ASSERT_EQ(PosixFileSystem().CreateNew((dir / "source").wstring(), source), 0);
  ASSERT_EQ(source->WriteAt(0, bytes.data(), kSize).bytes, kSize);
  struct Case { const char* name; bool read_only; std::size_t from, count, copied; int error; };
  const Case cases[] = {
      {"whole", false, 5, kSize - 5, kSize - 5, 0},
      {"cut short by the source's end", false, kSize - 10, 100, 10, 0},
      {"into a file open for reading", true, 0, 100, 0, EBADF},
  };
  for (const bool chunked : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (chunked ? ", in chunks" : ", in the kernel"));
      const auto path = (dir / (std::string(c.name) + (chunked ? "1" : "0"))).wstring();
      std::shared_ptr<PlatformFile> target;
      ASSERT_EQ(PosixFileSystem().CreateNew(path, target), 0);
      ASSERT_EQ(c.read_only ? PosixFileSystem().Open(path, FileAccess::kRead, target) : 0, 0);
      Forwarding forwarding(source);
      const IoResult r = target->CopyFrom(chunked ? forwarding : *source, c.from, 0, c.count);
      EXPECT_EQ(std::pair(r.bytes, r.error), std::pair(c.copied, c.error));
      std::vector<std::uint8_t> got(c.copied + 1);  // the copied bytes and nothing behind them
      got.resize(target->ReadAt(0, got.data(), got.size()).bytes);
      EXPECT_EQ(got, std::vector<std::uint8_t>(bytes.begin() + c.from, bytes.begin() + c.from + c.copied));
    }
  }
}

}  // namespace
}  // namespace recfilereader
