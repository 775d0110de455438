// A host's view of a recording's life: written through the reader opened for writing, opened
// again for reading, walked, positioned, edited and saved, all through the public interfaces.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/textconv.h"
#include "recfilereader/propvariant.h"
#include "recfilereader/recfilereader.h"
#include "support/hostreader.h"
#include "support/recbuilder.h"
#include "support/samplerecordings.h"
#include "support/tempdir.h"

namespace recfilereader {
namespace {

using Bytes = std::vector<std::uint8_t>;

using Package = rectest::HostPackage;

// The shared host's reader, with the interfaces a host walks and positions by.
class Reader : public rectest::HostReader {
 public:
  IRecordingPositionEx* positions() { return Face<IRecordingPositionEx>(L"IRecordingPositionEx"); }
  IRecordingNavigate* navigate() { return Face<IRecordingNavigate>(L"IRecordingNavigate"); }
  IRecordingMarker* markers() { return Face<IRecordingMarker>(L"IRecordingMarker"); }
  BOOL Open(const std::filesystem::path& file, ULONG purpose = 1) {
    return reader()->Open(file.wstring().c_str(), purpose);
  }
  // A reader property as an unsigned number.
  ULONGLONG Property(const wchar_t* name) {
    PROPVARIANT value;
    PropVariantInit(&value);
    EXPECT_TRUE(Face<IObjectProperties>(L"IObjectProperties")->GetProperty(name, &value));
    const ULONGLONG number = value.vt == VT_BOOL ? (value.boolVal != 0 ? 1 : 0) : value.uhVal;
    PropVariantClear(&value);
    return number;
  }
  std::uint64_t Position() {
    std::uint64_t position = 0;
    EXPECT_TRUE(positions()->GetPosition(&position));
    return position;
  }
  // The next `count` packages in `direction`; each must be there.
  std::vector<Package> Walk(ULONG direction, std::size_t count) {
    std::vector<Package> got(count);
    for (Package& p : got) EXPECT_TRUE(Read(direction, p)) << ErrorText();
    return got;
  }
};

void WriteRecording(const std::filesystem::path& path, const std::vector<Package>& packages, ULONG access = 0) {
  Reader writer;
  ASSERT_TRUE(writer.reader()->OpenEx(path.wstring().c_str(), access, 0)) << writer.ErrorText();
  for (const Package& p : packages) {
    DataPackageRecord record{};
    record.SourceHandle = p.source;
    record.Timestamp = p.timestamp;
    record.DataSize = static_cast<ULONG>(p.data.size());
    record.Data = const_cast<std::uint8_t*>(p.data.data());
    record.ExtraSize = static_cast<ULONG>(p.extra.size());
    record.ExtraData = p.extra.empty() ? nullptr : const_cast<std::uint8_t*>(p.extra.data());
    record.Descriptor.PackageFlags = p.flags;
    ASSERT_TRUE(writer.data()->WriteDataPackages(&record, 1)) << writer.ErrorText();
  }
  ASSERT_TRUE(writer.reader()->Close());
}

// Packages of varied sizes, timestamps far enough apart for several navigation entries, some
// with extra data, one whose payload carries the 8 trailing bytes.
std::vector<Package> SamplePackages(std::size_t count) {
  std::vector<Package> packages;
  for (std::size_t i = 0; i < count; ++i) {
    Package p{static_cast<ULONG>(1 + i % 3), 1'000 + 20'000 * i, Bytes(1 + (i * 37) % 300, std::uint8_t(i))};
    if (i % 4 == 1) p.extra = Bytes(5 + i % 7, std::uint8_t(0xE0 + i));
    packages.push_back(std::move(p));
  }
  return packages;
}

class RecordingTest : public ::testing::Test {
 protected:
  rectest::TempDir dir;
  std::filesystem::path path = dir / "rec.rec";
};

// Forty packages, and one alone (the first package is then the last): the walk both ways, and
// the positions and jumps agree with it.
TEST_F(RecordingTest, WalksPositionsAndJumpsOverWhatTheWriterWrote) {
  for (const auto& packages : {SamplePackages(40), std::vector<Package>{{7, 5'000, Bytes{1, 2, 3}}}}) {
    SCOPED_TRACE(packages.size());
    const auto file = dir / std::to_string(packages.size());
    WriteRecording(file, packages);
    Reader r;
    ASSERT_TRUE(r.Open(file)) << r.ErrorText();
    EXPECT_EQ(std::tuple(r.Property(L"BeginTimestamp"), r.Property(L"EndTimestamp"), r.Property(L"BeginOfFile")),
              std::tuple(packages.front().timestamp, packages.back().timestamp + 1, 1ull));
    EXPECT_EQ(r.Property(L"DataPackagesVersion"), 2u);
    std::vector<std::uint64_t> at;
    Package got;
    for (const Package& expected : packages) {
      at.push_back(r.Position());
      ASSERT_TRUE(r.Read(kReadForward, got)) << r.ErrorText();
      EXPECT_TRUE(got == expected) << expected.timestamp;
    }
    const std::uint64_t end = r.Position();
    EXPECT_EQ(r.Property(L"EndOfFile"), 1u);
    EXPECT_FALSE(r.Read(kReadForward, got));
    EXPECT_NE(r.ErrorText().find("End of data reached"), std::string::npos);
    EXPECT_TRUE(r.Walk(kReadBackward, packages.size()) == std::vector<Package>(packages.rbegin(), packages.rend()));
    EXPECT_EQ(r.Property(L"BeginOfFile"), 1u);
    EXPECT_FALSE(r.Read(kReadBackward, got));
    EXPECT_NE(r.ErrorText().find("Begin of data reached"), std::string::npos);
    EXPECT_FALSE(r.data()->ReadDataPackage(3, nullptr));
    auto* positions = r.positions();
    for (std::size_t i = 0; i < at.size(); ++i) {
      std::uint64_t next = 0, previous = 0;
      ASSERT_TRUE(positions->GetNextPosition(&at[i], &next) && positions->GetPrevPosition(&at[i], &previous));
      EXPECT_EQ(std::pair(next, previous), std::pair(i + 1 < at.size() ? at[i + 1] : end, at[i == 0 ? 0 : i - 1]));
      // Exactly at a package's timestamp, and just before it, the jump lands on that package.
      for (ULONGLONG t : {packages[i].timestamp, packages[i].timestamp - 1}) {
        if (t < packages.front().timestamp) continue;
        ASSERT_TRUE(r.navigate()->JumpToReferenceTimestamp(t)) << r.ErrorText();
        EXPECT_EQ(r.Position(), at[i]) << t;
      }
    }
    ASSERT_TRUE(r.navigate()->JumpToReferenceTimestamp(packages.back().timestamp + 1));
    EXPECT_EQ(r.Property(L"EndOfFile"), 1u);
    EXPECT_TRUE(r.Walk(kReadBackward, 1).front() == packages.back());
    ASSERT_TRUE(positions->SetPosition(&end, 8)) << r.ErrorText();
    EXPECT_EQ(r.Property(L"EndOfFile"), 1u);
    ASSERT_TRUE(positions->SetPosition(&at[at.size() / 2], 8));
    EXPECT_TRUE(r.Walk(kReadForward, 1).front() == packages[packages.size() / 2]);
  }
}

// Offsets of the data blocks of a file, found by walking its block headers.
std::vector<std::size_t> DataBlockOffsets(const Bytes& bytes) {
  std::vector<std::size_t> offsets;
  for (std::size_t at = 0; at + 32 <= bytes.size();) {
    if (rectest::GetLe(bytes, at + 2, 2) == 0xDAB1) offsets.push_back(at);
    at += 32 + rectest::GetLe(bytes, at + 28, 4);
  }
  return offsets;
}

// A damaged block costs at most the packages up to the next navigation entry, and the host
// sees the gap as records with SourceHandle 0: every other record is a package of the file,
// in order, and the walk ends at the end of the data in either direction.
TEST_F(RecordingTest, AWalkSkipsDamagedBlocksAndGoesOn) {
  const auto packages = SamplePackages(30);
  WriteRecording(path, packages);
  const Bytes clean = rectest::ReadFileBytes(path);
  const auto blocks = DataBlockOffsets(clean);
  ASSERT_EQ(blocks.size(), packages.size());
  // Damage: the header size (the block stream cannot read the block) or the extended header's
  // data length (the package's lengths do not fit its payload).
  const struct { std::size_t package, field; std::uint8_t value; } damages[] = {
      {0, 32 + 16 + 3, 0x7F}, {13, 0, 0x21}, {13, 32 + 16 + 3, 0x7F}, {28, 0, 0x21}, {29, 32 + 16 + 3, 0x7F}};
  for (const auto& damage : damages) {
    for (ULONG direction : {kReadForward, kReadBackward}) {
      Bytes bytes = clean;
      bytes[blocks[damage.package] + damage.field] = damage.value;
      rectest::WriteFileBytes(path, bytes);
      SCOPED_TRACE(testing::Message() << damage.package << "/" << damage.field << "/" << direction);
      Reader r;
      ASSERT_TRUE(r.Open(path)) << r.ErrorText();
      if (direction == kReadBackward) {
        ASSERT_TRUE(r.navigate()->JumpToReferenceTimestamp(r.Property(L"EndTimestamp")));
      }
      std::vector<std::size_t> seen;
      std::size_t skipped = 0;
      Package got;
      for (std::size_t reads = 0; reads < 2 * packages.size() && r.Read(direction, got); ++reads) {
        if (got.source == 0) {
          ++skipped;
          EXPECT_EQ(r.error()->GetErrorCode(), 20);
          continue;
        }
        const auto match = std::find(packages.begin(), packages.end(), got);
        // The package whose lengths do not fit comes as its header's fields without data.
        const bool shell = got.data.empty() && got.timestamp == packages[damage.package].timestamp;
        ASSERT_TRUE(match != packages.end() || shell) << "a record that is no package of the file";
        if (!shell) seen.push_back(static_cast<std::size_t>(match - packages.begin()));
      }
      EXPECT_EQ(r.Property(direction == kReadForward ? L"EndOfFile" : L"BeginOfFile"), 1u);
      // Forward, damage on the way is met and marked; backward, the block stream's scan passes
      // an unreadable block by, and a damaged first or last package lies outside the data.
      if (direction == kReadForward && damage.package == 13) {
        EXPECT_GE(skipped, 1u);
      }
      EXPECT_GE(seen.size(), packages.size() - 4);
      if (direction == kReadBackward) std::reverse(seen.begin(), seen.end());
      EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
      EXPECT_EQ(std::find(seen.begin(), seen.end(), damage.package), seen.end());
    }
  }
}

TEST_F(RecordingTest, HostileArgumentsFailWithTheirReasonAndLeaveTheCursor) {
  const auto packages = SamplePackages(6);
  WriteRecording(path, packages);
  Reader r;
  ASSERT_TRUE(r.Open(path));
  const std::uint64_t first = r.Position();
  Package got;
  ASSERT_TRUE(r.Read(kReadForward, got));
  const std::uint64_t cursor = r.Position();
  const std::uint64_t inside = cursor + 40, past = 1ull << 40, before = 8, top = ~0ull;
  // A failed move leaves the cursor where it was; a position of the wrong size is refused.
  const struct { const std::uint64_t* where; ULONG size; const char* text; } moves[] = {
      {&inside, 8, ""}, {&past, 8, "Position is greater than file size"}, {&before, 8, "Position is less than first"},
      {&first, 4, ""}};
  for (const auto& move : moves) {
    EXPECT_FALSE(r.positions()->SetPosition(move.where, move.size)) << *move.where;
    EXPECT_NE(r.ErrorText().find(move.text), std::string::npos) << r.ErrorText();
    EXPECT_EQ(r.Position(), cursor);
  }
  // Just past the end timestamp, where a jump may still land, and far outside.
  for (ULONGLONG t : {ULONGLONG{0}, r.Property(L"EndTimestamp") + 1, ULONGLONG{top}}) {
    EXPECT_FALSE(r.navigate()->JumpToReferenceTimestamp(t));
    EXPECT_NE(r.ErrorText().find("Timestamp not in the range"), std::string::npos);
    EXPECT_EQ(r.Position(), cursor);
  }
  BOOL less = 0;
  ASSERT_TRUE(r.Face<IRecordingPositionCmp>(L"IRecordingPositionCmp")->IsPositionLess(&before, &top, &less));
  EXPECT_TRUE(less);
  // Property interfaces: the right one, as often as handed out; a change marks the recording.
  IRecordingObjectProperties* properties = nullptr;
  ASSERT_TRUE(r.data()->GetRecordingProperties(&properties));
  EXPECT_FALSE(r.data()->ReleaseSystemPropertiesEx(properties));
  EXPECT_EQ(r.ErrorText(), "Invalid argument");
  PROPVARIANT value;
  PropVariantInit(&value);
  value.vt = VT_I4;
  value.lVal = 5;
  ASSERT_TRUE(properties->SetProperty(L"Take", &value));
  EXPECT_EQ(r.Property(L"DataChanged"), 0u);
  ASSERT_TRUE(r.data()->ReleaseRecordingProperties(properties));
  EXPECT_EQ(r.Property(L"DataChanged"), 1u);
  EXPECT_FALSE(r.data()->ReleaseRecordingProperties(properties));
  EXPECT_EQ(r.ErrorText(), "Excess recording properties interface release");
}

TEST_F(RecordingTest, AFailedOpenLeavesTheReaderClosedWithTheReason) {
  WriteRecording(path, SamplePackages(3));
  auto bytes = rectest::ReadFileBytes(path);
  // Each case damages the byte at `offset` (npos: none) and opens with Open(purpose) or, when
  // `ex`, with OpenEx(flags).
  const struct { const char* name; std::size_t offset; std::uint8_t value; ULONG purpose_or_flags; bool ex;
                 LONG code; const char* text; } cases[] = {
      {"not a file header", 2, 0xFA, 1, false, 20, "Not a valid recording"},
      {"unknown identifier", 32, 0x00, 1, false, 20, "Invalid recording signature"},
      {"other version block", 80 + 2, 0x6E, 1, false, 20, "Recording corrupted"},
      {"navigation not loaded", std::string::npos, 0, 32, true, 20, ""},
      {"missing file", std::string::npos, 0, 1, false, 10, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto damaged = bytes;
    if (c.offset != std::string::npos) damaged[c.offset] = c.value;
    const auto file = dir / c.name;
    if (std::string(c.name) != "missing file") rectest::WriteFileBytes(file, damaged);
    Reader r;
    const std::wstring name = file.wstring();
    EXPECT_FALSE(c.ex ? r.reader()->OpenEx(name.c_str(), 1, c.purpose_or_flags) : r.Open(file, c.purpose_or_flags));
    EXPECT_EQ(r.error()->GetErrorCode(), c.code) << r.ErrorText();
    EXPECT_NE(r.ErrorText().find(c.text), std::string::npos) << r.ErrorText();
    std::uint64_t position = 0;
    EXPECT_FALSE(r.positions()->GetPosition(&position));
    EXPECT_EQ(r.ErrorText(), "No file opened");
  }
}

// A host property table's value as text, for the few kinds the tests set.
std::string Text(IObjectProperties* table, const wchar_t* name) {
  PROPVARIANT value;
  PropVariantInit(&value);
  if (table == nullptr || !table->GetProperty(name, &value)) return "<none>";
  std::string text = value.vt == VT_LPWSTR ? WideToUtf8(value.pwszVal) : "vt" + std::to_string(value.vt);
  PropVariantClear(&value);
  return text;
}

// Builder-made files of each version, with first-format packages at 1000 and 2000 and a marker
// at 1500, open with their time span tuned and their tables handed to the managers.
TEST_F(RecordingTest, EachVersionOpensWithItsTimeSpanAndTables) {
  // Each file with the recording description it carries.
  const struct { const char* name; rectest::Bytes bytes; const char* description; } files[] = {
      {"1.0", rectest::BuildV10().bytes, "<none>"},
      {"2.0", rectest::BuildV2({.index_type = 0xCB01, .index_size = 32, .metadata = false}).bytes, "<none>"},
      {"2.1", rectest::BuildV2({}).bytes, "run 7"},
  };
  for (const auto& file : files) {
    SCOPED_TRACE(file.name);
    rectest::WriteFileBytes(path, file.bytes);
    Reader r;
    auto* support = r.Face<IRecordingSupport>(L"IRecordingSupport");
    BOOL supported = 0;
    ASSERT_TRUE(support->IsFileSupported(path.wstring().c_str(), &supported));
    EXPECT_TRUE(supported);
    ASSERT_TRUE(r.Open(path)) << r.ErrorText();
    EXPECT_EQ(std::tuple(r.Property(L"BeginTimestamp"), r.Property(L"EndTimestamp"),
                         r.Property(L"DataPackagesVersion")), std::tuple(1000ull, 2001ull, 1ull));
    ULONG sources = 0, markers = 0;
    LONGLONG marker = 0;
    ASSERT_TRUE(r.Face<IRecordingSources>(L"IRecordingSources")->GetSourceCount(&sources));
    ASSERT_TRUE(r.markers()->GetMarkerCount(&markers) && markers == 1 && r.markers()->GetMarkerTimestamp(0, &marker));
    EXPECT_EQ(std::tuple(sources, marker), std::tuple(1u, 1500));
    IRecordingObjectProperties* properties = nullptr;
    ASSERT_TRUE(r.data()->GetRecordingProperties(&properties));
    EXPECT_EQ(Text(properties, L"Description"), file.description);
    ASSERT_TRUE(r.data()->ReleaseRecordingProperties(properties));
    const Bytes payload = rectest::PlainPayload(8, 1);
    EXPECT_TRUE(r.Walk(kReadForward, 2) == (std::vector<Package>{{1, 1000, payload}, {1, 2000, payload}}));
    // A quick open, which replaces the first, loads sources and properties but no markers and
    // no time span; a reader, quick or not, cannot write.
    ASSERT_TRUE(r.Open(path, 3)) << r.ErrorText();
    EXPECT_EQ(r.Property(L"BeginTimestamp") + r.Property(L"EndTimestamp"), 0u);
    ASSERT_TRUE(r.markers()->GetMarkerCount(&markers));
    EXPECT_EQ(markers, 0u);
    DataPackageRecord record{};
    EXPECT_FALSE(r.data()->WriteDataPackages(&record, 1));
  }
  // Not a recording at all: a successful test that says no, with code 20.
  rectest::WriteFileBytes(path, Bytes(100, 0x20));
  Reader r;
  auto* support = r.Face<IRecordingSupport>(L"IRecordingSupport");
  BOOL supported = 1;
  EXPECT_TRUE(support->IsFileSupported(path.wstring().c_str(), &supported));
  EXPECT_EQ(r.error()->GetErrorCode(), 20);
  EXPECT_FALSE(support->IsFileSupported(L"/nonexistent/rec", &supported));
}

// Editing markers and properties and saving rewrites the tail only: the packages stay byte for
// byte, and a reader opening the file again sees the edits.
TEST_F(RecordingTest, SavingKeepsThePackagesAndCarriesTheEdits) {
  const auto packages = SamplePackages(12);
  WriteRecording(path, packages, 2);
  const Bytes before = rectest::ReadFileBytes(path);
  const auto blocks = DataBlockOffsets(before);
  {
    Reader r;
    ASSERT_TRUE(r.Open(path)) << r.ErrorText();
    auto* markers = r.markers();
    ASSERT_TRUE(markers->AddMarker(41'000));
    IRecordingObjectProperties* marker = nullptr;
    ASSERT_TRUE(markers->GetMarkerProperties(41'000, &marker));
    PROPVARIANT text;
    PropVariantInit(&text);
    text.vt = VT_LPWSTR;
    text.pwszVal = const_cast<wchar_t*>(L"valve opens");
    ASSERT_TRUE(marker->SetProperty(L"Description", &text));
    ASSERT_TRUE(markers->ReleaseMarkerProperties(marker));
    IRecordingObjectProperties* properties = nullptr;
    ASSERT_TRUE(r.data()->GetRecordingProperties(&properties));
    text.pwszVal = const_cast<wchar_t*>(L"bench 4");
    ASSERT_TRUE(properties->SetProperty(L"Description", &text));
    ASSERT_TRUE(r.data()->ReleaseRecordingProperties(properties));
    ASSERT_TRUE(r.Face<IRecordingSave>(L"IRecordingSave")->SaveRecording()) << r.ErrorText();
  }
  const Bytes after = rectest::ReadFileBytes(path);
  const std::size_t data_end = blocks.back() + 32 + rectest::GetLe(before, blocks.back() + 28, 4);
  ASSERT_GE(after.size(), data_end);
  EXPECT_TRUE(std::equal(before.begin() + blocks.front(), before.begin() + data_end, after.begin() + blocks.front()));
  Reader r;
  ASSERT_TRUE(r.Open(path)) << r.ErrorText();
  IRecordingObjectProperties* marker = nullptr;
  ASSERT_TRUE(r.markers()->GetMarkerProperties(41'000, &marker));
  EXPECT_EQ(Text(marker, L"Description"), "valve opens");
  IRecordingObjectProperties* properties = nullptr;
  ASSERT_TRUE(r.data()->GetRecordingProperties(&properties));
  EXPECT_EQ(Text(properties, L"Description"), "bench 4");
  EXPECT_TRUE(r.Walk(kReadForward, packages.size()) == packages);
  // A file nobody may write opens for reading only, and a save says why it cannot be done.
  ASSERT_TRUE(r.reader()->Close());
  std::filesystem::permissions(path, std::filesystem::perms::owner_read);
  ASSERT_TRUE(r.Open(path));
  EXPECT_FALSE(r.Face<IRecordingSave>(L"IRecordingSave")->SaveRecording());
  EXPECT_EQ(r.ErrorText(), "The recording was opened read-only and cannot be saved");
  EXPECT_EQ(rectest::ReadFileBytes(path), after);
}

}  // namespace
}  // namespace recfilereader
