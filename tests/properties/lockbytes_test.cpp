// The two lock-bytes objects and the composite buffer under them.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <numeric>
#include <tuple>
#include <vector>

#include "platform/storage/comobject.h"
#include "platform/storage/storagetestutil.h"
#include "platform/hresults.h"
#include "properties/compositebuffer.h"
#include "properties/lockbytes2.h"
#include "properties/lockbytestvk.h"
#include "recfilereader/propvariant.h"
#include "support/testmemory.h"

namespace recfilereader {
namespace {

ULARGE_INTEGER At(ULONGLONG v) { return ULARGE_INTEGER{.QuadPart = v}; }

class LockBytesTvkTest : public ::testing::Test {
 protected:
  void SetUp() override { bytes_ = new CLockBytesTvk(&memory_); }
  void TearDown() override {
    bytes_->Release();
    EXPECT_EQ(memory_.live(), 0u) << "the block goes back to the manager";
  }
  HRESULT Write(ULONGLONG offset, const std::vector<std::uint8_t>& data) {
    ULONG written = 0;
    return bytes_->WriteAt(At(offset), data.data(), static_cast<ULONG>(data.size()), &written);
  }
  ULONGLONG Size() {
    STATSTG stat;
    EXPECT_EQ(bytes_->Stat(&stat, STATFLAG_NONAME), S_OK);
    return stat.cbSize.QuadPart;
  }

  rectest::LimitedMemory memory_;
  CLockBytesTvk* bytes_ = nullptr;
};

TEST_F(LockBytesTvkTest, ReadAtTheEndAndBeyond) {
  ASSERT_EQ(Write(0, {1, 2, 3, 4}), S_OK);
  std::uint8_t buffer[8] = {};
  ULONG read = 99;
  const std::tuple<ULONGLONG, ULONG, HRESULT, ULONG> cases[] = {  // offset, count, result, bytes read
      {0, 4, S_OK, 4},            {1, 2, S_OK, 2}, {2, 8, STG_E_READFAULT, 2},       {4, 1, STG_E_READFAULT, 0},
      {4, 0, S_OK, 0},            {5, 1, E_FAIL, 0}, {0x100000000ull, 1, E_FAIL, 0}};
  for (const auto& [offset, count, hr, expected] : cases) {
    EXPECT_EQ(bytes_->ReadAt(At(offset), buffer, count, &read), hr) << offset;
    EXPECT_EQ(read, expected) << offset;
  }
  EXPECT_EQ(buffer[0], 3);
  EXPECT_EQ(std::pair(bytes_->ReadAt(At(0), nullptr, 1, &read), bytes_->ReadAt(At(5), nullptr, 1, &read)), std::pair(E_INVALIDARG, E_FAIL))
      << "the offset is checked before the buffer";
}

// Capacity grows in whole mebibytes with one to spare and is kept on shrinking; growth keeps
// the bytes and fills the gap with zeros. Failed growth changes nothing.
TEST_F(LockBytesTvkTest, GrowsInWholeMebibytesKeepingTheBytesAndZeroFillingTheGap) {
  std::vector<std::uint8_t> data(1000);
  std::iota(data.begin(), data.end(), 0);
  const std::function<HRESULT()> steps[] = {
      [&] { return bytes_->SetSize(At(1048575)); }, [&] { return Write(0, data); },
      [&] { return bytes_->SetSize(At(1048576)); }, [&] { return bytes_->SetSize(At(500)); },
      [&] { return Write(1048576, {7}); },          [&] { return Write(3 * 1048576, {1}); }};
  std::vector<std::pair<ULONGLONG, ULONG>> seen;  // size and capacity after each step
  for (const auto& step : steps) {
    ASSERT_EQ(step(), S_OK);
    seen.emplace_back(Size(), bytes_->capacity_units());
  }
  EXPECT_EQ(seen, (std::vector<std::pair<ULONGLONG, ULONG>>{
                      {1048575, 1}, {1048575, 1}, {1048576, 1}, {500, 1}, {1048577, 2}, {3 * 1048576 + 1, 4}}));
  std::vector<std::uint8_t> back(1000);
  ULONG read = 0;
  ASSERT_EQ(bytes_->ReadAt(At(0), back.data(), 1000, &read), S_OK);
  data.resize(500);
  data.resize(1000, 0);
  EXPECT_EQ(back, data);
  memory_.set_limit(4 * 1048576);
  EXPECT_EQ(Write(4 * 1048576, {1}), STG_E_INSUFFICIENTMEMORY);
  EXPECT_EQ(bytes_->SetSize(At(5000000)), STG_E_INSUFFICIENTMEMORY);
  EXPECT_EQ(std::pair(Size(), bytes_->capacity_units()), std::pair(ULONGLONG{3 * 1048576 + 1}, ULONG{4}));
  ASSERT_EQ(bytes_->ReadAt(At(0), back.data(), 2, &read), S_OK);
  EXPECT_EQ(back[1], 1);
}

// What every kind answers alike: a write of nothing succeeds without growing, a null buffer
// with a count is refused, regions cannot be locked, Stat checks its flags and pointer. Offsets and counts
// whose sums pass 2^64 or the 4 GiB limit are refused, nothing is written and the size stays
// (a wrapped sum once let a write land before the block).
TEST(LockBytes, EveryKindAnswersAlikeAndRefusesHostileOffsets) {
  rectest::LimitedMemory memory;
  ILockBytes* memory_kind = nullptr;
  ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, 1, &memory_kind), S_OK);
  int block = 0;
  ILockBytes* refused = nullptr;
  EXPECT_EQ(CreateILockBytesOnHGlobal(&block, 1, &refused), E_INVALIDARG) << "a caller's block is refused";
  const std::pair<ILockBytes*, const char*> kinds[] = {
      {new CLockBytesTvk(&memory), "tvk"}, {new CLockBytes2(std::make_shared<CCompositeBuffer>()), "2"}, {memory_kind, "memory"}};
  const std::pair<ULONGLONG, ULONG> ranges[] = {{~0ull, 2}, {~0ull - 15, 32}, {0xFFFFFFF0ull, 32}, {1ull << 32, 1}, {1ull << 63, 64}};
  std::vector<std::uint8_t> data(64, 0xAB);
  for (const auto& [bytes, name] : kinds) {
    SCOPED_TRACE(name);
    ULONG done = 5;
    EXPECT_EQ(std::pair(bytes->WriteAt(At(10), nullptr, 0, &done), done), std::pair(S_OK, ULONG{0}));
    EXPECT_TRUE(FAILED(bytes->WriteAt(At(0), nullptr, 1, &done)));
    EXPECT_EQ(bytes->LockRegion(At(0), At(1), LOCK_WRITE), STG_E_INVALIDFUNCTION);
    STATSTG stat;
    ASSERT_EQ(bytes->Stat(&stat, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(std::pair(stat.type, stat.cbSize.QuadPart), std::pair(DWORD{STGTY_LOCKBYTES}, ULONGLONG{0})) << "a write of nothing does not grow";
    CoTaskMemFree(stat.pwcsName);
    EXPECT_EQ(bytes->Stat(&stat, STATFLAG_NOOPEN), STG_E_INVALIDFLAG);
    EXPECT_EQ(bytes->Stat(nullptr, STATFLAG_DEFAULT), STG_E_INVALIDPOINTER);
    ASSERT_EQ(bytes->WriteAt(At(0), data.data(), 16, &done), S_OK);
    for (const auto& [offset, count] : ranges) {
      SCOPED_TRACE(offset);
      EXPECT_TRUE(FAILED(bytes->WriteAt(At(offset), data.data(), count, &done)) && done == 0);
      bytes->ReadAt(At(offset), data.data(), count, &done);
      EXPECT_EQ(done, 0u);
      EXPECT_TRUE(offset <= 0xFFFFFFFFull || FAILED(bytes->SetSize(At(offset))));
      ASSERT_EQ(bytes->Stat(&stat, STATFLAG_NONAME), S_OK);
      EXPECT_EQ(stat.cbSize.QuadPart, 16u);
    }
    // The real use: a compound document written on the lock bytes and opened again from them.
    std::vector<std::uint8_t> contents(300000);
    std::iota(contents.begin(), contents.end(), 1);
    ComPtr<IStorage> root;
    ASSERT_EQ(StgCreateDocfileOnILockBytes(bytes, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, root.Out()), S_OK);
    rectest::WriteStream(root.get(), L"data", contents);
    root.Reset();
    ASSERT_EQ(StgOpenStorageOnILockBytes(bytes, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, root.Out()), S_OK);
    EXPECT_EQ(rectest::ReadStreamAt(root.get(), L"data"), contents);
    root.Reset();
    bytes->Release();
  }
  EXPECT_EQ(memory.live(), 0u);
}

// Writing past the end resizes first; reads stop at the size and refuse to start past it;
// the lock bytes give back their share of the buffer. Growth of the buffer adds zeros.
TEST(LockBytes2, ResultsOfItsSlotsAndTheBufferBounds) {
  auto buffer = std::make_shared<CCompositeBuffer>();
  auto* bytes = new CLockBytes2(buffer);
  ULONG done = 0;
  const std::uint8_t data[] = {1, 2, 3};
  std::uint8_t back[4] = {};
  ASSERT_EQ(bytes->WriteAt(At(1048575), data, 3, &done), S_OK);
  EXPECT_EQ(std::pair(done, buffer->GetSize()), std::pair(ULONG{3}, std::size_t{1048578}));
  const std::tuple<ULONGLONG, std::uint8_t*, HRESULT, ULONG> reads[] = {
      {1048576, back, S_OK, 2}, {1048578, back, S_OK, 0}, {1048579, back, E_INVALIDARG, 0}, {0, nullptr, E_INVALIDARG, 0}};
  for (const auto& [offset, into, hr, expected] : reads) {
    done = 99;
    EXPECT_EQ(std::pair(bytes->ReadAt(At(offset), into, 1 + 3 * (into != nullptr), &done), done), std::pair(hr, expected)) << offset;
  }
  EXPECT_EQ(back[1], 3);
  EXPECT_FALSE(buffer->Write(1048576, data, 3)) << "past the size";
  EXPECT_FALSE(buffer->Read(1048579, nullptr, 0));
  ASSERT_TRUE(buffer->Resize(1048575) && buffer->Resize(1048578) && buffer->Read(1048575, back, 3));
  EXPECT_EQ(back[0], 0) << "bytes a growth adds read as zero";
  EXPECT_EQ(bytes->SetSize(At(5)), S_OK);
  EXPECT_EQ(buffer->GetPageCount(), 1u);
  bytes->Release();
  EXPECT_EQ(buffer.use_count(), 1) << "the lock bytes gave back their share";
  ASSERT_TRUE(buffer->Resize(0));
  EXPECT_EQ(buffer->GetPageCount(), 0u);
}

}  // namespace
}  // namespace recfilereader
