// Reading documents built byte by byte, damaged documents, and the corpus of documents that
// other implementations wrote (checked against python3-olefile); then the header and
// directory-entry records, the element-name order and the sibling trees the writer builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <numeric>
#include <span>
#include <tuple>

#include "platform/storage/propertystorage.h"
#include "platform/textconv.h"
#include "platform/hresults.h"
#include "platform/storage/cfbformat.h"
#include "platform/storage/compoundwriter.h"
#include "storagetestutil.h"
#include "support/tempdir.h"

namespace rectest {
namespace {


// A small version-3 document used as the base of many tests: sector 0 FAT, 1 directory, 2 mini
// FAT, 3 mini stream, 4..12 stream "Big" (4100 bytes, sectors placed in the order 4, 6, 5, 7, 8,
// ... to need a real chain walk). Entries: 0 root (mini stream 3, 128 bytes), 1 "Small" (100
// bytes at mini 0, 1; left 2), 2 "Big" (4100 bytes from sector 4), 3 unused.
RawCfb SmallDocument() {
  RawCfb doc(3, 13);
  doc.UseFat({0});
  for (const auto& [offset, value] : {std::pair{0x30, 1u}, {0x3C, 2u}, {0x40, 1u}}) doc.Header32(offset, value);  // directory, mini FAT
  const std::vector<std::uint32_t> big_sectors = {4, 6, 5, 7, 8, 9, 10, 11, 12};
  for (const auto& chain : {std::vector<std::uint32_t>{1}, {2}, {3}, big_sectors}) doc.Chain(chain);
  std::fill(doc.Sector(2), doc.Sector(3), 0xFF);  // mini FAT: "Small" takes mini sectors 0 and 1
  Put(doc.Sector(2), std::uint64_t{kEnd} << 32 | 1, 8);
  doc.Entry(1, 0, {u"Root Entry", 5, 1, kNone, kNone, 1, 3, 128});
  doc.Entry(1, 1, {u"Small", 2, 1, 2, kNone, kNone, 0, 100});
  doc.Entry(1, 2, {u"Big", 2, 0, kNone, kNone, kNone, 4, 4100});
  doc.Entry(1, 3, {u"", 0, 0, kNone, kNone, kNone, 0, 0});
  const std::vector<std::uint8_t> small = Pattern(100, 1), big = Pattern(4100, 9);
  std::copy(small.begin(), small.end(), doc.Sector(3));
  for (std::size_t i = 0; i < big_sectors.size(); ++i) {
    std::copy_n(big.begin() + 512 * i, std::min<std::size_t>(512, 4100 - 512 * i), doc.Sector(big_sectors[i]));
  }
  return doc;
}

// Both streams read whole through their mini and regular chains in the cut test below.
TEST(CfbRead, SmallDocumentListsAndSeeksThroughAChain) {
  ComPtr<IStorage> root;
  ASSERT_EQ(OpenDocument(SmallDocument().bytes(), &root), S_OK);
  EXPECT_EQ(ElementPaths(root.get()), (std::vector<std::string>{"Big", "Small"}));
  ComPtr<IStream> stream;
  ASSERT_EQ(root->OpenStream(L"Big", nullptr, kRead, 0, stream.Out()), S_OK);
  // From inside the second sector of the chain (which lies at sector 6), and 10 before the end.
  const std::vector<std::uint8_t> big = Pattern(4100, 9);
  for (const auto& [move, origin, expected] : {std::tuple{1000, STREAM_SEEK_SET, std::vector(big.begin() + 1000, big.begin() + 1600)},
                                               {-10, STREAM_SEEK_END, std::vector(big.end() - 10, big.end())}}) {
    std::vector<std::uint8_t> got(600);
    ULONG read = 0;
    ASSERT_EQ(stream->Seek(LARGE_INTEGER{.QuadPart = move}, origin, nullptr), S_OK);
    ASSERT_EQ(stream->Read(got.data(), 600, &read), S_OK);
    got.resize(read);
    EXPECT_EQ(got, expected);
  }
  EXPECT_EQ(stream->Seek(LARGE_INTEGER{.QuadPart = -1}, STREAM_SEEK_SET, nullptr), STG_E_INVALIDFUNCTION);
}

// Garbage other writers leave, and a name with a lone surrogate, opened by the name the
// enumeration gives.
TEST(CfbRead, ToleratesWhatOtherWritersLeave) {
  RawCfb raw = SmallDocument();
  raw.Header32(0x28, 77);  // version-3 directory count
  raw.Header32(0x34, 3);   // transaction signature
  raw.Entry(1, 1, {u"Sm\xD8FFll", 2, 0, 2, kNone, kNone, 0, 0xABCD000000000064ull});  // high half of the size
  raw.Entry(1, 2, {u"Big", 2, 0, kNone, kNone, kNone, 4, 4100});                       // red under red
  const std::vector<Element> all = ListDocument(raw.bytes());
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(std::pair(all[0].crc, all[1].crc), std::pair(Crc32(Pattern(4100, 9)), Crc32(Pattern(100, 1))));
}

// Other writers leave siblings whose names differ only by case ("Big" renamed "SMALL" here):
// each opens by its exact name, another spelling finds the first of them, and no change makes
// a third twin; a save keeps both and every untouched stream.
TEST(CfbRead, CaseTwinsAreFoundByTheirExactNamesAndNeverMultiplied) {
  RawCfb raw = SmallDocument();
  raw.Entry(1, 2, {u"SMALL", 2, 0, kNone, kNone, kNone, 4, 4100});
  ComPtr<ILockBytes> lock_bytes = MemoryLockBytes(raw.bytes());
  ComPtr<IStorage> root;
  ASSERT_EQ(StgOpenStorageOnILockBytes(lock_bytes.get(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0, root.Out()), S_OK);
  const auto reads = [&](const std::vector<std::pair<const wchar_t*, std::vector<std::uint8_t>>>& expected) {
    for (const auto& [name, data] : expected) EXPECT_EQ(ReadStreamAt(root.get(), name), data) << recfilereader::WideToUtf8(name);
  };
  reads({{L"Small", Pattern(100, 1)}, {L"SMALL", Pattern(4100, 9)}, {L"small", Pattern(4100, 9)}});
  ComPtr<IStream> stream;
  EXPECT_EQ(root->CreateStream(L"sMALL", STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.Out()), STG_E_FILEALREADYEXISTS);
  EXPECT_EQ(root->RenameElement(L"Small", L"small"), STG_E_FILEALREADYEXISTS);
  WriteStream(root.get(), L"Added", Pattern(5000, 2));
  root.Reset();
  ASSERT_EQ(OpenDocument(ContentsOf(lock_bytes.get()), &root), S_OK);
  EXPECT_EQ(ElementPaths(root.get()), (std::vector<std::string>{"Added", "SMALL", "Small"}));
  reads({{L"Small", Pattern(100, 1)}, {L"SMALL", Pattern(4100, 9)}, {L"Added", Pattern(5000, 2)}});
}

// Every tree shape enumerates in name order (numeric names sort numerically): a storage of 40
// streams named 0..39, each entry i linked to i + step through `side`, the root's child first.
TEST(CfbRead, EnumeratesEveryTreeShapeInNameOrder) {
  const int n = 40;
  std::vector<std::string> expected;
  for (int i = 0; i < n; ++i) expected.push_back(std::to_string(i));
  const std::tuple<const char*, std::uint32_t, std::uint32_t RawEntry::*, int> shapes[] = {
      {"right vine from the smallest", 1, &RawEntry::right, 1}, {"left vine from the largest", n, &RawEntry::left, -1},
      {"vine in the wrong order (read anyway)", n, &RawEntry::right, -1}};
  for (const auto& [name, first, side, step] : shapes) {
    RawCfb raw(3, 1 + (n + 4) / 4);
    raw.UseFat({0});
    raw.Header32(0x30, 1);
    for (std::uint32_t s = 1; s <= (n + 4) / 4; ++s) raw.Link(s, s < (n + 4) / 4 ? s + 1 : kEnd);
    raw.Entry(1, 0, {u"Root Entry", 5, 1, kNone, kNone, first, kEnd, 0});
    for (int i = 1; i <= n; ++i) {
      RawEntry e{recfilereader::WideToUtf16(std::to_wstring(i - 1))};
      if (i + step >= 1 && i + step <= n) e.*side = static_cast<std::uint32_t>(i + step);
      raw.Entry(1 + i / 4, i % 4, e);
    }
    ComPtr<IStorage> root;
    ASSERT_EQ(OpenDocument(raw.bytes(), &root), S_OK) << name;
    EXPECT_EQ(ElementPaths(root.get()), expected) << name;
  }
}

TEST(CfbRead, Version4WithDifatBeyondTheHeader) {
  // 110 FAT sectors of a version-4 file: the 110th is listed by a DIFAT sector. The directory
  // lies after them and a stream of 5000 bytes sits in the last sectors.
  const std::uint32_t fat_count = 110;
  RawCfb raw(4, fat_count + 4);
  std::vector<std::uint32_t> fat(fat_count);
  std::iota(fat.begin(), fat.end(), 1);  // sector 0 stays free
  raw.UseFat(fat, {fat_count + 1});
  raw.Header32(0x28, 1);
  raw.Header32(0x30, fat_count + 2);
  raw.Link(fat_count + 2, kEnd);
  raw.Chain({fat_count + 3, 0});  // the stream's second sector is the free-looking sector 0
  raw.Entry(fat_count + 2, 0, {u"Root Entry", 5, 1, kNone, kNone, 1, kEnd, 0});
  raw.Entry(fat_count + 2, 1, {u"Data", 2, 1, kNone, kNone, kNone, fat_count + 3, 5000});
  const std::vector<std::uint8_t> data = Pattern(5000, 3);
  std::copy(data.begin(), data.begin() + 4096, raw.Sector(fat_count + 3));
  std::copy(data.begin() + 4096, data.end(), raw.Sector(0));
  ComPtr<IStorage> root;
  ASSERT_EQ(OpenDocument(raw.bytes(), &root), S_OK);
  EXPECT_EQ(ReadStreamAt(root.get(), L"Data"), data);
  // A size near 2^64 is damage, never a count of sectors that wrapped around.
  raw.Entry(fat_count + 2, 1, {u"Data", 2, 1, kNone, kNone, kNone, fat_count + 3, ~0ull});
  ASSERT_EQ(OpenDocument(raw.bytes(), &root), S_OK);
  ComPtr<IStream> stream;
  EXPECT_EQ(root->OpenStream(L"Data", nullptr, kRead, 0, stream.Out()), STG_E_DOCFILECORRUPT);
}

// A wrong fixed header field, or damage to what every stream depends on, refuses the document
// (no stream named below); a damaged stream fails only its own opening, and the other stream
// reads whole.
TEST(CfbRead, DamageRefusesTheDocumentOrOnlyTheDamagedStream) {
  const struct {
    const char* name;
    std::function<void(RawCfb&)> damage;
    const wchar_t* damaged;
    HRESULT refused = STG_E_DOCFILECORRUPT;  // when the document is refused
  } cases[] = {
      {"signature", [](RawCfb& r) { r.bytes()[7] = 0xE0; }, nullptr, STG_E_FILEALREADYEXISTS},
      {"byte order", [](RawCfb& r) { r.Header16(0x1C, 0xFEFF); }, nullptr, STG_E_INVALIDHEADER},
      {"major 5", [](RawCfb& r) { r.Header16(0x1A, 5); }, nullptr, STG_E_INVALIDHEADER},
      {"version 3 with 4096-byte sectors", [](RawCfb& r) { r.Header16(0x1E, 12); }, nullptr, STG_E_INVALIDHEADER},
      {"mini shift 7", [](RawCfb& r) { r.Header16(0x20, 7); }, nullptr, STG_E_INVALIDHEADER},
      {"cutoff 2048", [](RawCfb& r) { r.Header32(0x38, 2048); }, nullptr, STG_E_INVALIDHEADER},
      {"directory chain loops", [](RawCfb& r) { r.Link(1, 1); }, nullptr},
      {"sibling loop", [](RawCfb& r) { r.Entry(1, 2, {u"Big", 2, 0, 1, kNone, kNone, 4, 4100}); }, nullptr},
      {"child points back at the root", [](RawCfb& r) { r.Entry(1, 2, {u"Big", 1, 0, kNone, kNone, 0, 0, 0}); }, nullptr},
      {"sibling index past the directory", [](RawCfb& r) { r.Entry(1, 2, {u"Big", 2, 0, 4000, kNone, kNone, 4, 4100}); }, nullptr},
      {"unused entry inside the tree", [](RawCfb& r) { r.Entry(1, 2, {u"Big", 0, 0}); }, nullptr},
      {"one name twice", [](RawCfb& r) { r.Entry(1, 2, {u"Small", 2, 0, kNone, kNone, kNone, 4, 4100}); }, nullptr},
      {"FAT count no file can have", [](RawCfb& r) { r.Header32(0x2C, 0xFFFFFFFF); }, nullptr},
      {"FAT sector out of range", [](RawCfb& r) { r.Header32(0x4C, 9999); }, nullptr},
      {"FAT count above the sectors listed", [](RawCfb& r) { r.Header32(0x2C, 12); }, nullptr},
      {"no directory", [](RawCfb& r) { r.Header32(0x30, kEnd); }, nullptr},
      {"first entry not the root", [](RawCfb& r) { r.Entry(1, 0, {u"Root Entry", 1, 1, kNone, kNone, 1}); }, nullptr},
      {"loop in a chain", [](RawCfb& r) { r.Link(6, 4); }, L"Big"},
      {"chain one sector short", [](RawCfb& r) { r.Link(11, kEnd); }, L"Big"},
      {"chain into a free sector", [](RawCfb& r) { r.Link(7, kFree); }, L"Big"},
      {"chain past the end of file", [](RawCfb& r) { r.Link(7, 5000); }, L"Big"},
      {"chain into the mini stream", [](RawCfb& r) { r.Link(8, 3); }, L"Big"},
      {"size beyond the file", [](RawCfb& r) { r.Entry(1, 2, {u"Big", 2, 0, kNone, kNone, kNone, 4, 0xFFFFFFFF}); }, L"Big"},
      {"loop in a mini chain", [](RawCfb& r) { Put(r.Sector(2) + 4, 1, 4); r.Entry(1, 1, {u"Small", 2, 1, 2, kNone, kNone, 0, 200}); }, L"Small"},
      {"mini sectors beyond the mini stream", [](RawCfb& r) { r.Entry(1, 1, {u"Small", 2, 1, 2, kNone, kNone, 7, 100}); }, L"Small"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RawCfb raw = SmallDocument();
    c.damage(raw);
    ComPtr<IStorage> root;
    ASSERT_EQ(OpenDocument(raw.bytes(), &root), c.damaged == nullptr ? c.refused : S_OK);
    if (c.damaged == nullptr) continue;
    ComPtr<IStream> stream;
    EXPECT_EQ(root->OpenStream(c.damaged, nullptr, kRead, 0, stream.Out()), STG_E_DOCFILECORRUPT);
    const bool big = c.damaged == std::wstring(L"Big");
    EXPECT_EQ(ReadStreamAt(root.get(), big ? L"Small" : L"Big"), big ? Pattern(100, 1) : Pattern(4100, 9));
  }
}

// Cut after every byte: the document opens once the root entry is whole, and each stream reads
// exactly when all its bytes lie before the cut (Small ends at 2148, Big at 6660).
TEST(CfbRead, DocumentCutAnywhereGivesEveryStreamBeforeTheCut) {
  const std::vector<std::uint8_t> whole = SmallDocument().bytes();
  for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
    SCOPED_TRACE(cut);
    ComPtr<IStorage> root;
    ASSERT_EQ(OpenDocument(std::vector<std::uint8_t>(whole.begin(), whole.begin() + cut), &root),
              cut < 512 ? STG_E_FILEALREADYEXISTS : cut < 1152 ? STG_E_DOCFILECORRUPT : S_OK);
    if (!root) continue;
    for (const auto& [name, end, data] : {std::tuple{L"Small", 2148u, Pattern(100, 1)}, {L"Big", 6660u, Pattern(4100, 9)}}) {
      ComPtr<IStream> stream;
      const HRESULT opened = root->OpenStream(name, nullptr, kRead, 0, stream.Out());
      ASSERT_EQ(SUCCEEDED(opened), cut >= end) << opened;
      std::vector<std::uint8_t> got;
      EXPECT_TRUE(!stream || (recfilereader::ReadWholeStream(stream.get(), &got) == S_OK && got == data));
    }
  }
}

// Documents other implementations wrote: each opens and reads whole (a stream shorter than its
// size fails the walk), a "TestStream_v<version>_<size>" document holds one stream of that
// boundary size, and with olefile installed the listing equals olefile's. Cut at a few places,
// each stream reads as before or fails to open as damaged, and every stream olefile still
// reads whole we read too.
TEST(CfbCorpus, DocumentsWholeAndCutReadAsOlefileReadsThem) {
  const std::filesystem::path corpus = SharedDir() / "corpus" / "compound";
  if (SharedDir().empty() || !std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus";
  const std::string python = PythonWithOlefile();
  int checked = 0;
  const auto has = [](const std::vector<Element>& v, const Element& e) { return std::find(v.begin(), v.end(), e) != v.end(); };
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (entry.path().extension() == ".md") continue;
    SCOPED_TRACE(entry.path().filename().string());
    const std::vector<std::uint8_t> bytes = ReadFileBytes(entry.path());
    const std::vector<Element> whole = ListDocument(bytes, true);
    const std::string stem = entry.path().stem().string();
    if (stem.starts_with("TestStream_v")) {
      ASSERT_EQ(whole.size(), 1u);
      EXPECT_EQ(std::to_string(whole[0].size), stem.substr(stem.rfind('_') + 1));
    }
    const std::vector<std::size_t> cuts = {bytes.size() - 1, bytes.size() - 512, bytes.size() * 3 / 4 + 7, bytes.size() / 2};
    std::map<std::size_t, std::vector<Element>> olefile;
    if (!python.empty()) {
      EXPECT_EQ(whole, OlefileListings(python, entry.path(), false)[bytes.size()]);
      olefile = OlefileListings(python, entry.path(), false, cuts);
    }
    for (const std::size_t cut : cuts) {
      std::vector<Element> kept;
      ComPtr<IStorage> root;
      if (SUCCEEDED(OpenDocument(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + cut), &root))) {
        EXPECT_EQ(WalkDocument(root.get(), &kept, true), S_OK);
      }
      for (const Element& e : kept) EXPECT_TRUE(e.storage || has(whole, e)) << e.path << " cut at " << cut;
      for (const Element& e : olefile[cut]) {
        EXPECT_TRUE(e.storage || !has(whole, e) || has(kept, e)) << e.path << " cut at " << cut;
      }
    }
    ++checked;
  }
  EXPECT_GT(checked, 20);
}

}  // namespace
}  // namespace rectest

// The header and directory-entry records, the element-name order and the sibling trees the
// writer builds.
namespace recfilereader::cfb {
namespace {


DirectoryEntry Decode(const rectest::RawEntry& e, std::uint16_t major, std::uint16_t length_field) {
  rectest::RawCfb raw(3, 1);
  raw.UseFat({});
  raw.Entry(0, 0, e);
  raw.Header16(512 + 0x40, length_field);
  return DirectoryEntry::DecodeFrom(std::span<const std::uint8_t, 128>(raw.bytes().data() + 512, 128), major);
}

TEST(CfbDirectoryEntry, NameEndsAtTerminatorWhenTheLengthFieldLiesAndEveryFieldEncodesAtItsOffset) {
  const rectest::RawEntry e{u"Stream", 2, 1, 7, 8, 9, 10, 0x1234};
  // No length, or an odd and too long one: the terminator decides; a shorter valid length wins.
  for (const auto& [length, name] : {std::pair{14, u"Stream"}, {0, u"Stream"}, {99, u"Stream"}, {8, u"Str"}}) {
    EXPECT_EQ(Decode(e, 3, static_cast<std::uint16_t>(length)).name, name) << length;
  }
  const rectest::RawEntry unterminated{std::u16string(32, u'\xFFFF'), 2};
  EXPECT_EQ(Decode(unterminated, 3, 0xFFFF).name, std::u16string(31, u'\xFFFF'));
  // Our own reader would accept a symmetric mistake, so the encoded bytes are checked directly.
  DirectoryEntry d;
  d.name = u"\x05SummaryInformation";
  d.type = kStorage;
  d.clsid = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
  d.state_bits = 0xA5;
  d.ctime = {1, 2};
  d.mtime = {3, 4};
  std::array<std::uint8_t, 128> b{};
  d.EncodeTo(b);
  // Name, name length, type, class identifier, state bits, high half of the creation time, low
  // half of the modification time.
  EXPECT_EQ((std::vector{b[0], b[0x40], b[0x42], b[0x50], b[0x51], b[0x52], b[0x53], b[0x60], b[0x68], b[0x6C]}),
            (std::vector<std::uint8_t>{5, 2 * 20, 1, 4, 3, 2, 1, 0xA5, 2, 3}));
}

TEST(CfbNames, OrderIsLengthFirstThenUpperCased) {
  const std::vector<std::u16string> ordered = {
      u"9", u"b", u"10", u"aa", u"AB", u"a_", u"Zz", u"100", u"Root", u"__blob_stream_#0",
      u"__string_stream_#0", u"__string_stream_#10", u"\x05" u"Bdlz2yf4CmxcuqcuGjbhlgshEc"};
  for (std::size_t i = 0; i + 1 < ordered.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_LT(CompareNames(ordered[i], ordered[i + 1]), 0);
    EXPECT_GT(CompareNames(ordered[i + 1], ordered[i]), 0);
  }
  // Each name equals its simple upper case, beyond the scripts of the first 1024 code points.
  const std::pair<std::u16string, std::u16string> same[] = {
      {u"Device", u"DEVICE"}, {u"été", u"ÉTÉ"}, {u"ōsaka", u"ŌSAKA"}, {u"łódź", u"ŁÓDŹ"},
      {u"ｆｕｌｌ", u"ＦＵＬＬ"}, {u"հայ", u"ՀԱՅ"}, {u"µ", u"Μ"}, {u"ı", u"I"}, {u"ſ", u"S"}};
  for (const auto& [a, b] : same) EXPECT_EQ(CompareNames(a, b), 0) << static_cast<int>(a[0]);
  EXPECT_LT(CompareNames(u"Ā", u"µ"), 0) << "µ sorts as its capital, U+039C";
}

// Checks search order, no red child of a red node and one black height; counts the nodes.
int BlackHeight(const std::vector<SiblingLinks>& t, int node, int lo, int hi, bool parent_red, int* count) {
  if (node < 0) return 1;
  ++*count;
  EXPECT_GE(node, lo);
  EXPECT_LE(node, hi);
  const bool red = t[node].red;
  EXPECT_FALSE(red && parent_red) << "red under red at " << node;
  const int left = BlackHeight(t, t[node].left, lo, node - 1, red, count);
  const int right = BlackHeight(t, t[node].right, node + 1, hi, red, count);
  EXPECT_EQ(left, right) << "black heights differ under " << node;
  return left + (red ? 0 : 1);
}

TEST(CfbSiblingTree, IsAValidRedBlackTreeForEveryCount) {
  for (int n = 1; n <= 300; ++n) {
    SCOPED_TRACE(n);
    int root = -1;
    const std::vector<SiblingLinks> tree = BuildSiblingTree(n, &root);
    ASSERT_GE(root, 0);
    EXPECT_FALSE(tree[root].red);
    int reached = 0;
    BlackHeight(tree, root, 0, n - 1, false, &reached);
    EXPECT_EQ(reached, n);
  }
}

}  // namespace
}  // namespace recfilereader::cfb
