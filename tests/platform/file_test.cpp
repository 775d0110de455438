#include "platform/file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <future>

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

}  // namespace
}  // namespace recfilereader
