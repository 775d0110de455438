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

// Only regular files open: a named pipe would block the open (and every read after it) until a
// writer came, a directory or device holds no recording. The open runs on a thread so that a
// regression fails here instead of hanging the suite: a stuck open is released by opening the
// pipe's other end.
TEST(PosixFileSystem, OpensOnlyRegularFilesAndNeverBlocks) {
  rectest::TempDir dir;
  const auto fifo = dir / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  rectest::WriteFileBytes(dir / "plain", {1, 2, 3});
  const struct {
    std::filesystem::path path;
    bool opens;
  } cases[] = {{fifo, false}, {dir.path(), false}, {"/dev/null", false}, {dir / "plain", true}};
  for (const auto& c : cases) {
    for (FileAccess access : {FileAccess::kRead, FileAccess::kReadWrite}) {
      SCOPED_TRACE(c.path.string());
      std::shared_ptr<PlatformFile> file;
      auto opening = std::async(std::launch::async, [&] {
        return PosixFileSystem().Open(c.path.wstring(), access, file);
      });
      if (opening.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "the open blocked";
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        opening.wait();
        if (writer >= 0) ::close(writer);
        continue;
      }
      const int error = opening.get();
      EXPECT_EQ(error == 0, c.opens) << error;
      EXPECT_EQ(file != nullptr, c.opens);
      if (!c.opens) continue;
      // The descriptor blocks again, as reads of a regular file expect.
      char byte = 0;
      const IoResult read = file->ReadAt(2, &byte, 4);
      EXPECT_EQ(read.bytes, 1u);
      EXPECT_EQ(byte, 3);
    }
  }
}

}  // namespace
}  // namespace recfilereader
