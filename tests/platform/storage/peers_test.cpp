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

// A document with streams of every size class, nested storages, a property-set style name and
// one storage with enough siblings to need a deep tree.
std::vector<std::uint8_t> SampleDocument() {
  ComPtr<ILockBytes> lock_bytes = MemoryLockBytes();
  {
    ComPtr<IStorage> root;
    EXPECT_EQ(StgCreateDocfileOnILockBytes(lock_bytes.get(), kCreate, 0, root.Out()), S_OK);
    std::size_t seed = 0;
    for (std::size_t size : {0, 1, 64, 100, 4095, 4096, 5120, 70000}) {
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
  }
  return ContentsOf(lock_bytes.get());
}

// A document with one 9 MiB stream: 146 FAT sectors, so one DIFAT sector.
std::vector<std::uint8_t> DocumentNeedingDifat() {
  ComPtr<ILockBytes> lock_bytes = MemoryLockBytes();
  {
    ComPtr<IStorage> root;
    EXPECT_EQ(StgCreateDocfileOnILockBytes(lock_bytes.get(), kCreate, 0, root.Out()), S_OK);
    WriteStream(root.get(), L"Large", Pattern(9u << 20, 3));
    WriteStream(root.get(), L"Small", Pattern(10, 4));
  }
  return ContentsOf(lock_bytes.get());
}

TEST(CfbPeers, OlefileReadsOurDocumentsWithoutDefects) {
  const std::string python = PythonWithOlefile();
  if (python.empty()) GTEST_SKIP() << "python3-olefile is not installed";
  TempDir dir;
  for (const std::vector<std::uint8_t>& bytes : {SampleDocument(), DocumentNeedingDifat()}) {
    WriteFileBytes(dir / "ours.cfb", bytes);
    const std::vector<Element> ours = ListDocument(bytes, true);
    EXPECT_FALSE(ours.empty());
    EXPECT_EQ(ours, OlefileListing(python, dir / "ours.cfb", true));
  }
}

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
  std::vector<std::string> gsf_paths;  // gsf lists each storage's children in the element-name order
  for (std::string line; std::getline(listing, line);) {
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string x; words >> x;) w.push_back(x);
    if (w.size() < 3 || w.back() == "*root*") continue;
    gsf_paths.push_back(w.back());
  }
  const std::vector<Element> ours = ListDocument(bytes);
  std::vector<std::string> our_paths;
  for (const Element& e : ours) our_paths.push_back(e.path);
  EXPECT_EQ(gsf_paths, our_paths);
  for (const Element& e : ours) {
    if (e.storage || e.path.find('\x05') != std::string::npos) continue;
    SCOPED_TRACE(e.path);
    const std::string data = RunCommand(gsf + " cat " + file + " " + e.path, &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(Crc32(std::vector<std::uint8_t>(data.begin(), data.end())), e.crc);
    EXPECT_EQ(data.size(), e.size);
  }
}

TEST(CfbPeers, WeReadWhatGsfWrites) {
  const std::string gsf = GsfProgram();
  if (gsf.empty()) GTEST_SKIP() << "gsf is not installed";
  TempDir dir;
  std::filesystem::create_directories(dir / "src" / "inner" / "deeper");
  const std::pair<std::string, std::size_t> files[] = {
      {"src/small", 10}, {"src/inner/mini", 4095}, {"src/inner/big", 4096}, {"src/inner/deeper/large", 300000}};
  for (const auto& [path, size] : files) WriteFileBytes(dir / path, Pattern(size, static_cast<std::uint8_t>(size)));
  for (int i = 0; i < 30; ++i) WriteFileBytes(dir / ("src/inner/n" + std::to_string(i)), Pattern(i, 1));
  int status = 0;
  RunCommand("cd " + dir.path().string() + " && " + gsf + " createole out.cfb src >/dev/null 2>&1", &status);
  ASSERT_EQ(status, 0);
  ComPtr<IStorage> root;
  ASSERT_EQ(OpenDocument(ReadFileBytes(dir / "out.cfb"), &root), S_OK);
  ComPtr<IStorage> src;
  ASSERT_EQ(root->OpenStorage(L"src", nullptr, kRead, nullptr, 0, src.Out()), S_OK);
  std::vector<Element> all;
  ASSERT_EQ(WalkDocument(src.get(), &all), S_OK);
  for (const auto& [path, size] : files) {
    const std::string inside = path.substr(4);
    const auto it = std::find_if(all.begin(), all.end(), [&](const Element& e) { return e.path == inside; });
    ASSERT_NE(it, all.end()) << inside;
    EXPECT_EQ(it->size, size);
    EXPECT_EQ(it->crc, Crc32(Pattern(size, static_cast<std::uint8_t>(size))));
  }
  EXPECT_EQ(all.size(), 4u + 2 + 30);  // four files, two storages, thirty small files
}

}  // namespace
}  // namespace rectest
