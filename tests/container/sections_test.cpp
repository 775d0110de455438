#include "container/markersloader.h"
#include "container/markerswriter.h"
#include "container/navigationtable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <random>
#include <string>

#include "base/exceptions.h"
#include "container/memstream.h"
#include "container/recstream.h"
#include "host/tempfilesmgrwrp.h"
#include "platform/bytes.h"
#include "platform/textconv.h"
#include "properties/propvalue.h"
#include "support/sectionbuilder.h"

namespace recfilereader {
namespace {

using namespace rectest;

constexpr std::uint32_t kAudio = 0x710A0000;
constexpr std::uint32_t kList = 0x710FFFFF;
const BlockSpec kFileHeader{.type = 0xCBBF, .payload = Bytes(48)};
const BlockSpec kEndBlock{.type = 0xCBEF, .payload = Bytes(40)};

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

RecBlock Block(const Bytes& payload) {
  RecBlock block;
  EXPECT_TRUE(block.payload.Resize(payload.size()));
  std::ranges::copy(payload, block.payload.data());
  return block;
}

// "timestamp:description" per marker, with "+avi" for an AVI audio comment.
std::string Summary(const MarkerSet& markers) {
  std::string out;
  for (const auto& [timestamp, properties] : markers) {
    const auto text = properties.find(L"Description");
    const auto audio = properties.find(L"AudioComment");
    out += (out.empty() ? "" : " ") + std::to_string(timestamp) + ":";
    if (text != properties.end()) out += WideToUtf8(GetPropWString(text->second.get()));
    if (audio != properties.end() && std::memcmp(audio->second->blob.pBlobData, "RIFF", 4) == 0) out += "+avi";
  }
  return out;
}

// The stream over a file of the builder's bytes, with the cache's worker.
class SectionsTest : public ::testing::Test, protected MemStream {
 protected:
  CRecStream& Open(const wchar_t* name, const Bytes* bytes) { return MemStream::Open(name, bytes, true); }
};

// Each case lays its section down after the file header and the stand-alone records, reads it
// as navigation data or markers data and compares what was read, also when reading fails.
TEST_F(SectionsTest, ReadsSectionsAndKeepsWhatWasReadBeforeDamage) {
  const Bytes stand_alone[] = {MarkerInfoRecord({40, 0x71030000, Text("far")}),
                               MarkerInfoRecord({41, kAudio, Audio(16)}), MarkerInfoRecord({42, kAudio, Bytes(17)}),
                               MarkerInfoRecord({.timestamp = 43, .data = Text("x"), .length = 1 << 30}),
                               MarkerInfoRecord({44, kList, OffsetList({80})})};
  std::vector<std::uint64_t> at;
  Bytes records;
  for (const Bytes& r : stand_alone) {
    at.push_back(80 + records.size());
    records.insert(records.end(), r.begin(), r.end());
  }
  const auto list = [](std::vector<std::uint64_t> at) { return MarkerInfoBlock({{1, kList, OffsetList(at)}}); };
  const auto nav = NavigationBlock({{0, 1}, {10, 100}, {20, 200}}, 2);
  const wchar_t* const kEndOfNavigation = L"Reached end of file, navigation data was not loaded completely";
  const wchar_t* const kPastEnd = L"Read request beyond the end of the file";
  const wchar_t* const kCorrupted = L"Recording corrupted";
  const struct {
    const char* name;
    bool navigation;  // else markers
    std::vector<BlockSpec> section;
    const char* read;
    const wchar_t* error = nullptr;  // what the failure's text starts with
    std::uint64_t start_shift = 0;
  } cases[] = {
      {"navigation: fillers between blocks, first offset kept, timestamp 0 dropped, trailing bytes ignored", true,
       {nav, {.type = 0xCBFA}, NavigationBlock({{20, 999}, {5, 50}}), kEndBlock}, "5@50 10@100 20@200"},
      {"navigation: a block of an unknown type ends the run", true, {nav, {.type = 0x1234}, nav}, "10@100 20@200"},
      {"navigation: runs to the end", true, {nav}, "0@1 10@100 20@200", kEndOfNavigation},
      {"navigation: cut in a block", true, {nav, {.type = 0xCB0F, .data_length = 8}}, "0@1 10@100 20@200", kPastEnd},
      {"navigation: offset at the end", true, {}, "", kEndOfNavigation},
      {"navigation: offset past the end", true, {}, "", L"Navigation data offset is invalid", 1},
      {"markers, fillers and descriptions, one naming no marker yet", false,
       {MarkerBlock(20), {.type = 0xCBFA}, MarkerBlock(10),
        MarkerInfoBlock({{10, 0x71030000, Text("ten")}, {30, 0x71030000, Text({"thirty\0junk", 11})}}), kEndBlock},
       "10:ten 20: 30:thirty"},
      {"a marker block of 31 bytes is passed over", false, {MarkerBlock(5, 0, 31), MarkerBlock(6), kEndBlock}, "6:"},
      {"one empty record; unknown kinds ignored", false, {MarkerInfoBlock({{8, 0x1234, {1}}, {7}}), kEndBlock}, "7:"},
      {"inline audio: 18 bytes make an AVI, 17 are dropped", false,
       {MarkerInfoBlock({{1, kAudio, Audio(0)}, {2, kAudio, Bytes(17)}, {2, 0x71030000, Text("b")}}), kEndBlock},
       "1:+avi 2:b"},
      {"stand-alone records, position kept", false, {list({at[0], at[1], at[4]}), MarkerBlock(99), kEndBlock},
       "40:far 41:+avi 99:"},
      {"stand-alone audio of 17 bytes", false, {list({at[2]})}, "",
       L"Audio data size is less then size of WAVEFORMATEX (File: markersloader"},
      {"stand-alone data past the file", false, {list({at[3]})}, "", kPastEnd},
      {"stand-alone offset past the file", false, {list({1 << 20})}, "", kPastEnd},
      {"stand-alone end mark", false, {list({0xE0F0E0F0E0F0E0F0ull})}, "", kCorrupted},
      {"stand-alone without its mark", false, {list({at[0] + 1})}, "", kCorrupted},
      {"one record listed over and over", false, {list(std::vector(999, at[0]))}, "40:far", kCorrupted},
      {"data one byte past the block", false, {MarkerBlock(3), MarkerInfoBlock({{.data = Text("ab"), .length = 3}})},
       "3:", kCorrupted},
      {"a record without its mark", false, {MarkerInfoBlock({{.mark = 0x71717170}})}, "", kCorrupted},
      {"a block shorter than a record header", false, {{.type = 0xCB61, .payload = Bytes(19)}}, "", kCorrupted},
      {"markers cut by the end of the file", false, {MarkerBlock(4)}, "4:", kPastEnd},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecBuilder b;
    b.Add(kFileHeader);
    b.AddRaw(records);
    for (const BlockSpec& block : c.section) b.Add(block);
    const std::uint64_t start = 80 + records.size() + c.start_shift;
    NavigationMap map;
    MarkerSet markers;
    try {
      if (c.navigation) ReadNavigationData(Open(L"r", &b.bytes()), start, map);
      if (!c.navigation) CMarkersLoader(&owner, Open(L"r", &b.bytes()), markers).LoadMarkersData(start);
      EXPECT_EQ(c.error, nullptr);
    } catch (const wexception& e) {
      EXPECT_TRUE(c.error != nullptr && e.wtext().starts_with(c.error)) << e.what();
    }
    std::string read = Summary(markers);
    for (const auto& [time, offset] : map) read += (read.empty() ? "" : " ") + std::to_string(time) + "@" + std::to_string(offset);
    EXPECT_EQ(read, c.read);
  }
}

TEST_F(SectionsTest, OldFilesSubtractTheBaseAndDescribeTheEarliestMarker) {
  MarkerSet early, late;
  CMarkersLoader(&owner, Open(L"r", &kFileHeader.payload), early).ApplyMarkerInfoBlockV10(Block({'z', 0, 'e', 0}));
  CMarkersLoader loader(&owner, *stream, late);
  EXPECT_TRUE(loader.AddMarkerBlock(Block(MarkerBlock(20, true).payload), true));
  EXPECT_FALSE(loader.AddMarkerBlock(Block(MarkerBlock(15, true, 33).payload), true));
  EXPECT_TRUE(loader.AddMarkerBlock(Block(MarkerBlock(10, true).payload), true));
  loader.ApplyMarkerInfoBlockV10(Block({'1', 0, 's', 0, 't'}));
  NavigationMap map{{3, 1}};  // offsets are stored plus the base
  AddNavigationRecords(Block(NavigationBlock({{3, 1096}, {4, 1200}}).payload), 1000, map);
  EXPECT_EQ(map, (NavigationMap{{3, 1}, {4, 200}}));
  EXPECT_EQ(Summary(early) + " " + Summary(late), "0:ze 10:1s 20:");
}

// Our writer's sections read back equal; navigation blocks carry the builder's bytes, link to
// the system block before them, and a table too large for one block goes on in more. With no
// markers, the markers section is where the next block is.
TEST_F(SectionsTest, WrittenSectionsReadBack) {
  NavigationMap large;
  for (std::uint64_t i = 1; i <= 70'000; ++i) large.Add(i * 3, i * 1000);  // two staging rounds
  const std::uint32_t kAll = kMaxNavigationRecordsPerBlock;
  const struct {
    NavigationMap map;
    std::uint32_t per_block;
    MarkerSet markers;
    const char* summary;
  } cases[] = {{{}, kAll, {}, ""},
               {{{42, 4242}}, kAll, {{-5, {}}, {10, {}}, {1LL << 40, {}}}, "-5: 10: 1099511627776:"},
               {large, kAll, {}, ""},
               {{{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}}, 2, {}, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.map.size());
    const std::wstring name = L"w" + std::to_wstring(c.map.size());
    RecBlockChainWriter writer;
    RecBlock header, end;
    end.header.Type = kBlockEnd;
    writer.Write(Open(name.c_str(), nullptr), header);
    const std::uint64_t navigation = WriteNavigationTable(*stream, writer, c.map, c.per_block);
    const std::uint64_t markers = WriteMarkersData(*stream, writer, c.markers);
    writer.Write(*stream, end);
    const Bytes bytes = files.Bytes(name);
    EXPECT_EQ(LoadLe64(bytes.data() + 16), navigation);
    if (c.per_block > c.map.size()) {
      const Bytes expected = NavigationBlock({c.map.begin(), c.map.end()}).payload;
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin() + 64, bytes.begin() + markers));
    }
    NavigationMap map;
    MarkerSet read;
    ReadNavigationData(Open(L"r", &bytes), navigation, map);
    CMarkersLoader(&owner, *stream, read).LoadMarkersData(markers);
    EXPECT_EQ(map, c.map);
    EXPECT_EQ(Summary(read), c.summary);
  }
}

// A hostile block sorts once, well within the minutes a sorted insertion each would take:
// 300,000 records descending, every timestamp twice, the later arrival with another offset. A
// block whose read fails part way adds nothing, not even its entry for timestamp 0, which a
// table cut short keeps.
TEST_F(SectionsTest, AHostileNavigationBlockIsSortedOnceAndAFailedOneAddsNothing) {
  std::vector<std::pair<std::uint64_t, std::uint64_t>> records{{0, 77}};
  for (std::uint64_t pass = 0; pass < 2; ++pass)
    for (std::uint64_t t = 150'000; t > 0; --t) records.emplace_back(t, t + pass);
  RecBuilder b;
  b.Add(kFileHeader);
  b.Add(NavigationBlock({{5, 9}}));
  b.Add(NavigationBlock(records));  // five staging rounds
  b.Add(kEndBlock);
  NavigationMap map;
  const auto start = std::chrono::steady_clock::now();
  ReadNavigationData(Open(L"r", &b.bytes()), 80, map);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(map.size(), 150'000u);
  EXPECT_TRUE(std::ranges::is_sorted(map));
  EXPECT_TRUE(std::ranges::all_of(map, [](const auto& e) { return e.second == (e.first == 5 ? 9 : e.first); }));
  NavigationMap partial;
  files.FailRead(5, Fault{EIO, 0});  // header, payload, header, first round: the second round fails
  EXPECT_THROW(ReadNavigationData(Open(L"r", &b.bytes()), 80, partial), wexception);
  EXPECT_EQ(partial, (NavigationMap{{5, 9}}));
}

// std::map as the peer: arrivals mostly ascending with repeats and steps back (the first arrival
// keeps its offset), then lookups at and between entries (all even) and the tuning's edits.
TEST(NavigationMapTest, BehavesAsATreeMapFedTheSameArrivals) {
  std::mt19937_64 random(14);
  for (int round = 0; round < 60; ++round) {
    NavigationMap map;
    std::map<std::uint64_t, std::uint64_t> peer;
    std::uint64_t t = 0;
    for (int i = 0; i < round % 12 * 5; ++i) {
      t = random() % 4 == 0 ? random() % 60 * 2 : t + random() % 3 * 2;
      map.Add(t, i);
      peer.emplace(t, i);
    }
    map.Normalize();
    using Entries = std::vector<NavigationMap::value_type>;
    const auto same = [&] { return Entries(map.begin(), map.end()) == Entries(peer.begin(), peer.end()); };
    ASSERT_TRUE(same()) << round;
    for (std::uint64_t probe = 0; probe < 260; ++probe) {
      EXPECT_EQ(map.lower_bound(probe) - map.begin(), std::distance(peer.begin(), peer.lower_bound(probe)));
    }
    const std::uint64_t at = random() % 130, low = random() % 130, high = low + random() % 130;
    map.Set(at, 1), peer[at] = 1, map.Set(at + 1, 2), peer[at + 1] = 2;
    map.EraseBelow(low), peer.erase(peer.begin(), peer.lower_bound(low));
    map.EraseAbove(high), peer.erase(peer.upper_bound(high), peer.end());
    map.Erase(at + 1), peer.erase(at + 1);
    EXPECT_TRUE(same()) << round;
  }
}

TEST(NavigationIndexerTest, WriterNeedsMoreThanTheSpacingAndRepairAsMuch) {
  const std::pair<NavigationIndexer::Rule, std::vector<std::uint64_t>> cases[] = {
      {NavigationIndexer::Rule::kWriter, {90'000, 100'000, 200'000, 250'000}},
      {NavigationIndexer::Rule::kRepair, {90'000, 100'000, 150'000, 200'000, 250'000}}};
  for (const auto& [rule, keys] : cases) {
    NavigationIndexer indexer(rule);
    // A step back always counts, as the unsigned difference wraps; the last package always does.
    for (std::uint64_t t : {100'000, 150'000, 200'000, 90'000, 250'000}) indexer.Add(t, t + 1);
    indexer.Finish();
    NavigationMap expected;
    for (std::uint64_t k : keys) expected.Add(k, k + 1);
    EXPECT_EQ(indexer.map(), expected);
  }
}

}  // namespace
}  // namespace recfilereader
