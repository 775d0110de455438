// Cross-checks with independent implementations: documents we write are listed and read by
// python3-olefile (at its strictest) and by gsf; documents gsf writes are read by us.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "rawcfb.h"
#include "storagetestutil.h"
#include "support/tempdir.h"

namespace rectest {
namespace {

constexpr DWORD kCreate = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kRead = STGM_READ | STGM_SHARE_EXCLUSIVE;

// A document with streams of every size class (9 MiB needs 146 FAT sectors, so one DIFAT
// sector), nested storages, a property-set style name and one storage with enough siblings to
// need a deep tree.
std::vector<std::uint8_t> SampleDocument() {
  ComPtr<ILockBytes> lock_bytes = MemoryLockBytes();
  ComPtr<IStorage> root;
  EXPECT_EQ(StgCreateDocfileOnILockBytes(lock_bytes.get(), kCreate, 0, root.Out()), S_OK);
  std::size_t seed = 0;
  for (std::size_t size : {0u, 1u, 64u, 100u, 4095u, 4096u, 5120u, 70000u, 9u << 20}) {
    WriteStream(root.get(), (L"stream" + std::to_wstring(size)).c_str(), Pattern(size, static_cast<std::uint8_t>(++seed)));
  }
  // Names whose simple capitals lie beyond Latin-1: the sibling tree must follow them.
  for (const wchar_t* name : {L"ōsaka", L"łódź", L"ｆｕｌｌ", L"հայ", L"µ", L"Ā", L"ı", L"ſ", L"J"}) {
    WriteStream(root.get(), name, Pattern(3, 3));
  }
  ComPtr<IStorage> devices;
  EXPECT_EQ(root->CreateStorage(L"Devices", kCreate, 0, 0, devices.Out()), S_OK);
  for (int i = 0; i < 200; ++i) {
    ComPtr<IStorage> device;
    EXPECT_EQ(devices->CreateStorage(std::to_wstring(1000 + i * 37).c_str(), kCreate, 0, 0, device.Out()), S_OK);
    WriteStream(device.get(), L"\x05" L"Bdlz2yf4CmxcuqcuGjbhlgshEc", Pattern(50 + i, static_cast<std::uint8_t>(i)));
    if (i % 50 == 0) WriteStream(device.get(), L"__blob_stream_#0", Pattern(6000 + i, static_cast<std::uint8_t>(i)));
  }
  devices.Reset();
  root.Reset();
  return ContentsOf(lock_bytes.get());
}

TEST(CfbPeers, OlefileReadsOurDocumentsWithoutDefects) {
  const std::string python = PythonWithOlefile();
  if (python.empty()) GTEST_SKIP() << "python3-olefile is not installed";
  TempDir dir;
  const std::vector<std::uint8_t> bytes = SampleDocument();
  ASSERT_EQ(bytes[0x48], 1) << "one DIFAT sector";
  WriteFileBytes(dir / "ours.cfb", bytes);
  EXPECT_EQ(ListDocument(bytes, true), OlefileListings(python, dir / "ours.cfb", true)[bytes.size()]);
}

// gsf lists each storage's children in the element-name order, and cats each stream whole.
TEST(CfbPeers, GsfListsAndCatsOurDocuments) {
  const std::string gsf = GsfProgram();
  if (gsf.empty()) GTEST_SKIP() << "gsf is not installed";
  TempDir dir;
  const std::vector<std::uint8_t> bytes = SampleDocument();
  const std::string file = (dir / "ours.cfb").string();
  WriteFileBytes(dir / "ours.cfb", bytes);
  int status = 0;
  std::istringstream listing(RunCommand(gsf + " list " + file, &status));
  ASSERT_EQ(status, 0);
  std::vector<std::string> gsf_paths, our_paths;
  for (std::string line; std::getline(listing, line);) {
    const std::string path = line.substr(line.find_last_of(' ') + 1);
    if (std::count(line.begin(), line.end(), ' ') >= 2 && path != "*root*") gsf_paths.push_back(path);
  }
  const std::vector<Element> ours = ListDocument(bytes);
  for (const Element& e : ours) our_paths.push_back(e.path);
  EXPECT_EQ(gsf_paths, our_paths);
  for (const Element& e : ours) {
    if (e.storage || e.path.find('\x05') != std::string::npos) continue;
    const std::string data = RunCommand(gsf + " cat " + file + " " + e.path, &status);
    EXPECT_EQ(std::tuple(status, data.size(), Crc32(std::vector<std::uint8_t>(data.begin(), data.end()))),
              std::tuple(0, e.size, e.crc)) << e.path;
  }
}

TEST(CfbPeers, WeReadWhatGsfWrites) {
  const std::string gsf = GsfProgram();
  if (gsf.empty()) GTEST_SKIP() << "gsf is not installed";
  TempDir dir;
  std::filesystem::create_directories(dir / "src" / "inner" / "deeper");
  std::vector<Element> expected{{"inner", true}, {"inner/deeper", true}};
  for (const auto& [path, size] : {std::pair<std::string, std::size_t>{"small", 10}, {"inner/mini", 4095}, {"inner/big", 4096},
                                   {"inner/deeper/large", 300000}}) {
    WriteFileBytes(dir / "src" / path, Pattern(size, static_cast<std::uint8_t>(size)));
    expected.push_back({path, false, size, Crc32(Pattern(size, static_cast<std::uint8_t>(size)))});
  }
  for (std::size_t i = 0; i < 30; ++i) {  // siblings enough for a deep tree
    WriteFileBytes(dir / "src" / "inner" / ("n" + std::to_string(i)), Pattern(i, 1));
    expected.push_back({"inner/n" + std::to_string(i), false, i, Crc32(Pattern(i, 1))});
  }
  int status = 0;
  RunCommand("cd " + dir.path().string() + " && " + gsf + " createole out.cfb src >/dev/null 2>&1", &status);
  ASSERT_EQ(status, 0);
  ComPtr<IStorage> root, src;
  ASSERT_EQ(OpenDocument(ReadFileBytes(dir / "out.cfb"), &root), S_OK);
  ASSERT_EQ(root->OpenStorage(L"src", nullptr, kRead, nullptr, 0, src.Out()), S_OK);
  std::vector<Element> all;
  ASSERT_EQ(WalkDocument(src.get(), &all), S_OK);
  std::sort(all.begin(), all.end(), [](const Element& a, const Element& b) { return a.path < b.path; });
  std::sort(expected.begin(), expected.end(), [](const Element& a, const Element& b) { return a.path < b.path; });
  EXPECT_EQ(all, expected);
}

}  // namespace
}  // namespace rectest
