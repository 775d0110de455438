// The header and directory-entry records, the element-name order and the sibling trees the
// writer builds.
#include "platform/storage/cfbformat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <span>
#include <tuple>

#include "base/exceptions.h"
#include "platform/hresults.h"
#include "platform/storage/compoundwriter.h"
#include "rawcfb.h"

namespace recfilereader::cfb {
namespace {

HRESULT DecodeResult(const std::vector<std::uint8_t>& bytes) {
  try {
    Header::DecodeFrom(bytes);
    return S_OK;
  } catch (const com_error& e) {
    return e.Error();
  }
}

// One hand-built 512-byte header with a distinct value in every field.
std::vector<std::uint8_t> HandBuiltHeader() {
  rectest::RawCfb raw(3, 0);
  raw.Header16(0x18, 0x0021);
  raw.Header32(0x28, 0x11111111);
  raw.Header32(0x2C, 0x00000107);
  raw.Header32(0x30, 0x00000033);
  raw.Header32(0x34, 0x00000005);
  raw.Header32(0x3C, 0x00000044);
  raw.Header32(0x40, 0x00000002);
  raw.Header32(0x44, 0x00000077);
  raw.Header32(0x48, 0x00000001);
  for (std::uint32_t i = 0; i < 109; ++i) raw.Header32(0x4C + 4 * i, 1000 + i);
  return std::vector<std::uint8_t>(raw.bytes().begin(), raw.bytes().begin() + 512);
}

// Decoding checks each field at its own offset; encoding must give back the very same bytes.
TEST(CfbHeader, HandBuiltSectorDecodesFieldByFieldAndEncodesToTheSameBytes) {
  const std::vector<std::uint8_t> original = HandBuiltHeader();
  const Header h = Header::DecodeFrom(original);
  EXPECT_EQ(std::tuple(h.minor_version, h.major_version, h.sector_shift, h.mini_sector_shift, h.directory_sector_count,
                       h.fat_sector_count, h.first_directory_sector, h.transaction_signature, h.mini_stream_cutoff),
            std::tuple(0x21, 3, 9, 6, 0x11111111u, 0x107u, 0x33u, 5u, 4096u));
  EXPECT_EQ(std::tuple(h.first_mini_fat_sector, h.mini_fat_sector_count, h.first_difat_sector, h.difat_sector_count,
                       h.difat[0], h.difat[108]),
            std::tuple(0x44u, 2u, 0x77u, 1u, 1000u, 1108u));
  std::array<std::uint8_t, 512> encoded{};
  h.EncodeTo(encoded);
  EXPECT_TRUE(std::equal(encoded.begin(), encoded.end(), original.begin()));
}

TEST(CfbHeader, RejectsWrongFixedFields) {
  struct Case {
    const char* name;
    std::function<void(rectest::RawCfb&)> damage;
    HRESULT expected;
  };
  const Case cases[] = {
      {"signature", [](rectest::RawCfb& r) { r.bytes()[7] = 0xE0; }, STG_E_FILEALREADYEXISTS},
      {"byte order", [](rectest::RawCfb& r) { r.Header16(0x1C, 0xFEFF); }, STG_E_INVALIDHEADER},
      {"major 5", [](rectest::RawCfb& r) { r.Header16(0x1A, 5); }, STG_E_INVALIDHEADER},
      {"v3 with 4096-byte sectors", [](rectest::RawCfb& r) { r.Header16(0x1E, 12); }, STG_E_INVALIDHEADER},
      {"mini shift 7", [](rectest::RawCfb& r) { r.Header16(0x20, 7); }, STG_E_INVALIDHEADER},
      {"cutoff 2048", [](rectest::RawCfb& r) { r.Header32(0x38, 2048); }, STG_E_INVALIDHEADER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rectest::RawCfb raw(3, 0);
    c.damage(raw);
    EXPECT_EQ(DecodeResult(raw.bytes()), c.expected);
  }
  EXPECT_EQ(DecodeResult(std::vector<std::uint8_t>(100, 0)), STG_E_FILEALREADYEXISTS);
}

DirectoryEntry Decode(const rectest::RawEntry& e, std::uint16_t major, std::uint16_t length_field) {
  rectest::RawCfb raw(3, 1);
  raw.UseFat({});
  raw.Entry(0, 0, e);
  raw.Header16(512 + 0x40, length_field);
  return DirectoryEntry::DecodeFrom(std::span<const std::uint8_t, 128>(raw.bytes().data() + 512, 128), major);
}

TEST(CfbDirectoryEntry, NameEndsAtTerminatorWhenTheLengthFieldLies) {
  const rectest::RawEntry e{u"Stream", 2, 1, 7, 8, 9, 10, 0x1234};
  EXPECT_EQ(Decode(e, 3, 14).name, u"Stream");
  EXPECT_EQ(Decode(e, 3, 0).name, u"Stream");    // no length: the terminator decides
  EXPECT_EQ(Decode(e, 3, 99).name, u"Stream");   // odd and too long
  EXPECT_EQ(Decode(e, 3, 8).name, u"Str");       // a shorter valid length wins
  const rectest::RawEntry unterminated{std::u16string(32, u'\xFFFF'), 2};
  EXPECT_EQ(Decode(unterminated, 3, 0xFFFF).name, std::u16string(31, u'\xFFFF'));
}

// Our own reader would accept a symmetric mistake, so the encoded bytes are checked directly.
TEST(CfbDirectoryEntry, EncodesNameLengthTypeAndClassIdentifierAtTheirOffsets) {
  DirectoryEntry e;
  e.name = u"\x05SummaryInformation";
  e.type = kStorage;
  e.clsid = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
  e.state_bits = 0xA5;
  e.ctime = {1, 2};
  e.mtime = {3, 4};
  std::array<std::uint8_t, 128> bytes{};
  e.EncodeTo(bytes);
  EXPECT_EQ(bytes[0], 5);
  EXPECT_EQ(bytes[0x40], 2 * (e.name.size() + 1));
  EXPECT_EQ(bytes[0x42], 1);
  EXPECT_EQ((std::vector<std::uint8_t>(bytes.begin() + 0x50, bytes.begin() + 0x54)), (std::vector<std::uint8_t>{4, 3, 2, 1}));
  EXPECT_EQ(bytes[0x60], 0xA5);
  EXPECT_EQ(bytes[0x68], 2);  // high half of the creation time
  EXPECT_EQ(bytes[0x6C], 3);  // low half of the modification time
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
