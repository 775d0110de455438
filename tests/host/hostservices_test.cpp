// The host services the reader resolves when it is made, and the services it supplies itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "host/extinterfaceaccess.h"
#include "base/interfaceregistry.h"
#include "host/reporttohost.h"
#include "base/servicecontext.h"
#include "host/tempfilesmgrwrp.h"
#include "platform/localtime.h"
#include "platform/textconv.h"
#include "support/fakehost.h"
#include "support/tempdir.h"

namespace recfilereader {
namespace {

using rectest::FakeHost;

struct Frame {
  explicit Frame(IInterfaceAccess* host) : context(registry), external(&context, host) {}
  CInterfaceRegistry registry;
  CServiceContext context;
  CExtInterfaceAccess external;
};

TEST(ExtInterfaceAccess, HostServicesAreTakenInOrderWithTheReadersFallbacks) {
  const struct { std::set<std::wstring> offered; bool host_memory, host_processes, errors; } cases[] = {
      {{}, false, false, false},
      {{L"IExMemoryMgr"}, true, false, false},
      {{L"IRCMemoryMgr", L"IExMemoryMgr"}, true, false, false},
      {{L"IThreadedProcessService", L"IExErrorMgr"}, false, true, true},
      {{L"IRCThreadProcSvc", L"IRCErrorMgr"}, false, true, true},
  };
  for (const auto& c : cases) {
    FakeHost host(c.offered);
    Frame frame(&host);
    IExternalInterfaceAccess& ext = frame.external;
    SCOPED_TRACE(testing::Message() << c.offered.size() << " services offered");
    IExMemoryMgr* memory = c.host_memory ? static_cast<IExMemoryMgr*>(&host.memory) : &frame.external.own_memory_manager();
    EXPECT_EQ(ext.GetInterface(L"IRCMemoryMgr"), memory);
    void* processes = ext.GetInterface(L"IThreadedProcessService");
    EXPECT_TRUE(processes != nullptr && processes == ext.GetInterface(L"IRCThreadProcSvc"));
    EXPECT_EQ(processes == static_cast<IThreadedProcessService*>(&host.processes), c.host_processes);
    EXPECT_EQ(ext.GetInterface(L"IExErrorMgr") != nullptr, c.errors);
    EXPECT_EQ(ext.GetInterface(L"IRCErrorMgr"), ext.GetInterface(L"IExErrorMgr"));
    EXPECT_TRUE(ext.GetInterface(L"ITimebase") == nullptr && ext.GetInterface(L"ISomethingElse") == nullptr);
    if (c.offered.empty()) {  // asked for everything, in the order that settles preferences
      EXPECT_EQ(host.asked, (std::vector<std::wstring>{L"IRCMemoryMgr", L"IExMemoryMgr", L"IRCThreadProcSvc",
                                                       L"IThreadedProcessService", L"IRCErrorMgr", L"IExErrorMgr",
                                                       L"IErrorMgr", L"ITimebase", L"IObjectProperties"}));
    }
    EXPECT_EQ(std::pair(frame.registry.GetInterface(L"IExternalInterfaceAccess", false),
                        frame.registry.GetInterface(L"IExternalInterfaceAccess", true)),
              (std::pair<void*, void*>(&ext, nullptr)));
  }
}

TEST(MemMgrCpp, CountsReferencesAndFreesAtZero) {
  CMemMgrCpp memory;
  void* block = memory.Allocate(16, 0);
  ASSERT_FALSE(block == nullptr || memory.IsShared(block));
  memory.Lock(block);
  EXPECT_TRUE(memory.IsShared(block));
  memory.Free(block);
  void* grown = memory.Reallocate(block, 1 << 20);  // the record follows the block
  ASSERT_EQ(std::pair(grown != nullptr, memory.live_blocks()), std::pair(true, std::size_t{1}));
  int foreign = 0;
  memory.Unlock(&foreign);  // unknown block: ignored
  EXPECT_FALSE(memory.Reallocate(&foreign, 8) != nullptr || memory.IsShared(&foreign));
  memory.Unlock(grown);
  EXPECT_EQ(memory.live_blocks(), 0u);
  EXPECT_NE(memory.Reallocate(nullptr, 4), nullptr);  // freed with the manager
}

std::filesystem::path FileName(const wchar_t* path) { return std::filesystem::path(WideToUtf8(path)).filename(); }

// Two managers (two readers) never share a path, not even within one millisecond, while one
// manager replaces its own file of the same name. Each keeps its files in a private 0700
// directory inside the temporary folder, gone with the manager, so a link another local user
// plants at the name the clock predicts is never written through.
TEST(TempFilesMgrWrp, EachManagerKeepsItsFilesInAPrivateDirectoryGoneWithIt) {
  rectest::TempDir dir_;
  setenv("TEMP", dir_.path().c_str(), 1);
  CInterfaceRegistry registry;
  CServiceContext context(registry);
  const auto victim = dir_ / "victim";
  rectest::WriteFileBytes(victim, {1, 2, 3});
  wchar_t first[kMaxTempPath], second[kMaxTempPath], again[kMaxTempPath];
  std::filesystem::path mine;
  {
    CTempFilesMgrWrp manager(&context), other(nullptr);
    EXPECT_EQ(registry.GetInterface(L"IPrivTempFilesMgr", false), static_cast<IPrivTempFilesMgr*>(&manager));
    bool same_millisecond = false;
    for (int i = 0; i < 1000 && !same_millisecond; ++i) {
      const auto trap = dir_ / WideToUtf8(CTempFilesMgrWrp::TempFileName(L"audio", L"avi", LocalTimeNow()));
      std::error_code planted_before;
      std::filesystem::create_symlink(victim, trap, planted_before);
      ASSERT_TRUE(manager.CreateTempFile(L"audio", L"avi", first, kMaxTempPath));
      ASSERT_TRUE(other.CreateTempFile(L"audio", L"avi", second, kMaxTempPath));
      ASSERT_TRUE(manager.CreateTempFile(L"audio", L"avi", again, kMaxTempPath));
      same_millisecond = FileName(first) == trap.filename() && FileName(second) == trap.filename() &&
                         FileName(again) == trap.filename();
    }
    ASSERT_TRUE(same_millisecond);
    EXPECT_NE(std::wstring(first), std::wstring(second));
    EXPECT_EQ(std::wstring(first), std::wstring(again));
    EXPECT_EQ(rectest::ReadFileBytes(victim), (std::vector<std::uint8_t>{1, 2, 3}));
    mine = std::filesystem::path(WideToUtf8(first)).parent_path();
    EXPECT_EQ(mine.parent_path(), dir_.path());
    EXPECT_EQ(std::filesystem::status(mine).permissions(), std::filesystem::perms::owner_all);
    manager.DeleteTempFile(first);
    EXPECT_FALSE(std::filesystem::exists(WideToUtf8(first)));
    manager.DeleteTempFile(L"/etc/hostname");  // not ours: ignored
    EXPECT_TRUE(std::filesystem::exists("/etc/hostname"));
    wchar_t tiny[4];
    EXPECT_FALSE(manager.CreateTempFile(L"x", L"y", tiny, 4));
  }
  EXPECT_FALSE(std::filesystem::exists(mine));
  unsetenv("TEMP");
}

TEST(ReportToHost, FillsTheRecordForTheErrorManagerOrDoesNothingWithoutOne) {
  FakeHost host({L"IExErrorMgr", L"ITimebase", L"IObjectProperties"});
  host.properties.handle.vt = VT_I4;
  host.properties.handle.lVal = 77;
  Frame frame(&host);
  ReportToHost(&frame.context, 3, 0x2345, std::wstring(2000, L'z'));
  ASSERT_EQ(host.errors.records.size(), 1u);
  const HostErrorRecord& record = host.errors.records[0];
  EXPECT_EQ(std::tuple(record.Code, record.Reserved, record.HostHandle, std::wcslen(record.Text), record.HostTime,
                       record.One), std::tuple(((0x0345u | (3u << 13)) << 16), 0u, 77u, 1023u, host.timebase.now, 1u));
  EXPECT_GE(record.LocalTime.wYear, 2024);
  FakeHost silent;  // no error manager: nothing happens, nothing is raised
  Frame alone(&silent);
  ReportToHost(&alone.context, 1, 1, L"lost");
  ReportToHost(nullptr, 1, 1, L"lost");
  EXPECT_TRUE(silent.errors.records.empty());
}

}  // namespace
}  // namespace recfilereader
