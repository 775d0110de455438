// Repair through the reader's interface, judged by what a host reads back afterwards: every
// complete data block before the damage, in order, byte for byte. Faults in every write the
// repair makes, and processes killed while writing or repairing, must lose none of them.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "base/guard.h"
#include "platform/textconv.h"
#include "support/fakeowner.h"
#include "support/tempdir.h"
#include "writing/recordingfiles.h"
#include "writing/recordingrepair.h"

namespace {

using namespace recfilereader;
using namespace rectest;

class RepairTest : public ::testing::Test {
 protected:
  bool Repair() { return reader.Face<IRecordingRepair>(L"IRecordingRepair")->RepairRecording(path.wstring().c_str()); }
  // A repair on `files`, as the reader runs it; its outcome code.
  LONG RepairOn(FileSystem* files, IAbort* abort = nullptr) {
    CachingFileReaderPlatform platform;
    platform.files = files;
    CRecordingRepair repair(&owner, path.wstring(), platform);
    repair.Execute(nullptr, abort);
    return repair.outcome_code();
  }

  TempDir dir;
  std::filesystem::path path = dir / "r.rec";
  Reader reader;
  FakeOwner owner;
};

TEST_F(RepairTest, KeepsEveryCompleteBlockBeforeTheDamage) {
  const Built built = BuildRecording(12);
  Bytes garbage = built.bytes, middle = built.bytes, v20 = BuildRecording(12, {.index_size = 32}).bytes;
  garbage.insert(garbage.end(), 100, 0xEE);
  middle[built.data[5]] = 0x34;  // the header's size field
  v20.resize(BuildRecording(12, {.index_size = 32}).data[7] + 40);
  WriteFileBytes(path, built.bytes);
  ASSERT_TRUE(Repair());
  Bytes finished = ReadFileBytes(path), tail_cut = finished;
  tail_cut.resize(built.bytes.size() + 50);
  const struct {
    const char* name;
    Bytes file;
    std::size_t kept;
  } cases[] = {
      {"inside a header", Bytes(built.bytes.begin(), built.bytes.begin() + built.data[7] + 10), 7},
      {"inside a payload", Bytes(built.bytes.begin(), built.bytes.begin() + built.data[7] + 40), 7},
      {"after the last block", built.bytes, 12},
      {"inside the tail", tail_cut, 12},
      {"a finished file", finished, 12},
      {"garbage after the data", garbage, 12},
      {"a damaged header in the middle", middle, 5},
      {"a 2.0 file", v20, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFileBytes(path, c.file);
    ASSERT_TRUE(Repair()) << WideToUtf8(reader.error()->GetErrorText());
    EXPECT_EQ(reader.Packages(path), SamplePackages(0, c.kept));
    ASSERT_TRUE(Repair());  // a repaired file repairs again to the same packages
    EXPECT_EQ(reader.Packages(path), SamplePackages(0, c.kept));
  }
  // The 2.0 file kept its 32-byte section index, behind the 80-byte file header block.
  EXPECT_EQ(ReadFileBytes(path)[80 + 2], 0x01);
}

TEST_F(RepairTest, FailuresLeaveTheFileAsItWas) {
  Bytes short_package = BuildRecording(3).bytes, no_header = BuildRecording(3).bytes;
  no_header[2] = 0xFA;  // the first block is a filler
  RecBuilder extra;  // a second-format data block too short for its header
  extra.Add({.type = kBlockData, .tag = kTagExtendedPackage, .payload = Bytes(10, 1)});
  short_package.insert(short_package.end(), extra.bytes().begin(), extra.bytes().end());
  const struct {
    const char* name;
    Bytes file;
    LONG code;
    const wchar_t* text;
  } cases[] = {
      {"no file header", no_header, 20, L"First rec file block in not file header"},
      {"second identifier", BuildRecording(3, {.format = kRecFormatSecond}).bytes, 20, L"Invalid recording signature"},
      {"version 1.0", BuildRecording(3, {.index_size = 0}).bytes, 20,
       L"Repairing of REC files version 1.0 is not supported"},
      {"no sources", BuildRecording(3, {.config = false}).bytes, 10, L"No valid sources data found in recording"},
      {"short second-format package", short_package, 20, L"Recording corrupted"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFileBytes(path, c.file);
    EXPECT_FALSE(Repair());
    EXPECT_EQ(reader.error()->GetErrorCode(), c.code);
    EXPECT_STREQ(reader.error()->GetErrorText(), c.text);
    EXPECT_EQ(ReadFileBytes(path), c.file);
  }
  AlwaysAbort abort;
  WriteFileBytes(path, BuildRecording(3).bytes);
  EXPECT_EQ(RepairOn(nullptr, &abort), kErrorUserAbort);
  EXPECT_EQ(ReadFileBytes(path), BuildRecording(3).bytes);
}

TEST_F(RepairTest, AFailedWriteLosesNothingForTheNextRepair) {
  const Built built = BuildRecording(9);
  const Bytes cut(built.bytes.begin(), built.bytes.begin() + built.data[8] + 50);
  FaultyFiles files;
  WriteFileBytes(path, cut);
  ASSERT_EQ(RepairOn(&files), kErrorNone);
  const int writes = files.writes;
  for (int n = 1; n <= writes; ++n) {
    for (const bool short_write : {false, true}) {
      SCOPED_TRACE(testing::Message() << "write " << n << (short_write ? " short" : " failed"));
      WriteFileBytes(path, cut);
      files.Arm(n, short_write);
      EXPECT_NE(RepairOn(&files), kErrorNone);
      ASSERT_TRUE(Repair());
      EXPECT_EQ(reader.Packages(path), SamplePackages(0, 8));
    }
  }
  std::printf("repair write points covered: %d, each failed and short\n", writes);
}

// Starts the kill test's child with `args` and kills it after `delay`; true when the kill, not
// the child's own end, ended it.
bool RunAndKill(std::vector<std::string> args, std::chrono::microseconds delay) {
  args.insert(args.begin(), REPAIR_KILL_CHILD);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  std::this_thread::sleep_for(delay);
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

TEST_F(RepairTest, KilledWritersAndRepairsLoseNoLoggedPackage) {
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE(seed);
  std::mt19937 random(seed);
  const std::filesystem::path log = dir / "log";
  int writer_kills = 0, repair_kills = 0;
  for (int round = 0; round < 400 && (writer_kills < 50 || repair_kills < 50); ++round) {
    std::filesystem::remove(path);
    std::filesystem::remove(log);
    writer_kills += RunAndKill({"write", path.string(), log.string()}, std::chrono::microseconds(random() % 40'000));
    std::error_code no_log;
    const std::uintmax_t log_size = std::filesystem::file_size(log, no_log);
    const std::size_t logged = no_log ? 0 : log_size / sizeof(std::uint32_t);
    repair_kills += RunAndKill({"repair", path.string()}, std::chrono::microseconds(random() % 15'000));
    if (logged == 0) continue;  // killed before its first package: nothing was promised
    ASSERT_TRUE(Repair()) << WideToUtf8(reader.error()->GetErrorText());
    const std::vector<Package> packages = reader.Packages(path);
    ASSERT_GE(packages.size(), logged);
    ASSERT_EQ(packages, SamplePackages(0, packages.size()));
  }
  EXPECT_GE(writer_kills, 50);
  EXPECT_GE(repair_kills, 50);
  std::printf("kills: %d while writing, %d while repairing\n", writer_kills, repair_kills);
}

}  // namespace
