// A host's view of a recording's life: written through the reader opened for writing, opened
// again for reading, walked, positioned, edited and saved, all through the public interfaces.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/textconv.h"
#include "recfilereader/propvariant.h"
#include "recfilereader/recfilereader.h"
#include "support/tempdir.h"

namespace recfilereader {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Package {
  ULONG source = 0;
  ULONGLONG timestamp = 0;
  Bytes data;
  Bytes extra{};
  ULONG flags = 0;
};

// One reader, destroyed with the test; its interfaces by name.
class Reader {
 public:
  Reader() : access_(CreateRecordingReader(nullptr)) {}
  ~Reader() { Face<IObjectDestroy>(L"IObjectDestroy")->Destroy(); }
  template <class T>
  T* Face(const wchar_t* name) {
    return static_cast<T*>(access_->GetInterface(name));
  }
  IRecordingReaderEx* reader() { return Face<IRecordingReaderEx>(L"IRecordingReaderEx"); }
  IRecordingDataEx* data() { return Face<IRecordingDataEx>(L"IRecordingDataEx"); }
  IRecordingPositionEx* positions() { return Face<IRecordingPositionEx>(L"IRecordingPositionEx"); }
  IRecordingNavigate* navigate() { return Face<IRecordingNavigate>(L"IRecordingNavigate"); }
  IRecordingError* error() { return Face<IRecordingError>(L"IRecordingError"); }
  std::string ErrorText() { return WideToUtf8(error()->GetErrorText()); }
  // A reader property as an unsigned number.
  ULONGLONG Property(const wchar_t* name) {
    PROPVARIANT value;
    PropVariantInit(&value);
    EXPECT_TRUE(Face<IObjectProperties>(L"IObjectProperties")->GetProperty(name, &value));
    const ULONGLONG number = value.vt == VT_BOOL ? (value.boolVal != 0 ? 1 : 0) : value.uhVal;
    PropVariantClear(&value);
    return number;
  }
  // Reads one package; the record's buffers go back to the reader's memory manager.
  bool Read(ULONG direction, Package& out) {
    DataPackageRecord record{};
    if (!data()->ReadDataPackage(direction, &record)) return false;
    const auto* bytes = static_cast<const std::uint8_t*>(record.Data);
    const auto* extra = static_cast<const std::uint8_t*>(record.ExtraData);
    out = {record.SourceHandle, record.Timestamp, Bytes(bytes, bytes + record.DataSize),
           Bytes(extra, extra + record.ExtraSize), record.Descriptor.PackageFlags};
    auto* memory = Face<IExMemoryMgr>(L"IExMemoryMgr");
    memory->Free(record.Data);
    if (record.ExtraData != nullptr) memory->Free(record.ExtraData);
    return true;
  }
  std::uint64_t Position() {
    std::uint64_t position = 0;
    EXPECT_TRUE(positions()->GetPosition(&position));
    return position;
  }

 private:
  IInterfaceAccess* access_;
};

bool operator==(const Package& a, const Package& b) {
  return a.source == b.source && a.timestamp == b.timestamp && a.data == b.data && a.extra == b.extra &&
         a.flags == b.flags;
}

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

TEST_F(RecordingTest, WalksForwardAndBackOverWhatTheWriterWrote) {
  const auto packages = SamplePackages(40);
  WriteRecording(path, packages);
  Reader r;
  ASSERT_TRUE(r.reader()->Open(path.wstring().c_str(), 1)) << r.ErrorText();
  EXPECT_EQ(r.Property(L"BeginTimestamp"), packages.front().timestamp);
  EXPECT_EQ(r.Property(L"EndTimestamp"), packages.back().timestamp + 1);
  EXPECT_EQ(r.Property(L"DataPackagesVersion"), 2u);
  EXPECT_EQ(r.Property(L"BeginOfFile"), 1u);
  Package got;
  for (const Package& expected : packages) {
    ASSERT_TRUE(r.Read(kReadForward, got)) << r.ErrorText();
    EXPECT_TRUE(got == expected) << expected.timestamp;
  }
  EXPECT_EQ(r.Property(L"EndOfFile"), 1u);
  EXPECT_FALSE(r.Read(kReadForward, got));
  EXPECT_NE(r.ErrorText().find("End of data reached"), std::string::npos);
  for (auto it = packages.rbegin(); it != packages.rend(); ++it) {
    ASSERT_TRUE(r.Read(kReadBackward, got)) << r.ErrorText();
    EXPECT_TRUE(got == *it) << it->timestamp;
  }
  EXPECT_FALSE(r.Read(kReadBackward, got));
  EXPECT_NE(r.ErrorText().find("Begin of data reached"), std::string::npos);
  EXPECT_FALSE(r.data()->ReadDataPackage(3, nullptr));
}

TEST_F(RecordingTest, ARecordingOfOnePackageOpensAndReadsIt) {
  WriteRecording(path, {{7, 5'000, Bytes{1, 2, 3}}});
  Reader r;
  ASSERT_TRUE(r.reader()->Open(path.wstring().c_str(), 1)) << r.ErrorText();
  Package got;
  ASSERT_TRUE(r.Read(kReadForward, got)) << r.ErrorText();
  EXPECT_EQ(got.timestamp, 5'000u);
  EXPECT_EQ(r.Property(L"EndOfFile"), 1u);
  EXPECT_FALSE(r.Read(kReadForward, got));
  ASSERT_TRUE(r.Read(kReadBackward, got));
  EXPECT_EQ(r.Property(L"BeginOfFile"), 1u);
}

TEST_F(RecordingTest, PositionsAndJumpsAgreeWithTheWalk) {
  const auto packages = SamplePackages(25);
  WriteRecording(path, packages);
  Reader r;
  ASSERT_TRUE(r.reader()->Open(path.wstring().c_str(), 1)) << r.ErrorText();
  std::vector<std::uint64_t> at;
  Package got;
  for (std::size_t i = 0; i < packages.size(); ++i) {
    at.push_back(r.Position());
    ASSERT_TRUE(r.Read(kReadForward, got));
  }
  const std::uint64_t end = r.Position();
  auto* positions = r.positions();
  for (std::size_t i = 0; i < at.size(); ++i) {
    std::uint64_t next = 0, previous = 0;
    ASSERT_TRUE(positions->GetNextPosition(&at[i], &next)) << r.ErrorText();
    EXPECT_EQ(next, i + 1 < at.size() ? at[i + 1] : end) << i;
    ASSERT_TRUE(positions->GetPrevPosition(&at[i], &previous));
    EXPECT_EQ(previous, at[i == 0 ? 0 : i - 1]) << i;
    // Exactly at a package's timestamp, and just before it, the jump lands on that package.
    for (ULONGLONG t : {packages[i].timestamp, packages[i].timestamp - 1}) {
      if (t < packages.front().timestamp) continue;
      ASSERT_TRUE(r.navigate()->JumpToReferenceTimestamp(t)) << r.ErrorText();
      EXPECT_EQ(r.Position(), at[i]) << t;
    }
  }
  ASSERT_TRUE(r.navigate()->JumpToReferenceTimestamp(packages.back().timestamp + 1));
  EXPECT_EQ(r.Property(L"EndOfFile"), 1u);
  ASSERT_TRUE(r.Read(kReadBackward, got));
  EXPECT_TRUE(got == packages.back());
  // A failed move leaves the cursor where it was.
  EXPECT_FALSE(positions->SetPosition(&at[3], 4));
  EXPECT_FALSE(r.navigate()->JumpToReferenceTimestamp(packages.back().timestamp + 2));
  EXPECT_EQ(r.Position(), at.back());
  ASSERT_TRUE(positions->SetPosition(&end, 8)) << r.ErrorText();
  EXPECT_EQ(r.Property(L"EndOfFile"), 1u);
  ASSERT_TRUE(positions->SetPosition(&at[5], 8));
  ASSERT_TRUE(r.Read(kReadForward, got));
  EXPECT_TRUE(got == packages[5]);
}

TEST_F(RecordingTest, AFailedOpenLeavesTheReaderClosedWithTheReason) {
  WriteRecording(path, SamplePackages(3));
  auto bytes = rectest::ReadFileBytes(path);
  const struct {
    const char* name;
    std::size_t offset;  // byte to damage, or npos for none
    std::uint8_t value;
    ULONG purpose_or_flags;
    bool ex;
    LONG code;
    const char* text;
  } cases[] = {
      {"not a file header", 2, 0xFA, 1, false, 20, "Not a valid recording"},
      {"unknown identifier", 32, 0x00, 1, false, 20, "Invalid recording signature"},
      {"other version block", 80 + 2, 0x6E, 1, false, 20, "Recording corrupted"},
      {"navigation not loaded", std::string::npos, 0, 32, true, 20, ""},
      {"missing file", std::string::npos, 0, 1, false, 10, ""},
  };
  for (const auto& c : cases) {
    auto damaged = bytes;
    if (c.offset != std::string::npos) damaged[c.offset] = c.value;
    const auto file = dir / c.name;
    if (std::string(c.name) != "missing file") rectest::WriteFileBytes(file, damaged);
    Reader r;
    const BOOL opened = c.ex ? r.reader()->OpenEx(file.wstring().c_str(), 1, c.purpose_or_flags)
                             : r.reader()->Open(file.wstring().c_str(), c.purpose_or_flags);
    EXPECT_FALSE(opened) << c.name;
    EXPECT_EQ(r.error()->GetErrorCode(), c.code) << c.name << ": " << r.ErrorText();
    EXPECT_NE(r.ErrorText().find(c.text), std::string::npos) << c.name << ": " << r.ErrorText();
    std::uint64_t position = 0;
    EXPECT_FALSE(r.positions()->GetPosition(&position)) << c.name;
    EXPECT_EQ(r.ErrorText(), "No file opened");
  }
}

TEST_F(RecordingTest, AQuickOpenLoadsTablesWithoutTimestampsAndReadersCannotWrite) {
  WriteRecording(path, SamplePackages(3));
  Reader r;
  ASSERT_TRUE(r.reader()->Open(path.wstring().c_str(), 3)) << r.ErrorText();
  EXPECT_EQ(r.Property(L"BeginTimestamp"), 0u);
  EXPECT_EQ(r.Property(L"EndTimestamp"), 0u);
  DataPackageRecord record{};
  EXPECT_FALSE(r.data()->WriteDataPackages(&record, 1));
}

}  // namespace
}  // namespace recfilereader
