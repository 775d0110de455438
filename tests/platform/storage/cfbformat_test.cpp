// The header and directory-entry records, the element-name order and the sibling trees the
// writer builds.
#include "platform/storage/cfbformat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <tuple>

#include "platform/hresults.h"
#include "platform/storage/compoundwriter.h"
#include "rawcfb.h"
#include "storagetestutil.h"

namespace recfilereader::cfb {
namespace {

// What opening `bytes` as a document gives.
HRESULT DecodeResult(const std::vector<std::uint8_t>& bytes) {
  ComPtr<IStorage> root;
  return rectest::OpenDocument(bytes, &root);
}

TEST(CfbHeader, RejectsWrongFixedFields) {
  const std::tuple<const char*, int, int, std::uint32_t, HRESULT> cases[] = {  // field, offset, width, value, result
      {"signature", 7, 1, 0xE0, STG_E_FILEALREADYEXISTS},      {"byte order", 0x1C, 2, 0xFEFF, STG_E_INVALIDHEADER},
      {"major 5", 0x1A, 2, 5, STG_E_INVALIDHEADER},             {"v3 with 4096-byte sectors", 0x1E, 2, 12, STG_E_INVALIDHEADER},
      {"mini shift 7", 0x20, 2, 7, STG_E_INVALIDHEADER},        {"cutoff 2048", 0x38, 4, 2048, STG_E_INVALIDHEADER}};
  for (const auto& [name, offset, width, value, expected] : cases) {
    rectest::RawCfb raw(3, 0);
    rectest::Put(raw.bytes().data() + offset, value, width);
    EXPECT_EQ(DecodeResult(raw.bytes()), expected) << name;
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
  // No length, or an odd and too long one: the terminator decides; a shorter valid length wins.
  for (const auto& [length, name] : {std::pair{14, u"Stream"}, {0, u"Stream"}, {99, u"Stream"}, {8, u"Str"}}) {
    EXPECT_EQ(Decode(e, 3, static_cast<std::uint16_t>(length)).name, name) << length;
  }
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
  std::array<std::uint8_t, 128> b{};
  e.EncodeTo(b);
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
