// Extraction through the reader's interface, judged by what a host reads from the new file: the
// span's packages byte for byte, the markers within it. A failed extraction leaves no new file
// and the source as it was, whichever write fails.
#include <gtest/gtest.h>

#include "base/guard.h"
#include "frame/recfilereader.h"
#include "support/tempdir.h"
#include "writing/recordingextractor.h"
#include "writing/recordingfiles.h"

namespace {

using namespace recfilereader;
using namespace rectest;

std::uint64_t Ts(std::size_t i) { return SamplePackage(i).timestamp; }

// True when every block of the file gives the size of the one before it, which is what a walk
// backward through the file follows; runs of blocks copied as they are must keep this.
bool ChainsBackward(const Bytes& file) {
  std::uint64_t previous = 0;
  for (std::size_t at = 0; at + kBlockHeaderSize <= file.size(); at += previous) {
    const RecBlockHeader header = RecBlockHeader::DecodeFrom(file.data() + at);
    if (header.PrevSize != previous) return false;
    previous = header.TotalSize();
  }
  return true;
}

class ExtractionTest : public ::testing::Test {
 protected:
  // A finished source: the builder's recording of 16 packages and three markers, repaired.
  ExtractionTest() {
    WriteFileBytes(source, BuildRecording(16, {.markers = {Ts(2), Ts(6), Ts(12)}}).bytes);
    EXPECT_TRUE(reader.Face<IRecordingRepair>(L"IRecordingRepair")->RepairRecording(source.wstring().c_str()));
    EXPECT_TRUE(reader.Face<IRecordingReaderEx>(L"IRecordingReaderEx")->Open(source.wstring().c_str(), 1));
  }
  // The markers a full open finds; {-1} when the file does not open (it holds no package).
  std::vector<LONGLONG> Markers(const std::filesystem::path& path) {
    Reader other;
    std::vector<LONGLONG> markers;
    if (!other.Face<IRecordingReaderEx>(L"IRecordingReaderEx")->Open(path.wstring().c_str(), 1)) return {-1};
    auto* face = other.Face<IRecordingMarker>(L"IRecordingMarker");
    ULONG count = 0;
    face->GetMarkerCount(&count);
    for (ULONG i = 0; i < count; ++i) face->GetMarkerTimestamp(i, &markers.emplace_back());
    return markers;
  }

  TempDir dir;
  std::filesystem::path source = dir / "source.rec", target = dir / "part.rec";
  Reader reader;
};

TEST_F(ExtractionTest, TheNewFileHoldsTheSpansPackagesAndMarkers) {
  const Bytes before = ReadFileBytes(source);
  const std::uint64_t kAll = ~0ull;
  const struct {
    const char* name;
    std::uint64_t begin, end;
    std::size_t from, to;
    std::vector<LONGLONG> markers;
  } cases[] = {
      {"everything", 0, kAll, 0, 16, {LONGLONG(Ts(2)), LONGLONG(Ts(6)), LONGLONG(Ts(12))}},
      {"the start", 0, Ts(5), 0, 5, {LONGLONG(Ts(2))}},
      {"the middle, markers at both bounds", Ts(6), Ts(12), 6, 12, {LONGLONG(Ts(6)), LONGLONG(Ts(12))}},
      {"a begin between packages", Ts(3) + 5, Ts(7), 4, 7, {LONGLONG(Ts(6))}},
      {"the end", Ts(10), kAll, 10, 16, {LONGLONG(Ts(12))}},
      {"one package", Ts(4), Ts(4) + 1, 4, 5, {}},
      {"no package", Ts(4) + 1, Ts(5), 5, 5, {-1}},
  };
  auto* edit = reader.Face<IRecordingEdit>(L"IRecordingEdit");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(target);
    ASSERT_TRUE(edit->ExtractRecordingPart(target.wstring().c_str(), c.begin, c.end));
    EXPECT_EQ(reader.error()->GetErrorCode(), kErrorNone);
    EXPECT_EQ(Reader().Packages(target), SamplePackages(c.from, c.to));
    EXPECT_EQ(Markers(target), c.markers);
    EXPECT_TRUE(ChainsBackward(ReadFileBytes(target)));
  }
  EXPECT_FALSE(edit->ExtractRecordingPart(target.wstring().c_str(), 0, kAll));  // it exists
  EXPECT_EQ(ReadFileBytes(source), before);
}

TEST_F(ExtractionTest, AFailedExtractionLeavesNoFileAndTheSourceAsItWas) {
  auto& r = *static_cast<CRecFileReader*>(reader.access());
  const Bytes before = ReadFileBytes(source);
  FaultyFiles files;
  const auto extract = [&](IAbort* abort = nullptr) {
    ExtractionSource from;
    from.stream = &r.stream();
    from.locate = [&](std::uint64_t) { return r.navigation().begin()->second; };
    from.data_end = r.navigation().rbegin()->second;
    CachingFileReaderPlatform platform;
    platform.files = &files;
    CRecordingExtractor extractor(&r.context(), std::move(from), target.wstring(), 0, ~0ull, platform);
    extractor.Execute(nullptr, abort);
    return extractor.result_code();
  };
  ASSERT_EQ(extract(), kErrorNone);
  EXPECT_EQ(Reader().Packages(target), SamplePackages(0, 16));
  const int writes = files.writes;
  for (int n = 1; n <= writes; ++n) {
    for (const bool short_write : {false, true}) {
      SCOPED_TRACE(testing::Message() << "write " << n << (short_write ? " short" : " failed"));
      std::filesystem::remove(target);
      files.Arm(n, short_write);
      EXPECT_NE(extract(), kErrorNone);
      EXPECT_FALSE(std::filesystem::exists(target));
    }
  }
  AlwaysAbort abort;
  files.Arm(0, false);
  EXPECT_EQ(extract(&abort), kErrorUserAbort);
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_EQ(ReadFileBytes(source), before);
  std::printf("extraction write points covered: %d, each failed and short\n", writes);
}

}  // namespace
