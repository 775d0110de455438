#include "container/recstream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "base/exceptions.h"
#include "container/memstream.h"
#include "support/recbuilder.h"

namespace recfilereader {
namespace {

using rectest::BlockSpec;
using rectest::PlainPayload;
using rectest::RecBuilder;

constexpr std::uint32_t kEntry = 524288;
constexpr std::size_t kWindow = 262176;

enum class Cache { kOff, kOn, kWithWorker };

// Runs with the cache off, on, and on with its worker reading ahead and evicting (about four
// entries of the sample recording are held at a time).
class RecStreamTest : public ::testing::TestWithParam<Cache>, protected rectest::MemStream {
 protected:
  CRecStream& Open(const std::vector<std::uint8_t>& bytes) {
    owner.SetCache(kEntry, GetParam() == Cache::kOff ? 0 : GetParam() == Cache::kOn ? 8 * kEntry : 2 * kEntry,
                   false, 0.9);
    return MemStream::Open(L"r", &bytes, GetParam() == Cache::kWithWorker);
  }
};

// A builder that has laid down a 48-byte file header; the next block starts at 80.
RecBuilder Headed() {
  RecBuilder b;
  b.Add({.type = 0xCBBF, .payload = PlainPayload(48, 1)});
  return b;
}

std::vector<std::uint8_t> HeadedThen(const BlockSpec& block) {
  RecBuilder b = Headed();
  b.Add(block);
  return b.bytes();
}

// A small recording: file header, configuration, data blocks of several sizes (one spanning
// cache entries), navigation, metadata with back links nobody keeps up, end block. Most data
// blocks carry a hostile back link that a backward walk must not follow, as it names no block
// ending where the walk stands: too short to span a header, into the payload before, one byte
// off, onto an older block.
RecBuilder SampleFile() {
  RecBuilder b = Headed();
  b.Add({.type = 0xCBF1, .payload = PlainPayload(1000, 2)});
  const struct {
    std::size_t size;
    std::optional<std::uint32_t> prev_size;
  } data[] = {{0, {}}, {1, 0}, {100, 1}, {2'600'000, 31}, {72, 32}, {10, 33}, {20, 43}, {5, 52 + 42}, {8, {}}};
  for (std::uint64_t sequence = 0; sequence < std::size(data); ++sequence) {
    b.Add({.type = 0xDAB1, .sequence = sequence, .link = 1000 + sequence, .tag = 3,
           .payload = PlainPayload(data[sequence].size, static_cast<std::uint8_t>(sequence)),
           .prev_size = data[sequence].prev_size});
  }
  b.Add({.type = 0xCB0F, .payload = PlainPayload(64, 9)});
  b.Add({.type = 0xCB9D, .payload = PlainPayload(40, 10), .prev_size = 0x7777});
  b.Add({.type = 0xCB9E, .payload = PlainPayload(30, 11), .prev_size = 0});
  b.Add({.type = 0xCBEF, .payload = PlainPayload(40, 12)});
  return b;
}

// The header read back encodes to the builder's bytes, and the payload is the builder's.
void ExpectBlockAt(const RecBuilder& b, std::size_t index, const RecBlock& block) {
  const auto at = [&](std::uint64_t offset) { return b.bytes().begin() + static_cast<std::ptrdiff_t>(offset); };
  const std::uint64_t offset = b.offsets()[index];
  const std::uint64_t next = index + 1 < b.offsets().size() ? b.offsets()[index + 1] : b.bytes().size();
  EXPECT_EQ(block.Offset, offset);
  EXPECT_EQ(block.Next, next);
  std::uint8_t header[32];
  block.header.EncodeTo(header);
  EXPECT_EQ(std::vector<std::uint8_t>(header, header + 32), std::vector<std::uint8_t>(at(offset), at(offset + 32)));
  EXPECT_EQ(std::vector<std::uint8_t>(block.payload.data(), block.payload.data() + block.payload.size()),
            std::vector<std::uint8_t>(at(offset + 32), at(next)));
}

// The sample file, then small blocks around payloads larger than what the stream reads ahead:
// walks both ways read every block, crossing refills at both ends of its window, and a large
// payload either bypasses it whole or is left in the file beyond the head a walk keeps and
// fetched later, with the next header coming along.
TEST_P(RecStreamTest, WalksReadEveryBlockForwardAndBackward) {
  RecBuilder b = SampleFile();
  for (std::uint64_t i = 1; i < 5000; ++i) {
    const std::size_t size = i == 2500 ? CRecStream::kReadAheadWindow + 5 : i % 1000 == 0 ? 20'000 : i % 97;
    b.Add({.type = kBlockData, .sequence = i, .payload = PlainPayload(size, static_cast<std::uint8_t>(i))});
  }
  CRecStream& s = Open(b.bytes());
  RecBlock block;
  const auto read = [&](ULONG direction, std::uint32_t keep_head) {
    if (keep_head == CRecStream::kWholePayload) return s.ReadBlock(direction, block);  // as a host reads
    direction == kBlockForward ? s.ReadBlockForward(block, keep_head) : s.ReadBlockBackward(block, keep_head);
  };
  const auto expect_block = [&](std::size_t i) {
    if (block.deferred == 0) return ExpectBlockAt(b, i, block);
    std::vector<std::uint8_t> whole(block.payload.data(), block.payload.data() + block.payload.size());
    whole.resize(whole.size() + block.deferred);
    const IoSpan rest{whole.data() + block.payload.size(), block.deferred};
    const std::uint64_t position = s.GetPosition();
    s.ReadPayloadAt(block.Offset + 32 + block.payload.size(), {&rest, 1});
    EXPECT_EQ(s.GetPosition(), position);
    const auto at = b.bytes().begin() + static_cast<std::ptrdiff_t>(block.Offset + 32);
    EXPECT_EQ(whole, std::vector<std::uint8_t>(at, at + static_cast<std::ptrdiff_t>(whole.size())));
  };
  for (const std::uint32_t keep_head : {CRecStream::kWholePayload, 72u}) {
    s.SetPosition(0);
    for (std::size_t i = 0; i < b.offsets().size(); ++i) {
      read(kBlockForward, keep_head);
      expect_block(i);
      ASSERT_EQ(s.GetPosition(), block.Next) << i;
    }
    EXPECT_THROW(read(kBlockForward, keep_head), exception_rec_invalid_offset);
    EXPECT_EQ(s.GetPosition(), s.GetFileSize());
    for (std::size_t i = b.offsets().size(); i-- > 0;) {
      read(kBlockBackward, keep_head);
      expect_block(i);
      ASSERT_EQ(s.GetPosition(), block.Offset) << i;
    }
    read(kBlockBackward, keep_head);  // the first block links back to itself
    EXPECT_EQ(block.Offset, 0u);
  }
  s.ReadBlock(2, block);  // no such direction: nothing happens
  EXPECT_EQ(s.GetPosition(), 0u);
  s.CloseFile();
  EXPECT_TRUE(owner.Reports().empty());
}

// Every failed read raises its text and leaves the position and the caller's buffer alone.
TEST_P(RecStreamTest, FailedReadsRaiseAndLeaveThePositionAndBuffer) {
  const std::vector<std::uint8_t> sample = SampleFile().bytes();
  const std::uint64_t size = sample.size();
  RecBuilder deep = Headed();
  deep.AddRaw(PlainPayload(21u << 20, 5));
  const std::wstring corrupted = L"Recording corrupted", beyond = L"Read request beyond the end of the file";
  const struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::uint64_t position;
    ULONG direction;
    std::wstring text;  // what the raised text begins with
  } cases[] = {
      {"longest payload", HeadedThen({.type = 0xDAB1, .payload = PlainPayload(10, 1), .data_length = 104857600}),
       80, kBlockForward, beyond},
      {"payload too long", HeadedThen({.type = 0xDAB1, .payload = PlainPayload(10, 1), .data_length = 104857601}),
       80, kBlockForward, L"Recording is corrupted, offset = 80"},
      {"header size 31", HeadedThen({.type = 0xDAB1, .payload = PlainPayload(10, 1), .header_size = 31}), 80,
       kBlockForward, L"Recording is corrupted, offset = 80"},
      {"file ends inside", HeadedThen({.type = 0xDAB1, .payload = PlainPayload(10, 1), .data_length = 11}), 80,
       kBlockForward, beyond},
      {"header past the end", sample, size - 31, kBlockForward, beyond},
      {"following header past the end", sample, size - 31, kBlockBackward, beyond},
      {"far past the end", sample, ~0ull - 10, kBlockForward, beyond},
      {"far past the end, backward", sample, ~0ull - 10, kBlockBackward, beyond},
      {"empty file", {}, 0, kBlockBackward, corrupted},
      {"shorter than a header", PlainPayload(31, 1), 31, kBlockBackward, corrupted},
      {"no header at all", PlainPayload(300000, 2), 300000, kBlockBackward, corrupted},
      {"no header within 20 MiB", deep.bytes(), deep.bytes().size(), kBlockBackward, corrupted},
      {"back link before the file", HeadedThen({.type = 0xDAB1, .payload = PlainPayload(8, 1), .prev_size = 500}),
       80, kBlockBackward, corrupted},
      {"damaged following header", HeadedThen({.type = 0xDAB1, .payload = PlainPayload(8, 1), .header_size = 33}),
       80, kBlockBackward, corrupted},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CRecStream& s = Open(c.bytes);
    s.SetPosition(c.position);
    RecBlock block;
    ASSERT_TRUE(block.payload.Resize(16));
    try {
      s.ReadBlock(c.direction, block);
      ADD_FAILURE() << "read";
    } catch (const exception_rec& e) {
      EXPECT_EQ(e.wtext().substr(0, c.text.size()), c.text);
    }
    EXPECT_EQ(s.GetPosition(), c.position);
    EXPECT_EQ(block.payload.capacity(), 16u);
  }
}

// From the end of the file the scan takes the nearest header-like bytes below: on either side
// of the 32 bytes by which its windows overlap, 19 MiB down, or inside a payload.
TEST_P(RecStreamTest, ScanTakesTheNearestHeaderLikeBytesBelow) {
  RecBuilder bare;
  bare.Add({.type = 0xDAB1, .payload = {}});
  std::vector<std::uint8_t> hiding = PlainPayload(8, 2);
  hiding.insert(hiding.end(), bare.bytes().begin(), bare.bytes().end());
  const struct {
    std::vector<std::uint8_t> payload;
    std::uint64_t found;  // from the last block's header
  } cases[] = {{PlainPayload(kWindow - 33, 4), 0}, {PlainPayload(kWindow - 32, 4), 0},
               {PlainPayload(kWindow - 31, 4), 0}, {PlainPayload(kWindow - 16, 4), 0},
               {PlainPayload(kWindow + 100, 4), 0}, {PlainPayload(3 * kWindow, 4), 0},
               {PlainPayload(19u << 20, 4), 0}, {hiding, 32 + 8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.payload.size());
    RecBuilder b = Headed();
    b.AddRaw(PlainPayload(1000, 3));
    const std::uint64_t last = b.Add({.type = 0xCB6E, .payload = c.payload});
    CRecStream& s = Open(b.bytes());
    s.SetPosition(s.GetFileSize());
    RecBlock block;
    s.ReadBlock(kBlockBackward, block);
    EXPECT_EQ(block.Offset, last + c.found);
    EXPECT_EQ(s.GetPosition(), last + c.found);
  }
}

// What the stream remembers or read ahead must not hide bytes then written, appended or cut
// through it: a header it met (a forward read with the cache off brings the next one along)
// and a payload, both rewritten, a block appended, the file cut.
TEST_P(RecStreamTest, BytesWrittenAfterAReadAreWhatIsReadBack) {
  RecBuilder b = Headed();
  b.Add({.type = kBlockData, .payload = PlainPayload(100, 2)});
  const std::uint64_t second = b.bytes().size();
  b.Add({.type = kBlockData, .payload = PlainPayload(50, 3)});
  CRecStream& s = Open(b.bytes());
  RecBlock block;
  s.SetPosition(second);
  s.ReadBlockForward(block);
  RecBlockHeader rewritten = block.header;
  s.SetPosition(80);
  s.ReadBlockForward(block);  // meets the second header again
  rewritten.Type = kBlockFiller;
  std::uint8_t raw[kBlockHeaderSize];
  rewritten.EncodeTo(raw);
  s.SetPosition(second);
  s.WriteData(raw, kBlockHeaderSize);
  const std::vector<std::uint8_t> patch = PlainPayload(10, 9);
  s.SetPosition(80 + 32);
  s.WriteData(patch.data(), 10);
  s.SetPosition(second);
  s.ReadBlockForward(block);
  EXPECT_EQ(block.header.Type, kBlockFiller);
  s.ReadBlockBackward(block);
  EXPECT_EQ(std::pair(block.header.Type, block.Offset), std::pair(std::uint16_t{kBlockFiller}, second));
  s.SetPosition(80);
  s.ReadBlockForward(block);
  EXPECT_EQ(std::vector<std::uint8_t>(block.payload.data(), block.payload.data() + 10), patch);
  const std::uint64_t old_end = s.GetFileSize();
  RecBlock added;
  added.header.Type = kBlockData;
  ASSERT_TRUE(added.payload.Resize(40));
  std::fill_n(added.payload.data(), 40, std::uint8_t{0});  // no header-like bytes for the scan from the end
  s.SetPosition(old_end);
  RecBlockChainWriter(82).Write(s, added);
  s.ReadBlockBackward(block);  // from the new end
  EXPECT_EQ(std::pair(block.Offset, block.header.DataLength), std::pair(old_end, std::uint32_t{40}));
  s.SetEndOfFile();
  EXPECT_THROW(s.ReadBlockForward(block), exception_rec_invalid_offset);
}

INSTANTIATE_TEST_SUITE_P(CacheModes, RecStreamTest, ::testing::Values(Cache::kOff, Cache::kOn, Cache::kWithWorker));

}  // namespace
}  // namespace recfilereader
