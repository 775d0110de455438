#include "data/packagedecompressor.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <numeric>
#include <tuple>

#include "sources/recsourcesmgr.h"
#include "support/fakeowner.h"
#include "support/propvarianttext.h"

namespace recfilereader {
namespace {

// Bytes 1..10 as a package of `handle` with cycle ID 42 and the largest timestamp, which the
// reports must show unsigned.
struct Package {
  explicit Package(ULONG flags, ULONG handle = 7, ULONG size = 10) : bytes(10) {
    std::iota(bytes.begin(), bytes.end(), 1);
    record.SourceHandle = handle;
    record.Timestamp = ~0ull;
    record.DataSize = size;
    record.Data = bytes.data();
    record.Descriptor.CycleId = 42;
    record.Descriptor.PackageFlags = flags;
  }
  std::vector<std::uint8_t> bytes;
  DataPackageRecord record{};
};

// The test compression library, loaded and made as the reader does: method 1 reverses the
// data, method 3 fails with 7, any other method is unknown.
class Decompression : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = dlopen(TEST_COMPRESSION_PLUGIN, RTLD_NOW);
    ASSERT_NE(library_, nullptr) << dlerror();
    made_ = reinterpret_cast<CreateCompressionAlgoFn>(dlsym(library_, kCreateCompressionAlgoEntry))(&owner);
    algo = static_cast<ICompressionAlgo*>(made_->GetInterface(L"ICompressionAlgo"));
  }
  void TearDown() override {
    if (made_ != nullptr) static_cast<IObjectDestroy*>(made_->GetInterface(L"IObjectDestroy"))->Destroy();
    if (library_ != nullptr) dlclose(library_);
  }
  template <class Result>
  Result Ask(const char* counter) {
    return reinterpret_cast<Result (*)()>(dlsym(library_, counter))();
  }

  rectest::FakeOwner owner;
  ICompressionAlgo* algo = nullptr;
  SourceClassMap classes{{7, L"Camera"}};
  void* library_ = nullptr;
  IInterfaceAccess* made_ = nullptr;
};

TEST_F(Decompression, TrailerAndMethodBitsAreSettledAndOnlySecondFormatFilesDecompressed) {
  const struct {
    const char* name;
    ULONG flags, size;
    bool signed_second, dont_decompress, library;
    ULONG size_after, flags_after;
    int reversed;  // bytes the library reversed, 0 when it was not called
  } cases[] = {
      {"method known", 0x01, 10, true, false, true, 10, 0x00, 10},
      {"trailer bit 4 with the method", 0x11, 10, true, false, true, 2, 0x10, 2},
      {"trailer longer than the data", 0x10, 5, true, false, true, 0, 0x10, 0},
      {"first or third identifier", 0x21, 10, false, false, true, 2, 0x20, 0},
      {"DontDecompressPackets", 0x01, 10, true, true, true, 10, 0x01, 0},
      {"no library", 0x01, 10, true, false, false, 10, 0x01, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CPackageDecompressor decompressor(&owner, c.library ? algo : nullptr);
    Package p(c.flags, 7, c.size), expected(0);
    const int calls = Ask<int>("TestCompressionDecompressed");
    decompressor.FinishForHost(p.record, c.signed_second, c.dont_decompress, classes);
    EXPECT_EQ(std::tuple(p.record.DataSize, p.record.Descriptor.PackageFlags), std::tuple(c.size_after, c.flags_after));
    EXPECT_EQ(Ask<int>("TestCompressionDecompressed") - calls, c.reversed != 0 ? 1 : 0);
    std::reverse(expected.bytes.begin(), expected.bytes.begin() + c.reversed);
    EXPECT_EQ(p.bytes, expected.bytes);
  }
  EXPECT_TRUE(owner.Reports().empty());
}

TEST_F(Decompression, FailuresAreReportedEachTimeAndAnUnknownMethodOncePerOpen) {
  CPackageDecompressor decompressor(&owner, algo);
  for (const auto& [flags, handle] : {std::pair{3u, 7u}, {5u, 9u}, {3u, 7u}, {6u, 7u}, {0u, 0u}, {6u, 7u}}) {
    if (flags == 0) decompressor.ArmUnknownMethodReport();  // a new open
    Package p(flags, handle);
    decompressor.FinishForHost(p.record, true, false, classes);
  }
  // The library is told the source's class; a source without one is entered with the empty text.
  EXPECT_EQ(std::wstring(Ask<const wchar_t*>("TestCompressionLastSourceClass")), L"Camera");
  EXPECT_EQ(classes, (SourceClassMap{{7, L"Camera"}, {9, L""}}));
  const std::wstring failed = L"Failed to decompress data package (error 7): compression method 3, timestamp "
                              L"18446744073709551615, cycle ID 42";
  const auto unknown = [](const wchar_t* method) {
    return L"Unknown compression method (" + std::wstring(method) +
           L") for data package: timestamp 18446744073709551615, cycle ID 42";
  };
  std::vector<std::tuple<DWORD, DWORD, std::wstring>> seen;
  for (const auto& r : owner.Reports()) seen.emplace_back(r.severity, r.id, r.text);
  EXPECT_EQ(seen, (decltype(seen){{2, 0, failed}, {0, 100, unknown(L"5")}, {2, 0, failed}, {0, 100, unknown(L"6")}}));
}

TEST(SourceClassMap, NamesTheClassOfEachSourceWithAHandleAndAClassOnceTheMapIsEmpty) {
  CRecSourcesMgr sources(nullptr);
  sources.ReplaceSources({{{L"Handle", rectest::UI4(7)}, {L"Class", rectest::Lpwstr(L"Camera")}},
                          {{L"Handle", rectest::I4(8)}}, {{L"Class", rectest::Lpwstr(L"Orphan")}}});
  SourceClassMap classes;
  BuildSourceClassMap(sources, classes);
  EXPECT_EQ(classes, (SourceClassMap{{7, L"Camera"}}));
  BuildSourceClassMap(sources, classes = {{1, L"kept"}});
  EXPECT_EQ(classes, (SourceClassMap{{1, L"kept"}}));
}

}  // namespace
}  // namespace recfilereader
