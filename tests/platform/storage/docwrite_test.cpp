// Creating and changing documents through the storage and stream objects, and reading the
// results back from the lock bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "platform/hresults.h"
#include "storagetestutil.h"
#include "support/tempdir.h"

namespace rectest {
namespace {


struct NewDocument {
  ComPtr<ILockBytes> lock_bytes = MemoryLockBytes();
  ComPtr<IStorage> root;
  NewDocument() { EXPECT_EQ(StgCreateDocfileOnILockBytes(lock_bytes.get(), kCreate, 0, root.Out()), S_OK); }
  // Releases the root (which completes the document) and opens the lock bytes again.
  ComPtr<IStorage> Reopen(DWORD mode = kRead) {
    root.Reset();
    ComPtr<IStorage> again;
    EXPECT_EQ(StgOpenStorageOnILockBytes(lock_bytes.get(), nullptr, mode, nullptr, 0, again.Out()), S_OK);
    return again;
  }
};

// A new document is the smallest valid file: header, FAT, one directory sector. An enumeration
// sees what is created while it runs.
TEST(CfbWrite, NewDocumentIsTheSmallestValidFileAndEnumerationSeesLaterElements) {
  NewDocument doc;
  EXPECT_EQ(ContentsOf(doc.lock_bytes.get()).size(), 1536u);
  EXPECT_EQ(StgIsStorageILockBytes(doc.lock_bytes.get()), S_OK);
  WriteStream(doc.root.get(), L"CONTENTS", {1});
  ComPtr<IEnumSTATSTG> elements;
  ASSERT_EQ(doc.root->EnumElements(0, nullptr, 0, elements.Out()), S_OK);
  const auto next = [&] {
    STATSTG stat{};
    ULONG fetched = 0;
    const HRESULT hr = elements->Next(1, &stat, &fetched);
    const std::wstring name = fetched == 1 ? stat.pwcsName : L"";
    CoTaskMemFree(stat.pwcsName);
    return std::pair(hr, name);
  };
  EXPECT_EQ(next(), std::pair(S_OK, std::wstring(L"CONTENTS")));
  WriteStream(doc.root.get(), L"ABCDEFGHI", {2});  // longer, so it comes after CONTENTS
  EXPECT_EQ(next(), std::pair(S_OK, std::wstring(L"ABCDEFGHI")));
  EXPECT_EQ(next(), std::pair(S_FALSE, std::wstring()));
}

// Writing past the end leaves zeros in the gap; shrinking moves the stream from sectors to mini
// sectors on commit.
TEST(CfbWrite, StreamWriteSeekSetSizeAndStat) {
  NewDocument doc;
  ComPtr<IStream> stream;
  ASSERT_EQ(doc.root->CreateStream(L"S", kCreate, 0, 0, stream.Out()), S_OK);
  const std::vector<std::uint8_t> data = Pattern(5000, 1);
  ULONG done = 0;
  ASSERT_EQ(stream->Write(data.data(), 5000, &done), S_OK);
  ASSERT_EQ(stream->Seek(LARGE_INTEGER{.QuadPart = 6000}, STREAM_SEEK_SET, nullptr), S_OK);
  ASSERT_EQ(stream->Write(data.data(), 10, &done), S_OK);
  STATSTG stat{};
  ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(std::pair(stat.cbSize.QuadPart, stat.pwcsName), std::pair(ULONGLONG{6010}, LPOLESTR{}));
  std::vector<std::uint8_t> gap(20), expected(data.begin() + 4990, data.end());
  expected.resize(20, 0);
  ASSERT_EQ(stream->Seek(LARGE_INTEGER{.QuadPart = 4990}, STREAM_SEEK_SET, nullptr), S_OK);
  ASSERT_EQ(stream->Read(gap.data(), 20, &done), S_OK);
  EXPECT_EQ(gap, expected);
  ASSERT_EQ(stream->SetSize(ULARGE_INTEGER{.QuadPart = 100}), S_OK);
  ASSERT_EQ(stream->Commit(STGC_DEFAULT), S_OK);
  stream.Reset();
  EXPECT_EQ(ReadStreamAt(doc.Reopen().get(), L"S"), Pattern(100, 1));
}

TEST(CfbWrite, DestroyRenameReplaceAndRevert) {
  NewDocument doc;
  WriteStream(doc.root.get(), L"Keep", {1, 2});
  WriteStream(doc.root.get(), L"Drop", {3});
  ComPtr<IStorage> sub;
  ASSERT_EQ(doc.root->CreateStorage(L"Dir", kCreate, 0, 0, sub.Out()), S_OK);
  WriteStream(sub.get(), L"Inside", {4});
  sub.Reset();
  // A stream still open when its element is destroyed is reverted.
  ComPtr<IStream> open;
  ASSERT_EQ(doc.root->OpenStream(L"Drop", nullptr, kReadWrite, 0, open.Out()), S_OK);
  EXPECT_EQ(doc.root->DestroyElement(L"drop"), S_OK);
  STATSTG stat{};
  EXPECT_EQ(std::pair(open->Write(&stat, 1, nullptr), open->Stat(&stat, STATFLAG_NONAME)), std::pair(STG_E_REVERTED, STG_E_REVERTED));
  open.Reset();
  EXPECT_EQ(doc.root->RenameElement(L"Keep", L"Kept"), S_OK);
  // Replacing a storage with STGM_CREATE drops its old contents.
  ASSERT_EQ(doc.root->CreateStorage(L"Dir", kCreate, 0, 0, sub.Out()), S_OK);
  WriteStream(sub.get(), L"New", {5});
  sub.Reset();
  const ComPtr<IStorage> again = doc.Reopen();
  EXPECT_EQ(ElementPaths(again.get()), (std::vector<std::string>{"Dir", "Dir/New", "Kept"}));
  EXPECT_EQ(ReadStreamAt(again.get(), L"Kept"), (std::vector<std::uint8_t>{1, 2}));
}

// Requests that would break the document or another caller's view of it are refused with the
// code the caller sees; a read-only document's bytes stay as they were.
TEST(CfbWrite, RefusedRequestsGiveTheirCodes) {
  NewDocument doc;
  IStorage* root = doc.root.get();
  WriteStream(root, L"Stream", {1});
  ComPtr<IStorage> inner, storage;
  ASSERT_EQ(root->CreateStorage(L"Dir", kCreate, 0, 0, storage.Out()), S_OK);
  ASSERT_EQ(root->CreateStorage(L"Inner", kCreate, 0, 0, inner.Out()), S_OK);
  storage.Reset();
  ComPtr<IStream> held, stream;
  ASSERT_EQ(root->CreateStream(L"Held", kCreate, 0, 0, held.Out()), S_OK);
  NewDocument read_only_doc;
  WriteStream(read_only_doc.root.get(), L"S", {1});
  ComPtr<IStorage> read_only = read_only_doc.Reopen();
  const std::vector<std::uint8_t> before = ContentsOf(read_only_doc.lock_bytes.get());
  const struct { const char* what; std::function<HRESULT()> call; HRESULT expected; } cases[] = {
      {"stream not exclusive", [&] { return root->CreateStream(L"S", STGM_CREATE | STGM_READWRITE, 0, 0, stream.Out()); }, STG_E_INVALIDFLAG},
      {"colon in a name", [&] { return root->CreateStream(L"a:b", kCreate, 0, 0, stream.Out()); }, STG_E_INVALIDNAME},
      {"32-character name", [&] { return root->CreateStream(std::wstring(32, L'x').c_str(), kCreate, 0, 0, stream.Out()); }, STG_E_INVALIDNAME},
      {"rename onto an existing name", [&] { return root->RenameElement(L"Stream", L"Dir"); }, STG_E_FILEALREADYEXISTS},
      {"existing storage without STGM_CREATE", [&] { return root->CreateStorage(L"Dir", kReadWrite, 0, 0, storage.Out()); }, STG_E_FILEALREADYEXISTS},
      {"second open of an open stream", [&] { return root->OpenStream(L"Held", nullptr, kReadWrite, 0, stream.Out()); }, STG_E_ACCESSDENIED},
      {"rename of an open stream", [&] { return root->RenameElement(L"Held", L"T"); }, STG_E_ACCESSDENIED},
      {"copy into its own child", [&] { return root->CopyTo(0, nullptr, nullptr, inner.get()); }, STG_E_ACCESSDENIED},
      {"move into itself", [&] { return root->MoveElementTo(L"Inner", inner.get(), L"D", STGMOVE_COPY); }, STG_E_ACCESSDENIED},
      {"create in a read-only document", [&] { return read_only->CreateStream(L"T", kCreate, 0, 0, stream.Out()); }, STG_E_ACCESSDENIED},
      {"destroy in a read-only document", [&] { return read_only->DestroyElement(L"S"); }, STG_E_ACCESSDENIED},
      {"write-open in a read-only document", [&] { return read_only->OpenStream(L"S", nullptr, kReadWrite, 0, stream.Out()); }, STG_E_ACCESSDENIED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.expected);
  }
  EXPECT_EQ(root->CreateStream(std::wstring(31, L'x').c_str(), kCreate, 0, 0, stream.Out()), S_OK);
  ASSERT_EQ(read_only->OpenStream(L"S", nullptr, kRead, 0, stream.Out()), S_OK);
  EXPECT_EQ(stream->Write(before.data(), 1, nullptr), STG_E_ACCESSDENIED);
  EXPECT_EQ(read_only->Commit(STGC_DEFAULT), S_OK);
  EXPECT_EQ(ContentsOf(read_only_doc.lock_bytes.get()), before);
}

// A nested storage keeps its contents when copied or moved, and its class, state bits and
// stored case when moved; CopyTo copies a whole tree into another document.
TEST(CfbWrite, NestedStoragesSurviveCopyAndMove) {
  NewDocument doc;
  const CLSID clsid = {0x71CCAC61, 0x82F1, 0x415D, {0xA1, 0xA0, 0x26, 0x85, 0xB3, 0x8C, 0x3C, 0x44}};
  {
    ComPtr<IStorage> device;
    ASSERT_EQ(doc.root->CreateStorage(L"Device", kCreate, 0, 0, device.Out()), S_OK);
    ASSERT_EQ(device->SetClass(clsid), S_OK);
    ASSERT_EQ(device->SetStateBits(0xF0F0, 0x00FF), S_OK);
    WriteStream(device.get(), L"s", Pattern(10, 1));
    ComPtr<IStorage> inner;
    ASSERT_EQ(device->CreateStorage(L"in", kCreate, 0, 0, inner.Out()), S_OK);
    WriteStream(inner.get(), L"\x05" L"Bdlz2yf4CmxcuqcuGjbhlgshEc", Pattern(5000, 2));
  }
  ASSERT_EQ(doc.root->MoveElementTo(L"Device", doc.root.get(), L"Copy", STGMOVE_COPY), S_OK);
  ASSERT_EQ(doc.root->MoveElementTo(L"Device", doc.root.get(), L"Moved", STGMOVE_MOVE), S_OK);
  NewDocument other;
  const IID skip_streams[] = {IID_IStream};
  ASSERT_EQ(doc.root->CopyTo(1, skip_streams, nullptr, other.root.get()), S_OK);
  const ComPtr<IStorage> again = doc.Reopen();
  const std::string set = "\x05" "Bdlz2yf4CmxcuqcuGjbhlgshEc";
  EXPECT_EQ(ElementPaths(again.get()), (std::vector<std::string>{"Copy", "Copy/s", "Copy/in", "Copy/in/" + set, "Moved",
                                                          "Moved/s", "Moved/in", "Moved/in/" + set}));
  EXPECT_EQ(ElementPaths(other.root.get()), ElementPaths(again.get()));
  ComPtr<IStorage> moved;
  ASSERT_EQ(again->OpenStorage(L"MOVED", nullptr, kRead, nullptr, 0, moved.Out()), S_OK);
  STATSTG stat{};
  ASSERT_EQ(moved->Stat(&stat, STATFLAG_DEFAULT), S_OK);
  EXPECT_EQ(std::tuple(std::wstring(stat.pwcsName), stat.type, stat.clsid, stat.grfStateBits),
            std::tuple(std::wstring(L"Moved"), DWORD{STGTY_STORAGE}, clsid, DWORD{0xF0}));
  CoTaskMemFree(stat.pwcsName);
}


// Cross-checks with independent implementations: documents we write are listed and read by
// python3-olefile (at its strictest) and by gsf; documents gsf writes are read by us.

// A document with streams on both sides of the mini-stream cutoff and of sector boundaries (9
// MiB needs 146 FAT sectors, so one DIFAT sector), nested storages, a property-set style name
// and one storage with enough siblings to need a deep tree. Each stream holds the pattern
// seeded with its size.
std::vector<std::uint8_t> SampleDocument() {
  NewDocument doc;
  IStorage* root = doc.root.get();
  for (std::size_t size : {0u, 1u, 63u, 64u, 65u, 100u, 4095u, 4096u, 4097u, 5120u, 70000u, 9u << 20}) {
    WriteStream(root, (L"stream" + std::to_wstring(size)).c_str(), Pattern(size, static_cast<std::uint8_t>(size)));
  }
  // Names whose simple capitals lie beyond Latin-1: the sibling tree must follow them.
  for (const wchar_t* name : {L"ōsaka", L"łódź", L"ｆｕｌｌ", L"հայ", L"µ", L"Ā", L"ı", L"ſ", L"J"}) {
    WriteStream(root, name, Pattern(3, 3));
  }
  ComPtr<IStorage> devices;
  EXPECT_EQ(root->CreateStorage(L"Devices", kCreate, 0, 0, devices.Out()), S_OK);
  for (int i = 0; i < 200; ++i) {
    ComPtr<IStorage> device;
    EXPECT_EQ(devices->CreateStorage(std::to_wstring(1000 + i * 37).c_str(), kCreate, 0, 0, device.Out()), S_OK);
    WriteStream(device.get(), L"\x05" L"Bdlz2yf4CmxcuqcuGjbhlgshEc", Pattern(50 + i, static_cast<std::uint8_t>(50 + i)));
    if (i % 50 == 0) WriteStream(device.get(), L"__blob_stream_#0", Pattern(6000 + i, static_cast<std::uint8_t>(6000 + i)));
  }
  devices.Reset();
  doc.root.Reset();  // completes the document
  return ContentsOf(doc.lock_bytes.get());
}

// Every stream reads back as written; olefile (at its strictest) lists and reads the document as
// we do, and gsf lists each storage's children in the element-name order and cats each stream.
TEST(CfbPeers, SampleDocumentReadsBackInUsOlefileAndGsf) {
  const std::vector<std::uint8_t> bytes = SampleDocument();
  EXPECT_EQ(bytes[0x48], 1) << "one DIFAT sector";
  const std::vector<Element> ours = ListDocument(bytes);
  EXPECT_EQ(ours.size(), 12u + 9 + 1 + 200 + 200 + 4);
  for (const Element& e : ours) EXPECT_TRUE(e.storage || e.crc == Crc32(Pattern(e.size, static_cast<std::uint8_t>(e.size)))) << e.path;
  TempDir dir;
  const std::string file = (dir / "ours.cfb").string();
  WriteFileBytes(file, bytes);
  if (const std::string python = PythonWithOlefile(); !python.empty()) {
    EXPECT_EQ(ListDocument(bytes, true), OlefileListings(python, file, true)[bytes.size()]);
  }
  const std::string gsf = GsfProgram();
  if (gsf.empty()) GTEST_SKIP() << "gsf is not installed";
  int status = 0;
  std::istringstream listing(RunCommand(gsf + " list " + file, &status));
  ASSERT_EQ(status, 0);
  std::vector<std::string> gsf_paths, our_paths;
  for (std::string line; std::getline(listing, line);) {
    const std::string path = line.substr(line.find_last_of(' ') + 1);
    if (std::count(line.begin(), line.end(), ' ') >= 2 && path != "*root*") gsf_paths.push_back(path);
  }
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
  std::vector<Element> expected{{"src", true}, {"src/inner", true}, {"src/inner/deeper", true}};
  const auto add = [&](const std::string& path, std::size_t size, std::uint8_t seed) {
    WriteFileBytes(dir / path, Pattern(size, seed));
    expected.push_back({path, false, size, Crc32(Pattern(size, seed))});
  };
  for (const auto& [path, size] : {std::pair<std::string, std::size_t>{"src/small", 10}, {"src/inner/mini", 4095},
                                   {"src/inner/big", 4096}, {"src/inner/deeper/large", 300000}}) {
    add(path, size, static_cast<std::uint8_t>(size));
  }
  for (std::size_t i = 0; i < 30; ++i) add("src/inner/n" + std::to_string(i), i, 1);  // siblings enough for a deep tree
  int status = 0;
  RunCommand("cd " + dir.path().string() + " && " + gsf + " createole out.cfb src >/dev/null 2>&1", &status);
  ASSERT_EQ(status, 0);
  std::sort(expected.begin(), expected.end(), [](const Element& a, const Element& b) { return a.path < b.path; });
  EXPECT_EQ(ListDocument(ReadFileBytes(dir / "out.cfb"), true), expected);
}

}  // namespace
}  // namespace rectest
