#include "frame/recfilereader.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "recfilereader/propvariant.h"
#include "recfilereader/recfilereader.h"
#include "platform/textconv.h"
#include "support/fakehost.h"
#include "support/hostreader.h"

namespace rectest {
void FailAllocationsAfter(long allowed);  // failingallocations.cpp: -1 lets everything through
}  // namespace rectest

namespace recfilereader {
namespace {

// Points the reader at a compression library for the test's lifetime.
class CompressionLibraryEnv {
 public:
  explicit CompressionLibraryEnv(const char* path) {
    if (path != nullptr) setenv(kCompressionLibraryVariable, path, 1);
    else unsetenv(kCompressionLibraryVariable);
  }
  ~CompressionLibraryEnv() { unsetenv(kCompressionLibraryVariable); }
};

void Destroy(IInterfaceAccess* reader) {
  static_cast<IObjectDestroy*>(reader->GetInterface(L"IObjectDestroy"))->Destroy();
}

// The performance counters themselves are the caching file reader's; here only the chain that
// reaches them through the block stream.
TEST(RecFileReader, HandsOutItsPublicInterfacesOnlyAndReachesTheCacheCounters) {
  CompressionLibraryEnv no_plugin("/nonexistent/library.so");
  rectest::HostReader host_reader;
  IInterfaceAccess* reader = host_reader.access();
  for (const wchar_t* name :
       {L"IInterfaceAccess", L"IObjectDestroy", L"IPerformanceTable", L"IRecordingSupport", L"IRecordingReader",
        L"IRecordingReaderEx", L"IRecordingData", L"IRecordingDataEx", L"IRecordingNavigate", L"IRecordingPosition",
        L"IRecordingPositionEx", L"IRecordingPositionCmp", L"IRecordingEdit", L"IRecordingSave",
        L"IRecordingRepair", L"IExMemoryMgr", L"IRecordingError", L"IObjectProperties", L"IExObjectProperties",
        L"IRecordingSources2", L"IRecordingSources", L"IRecordingMarker"}) {
    EXPECT_NE(reader->GetInterface(name), nullptr) << WideToUtf8(name);
  }
  for (const wchar_t* name : {L"IPrivSetLastError", L"IDirectPropAccess", L"IPrivTempFilesMgr",
                              L"IPrivInterfaceMgr", L"IExternalInterfaceAccess", L"IPrivRecordingMarker", L"INothing",
                              L"irecordingreader"}) {
    EXPECT_EQ(reader->GetInterface(name), nullptr) << WideToUtf8(name);
  }
  EXPECT_EQ(reader->GetInterface(nullptr), nullptr);
  PerformanceQuery query{};
  query.Mode = kPerformanceValueAndDescription;
  query.ByIndex = 1;
  query.WantedIndex = 8;
  ASSERT_TRUE(host_reader.Face<IPerformanceTable>(L"IPerformanceTable")->GetPerformanceTable(&query));
  EXPECT_STREQ(query.Name, L"CachingFileReader::UpdateByTimeout");
}

// However early memory runs out, nothing escapes what the host calls: a lookup, the memory
// manager the reader shares, ending the reader.
TEST(RecFileReader, NoExceptionReachesTheHostWhenMemoryRunsOut) {
  CompressionLibraryEnv no_plugin("/nonexistent/library.so");
  rectest::FakeHost host({L"IExMemoryMgr"});
  IInterfaceAccess* hosted = CreateRecordingReader(&host);
  EXPECT_EQ(hosted->GetInterface(L"IExMemoryMgr"), static_cast<IExMemoryMgr*>(&host.memory));
  Destroy(hosted);
  for (long allowed = 0; allowed < 4; ++allowed) {
    IInterfaceAccess* reader = CreateRecordingReader(nullptr);
    auto* memory = static_cast<IExMemoryMgr*>(reader->GetInterface(L"IExMemoryMgr"));
    void* block = memory->Allocate(16, 0);
    ASSERT_NE(block, nullptr);
    void* found = nullptr;
    bool escaped = false;
    rectest::FailAllocationsAfter(allowed);
    try {
      found = reader->GetInterface(L"IRecordingReaderEx");
      block = memory->Reallocate(block, 1 << 20);  // moves the block, and its record
      memory->Free(memory->Allocate(32, 0));
      Destroy(reader);
    } catch (...) {
      escaped = true;
    }
    rectest::FailAllocationsAfter(-1);
    EXPECT_FALSE(escaped) << allowed;
    EXPECT_NE(found, nullptr) << allowed;
    EXPECT_NE(block, nullptr) << allowed;
  }
}

TEST(RecFileReader, ItsPropertyTableIsTheOneItsComponentsReachAndCloseResetsTheState) {
  CompressionLibraryEnv no_plugin("/nonexistent/library.so");
  auto* reader = new CRecFileReader(nullptr);
  auto* table = static_cast<IObjectProperties*>(reader->GetInterface(L"IObjectProperties"));
  ASSERT_TRUE(table != nullptr && reader->context().properties() == table);
  IDirectPropAccess* direct = reader->context().direct_properties();
  PROPVARIANT value;
  PropVariantInit(&value);
  value.vt = VT_UI8;
  value.uhVal = 1234;  // a timestamp, and converted a set flag
  ASSERT_TRUE(direct->SetDirectProperty(kDirectEndTimestamp, &value));
  ASSERT_TRUE(direct->SetDirectProperty(kDirectCanExtractRecPart, &value));
  // A failed operation leaves its code; closing succeeds and clears the error.
  auto* error = static_cast<IRecordingError*>(reader->GetInterface(L"IRecordingError"));
  EXPECT_EQ(reader->RepairRecording(L"/nonexistent.rec"), false);
  EXPECT_EQ(error->GetErrorCode(), 10);
  EXPECT_EQ(reader->Close(), 1);
  EXPECT_EQ(error->GetErrorCode(), 0);
  for (const wchar_t* name : {L"EndTimestamp", L"CanExtractRecPart"}) {
    PropVariantInit(&value);
    ASSERT_TRUE(table->GetProperty(name, &value));
    EXPECT_EQ(value.uhVal, 0u) << WideToUtf8(name);  // the whole value, whatever its type
  }
  reader->Destroy();
}

using CounterFn = int (*)();

TEST(RecFileReader, LoadsTheCompressionLibraryReleasesItWhenDestroyedAndWorksWithoutIt) {
  // Holding our own handle keeps the library's counters alive across the reader's unload.
  void* library = dlopen(TEST_COMPRESSION_PLUGIN, RTLD_NOW);
  ASSERT_NE(library, nullptr) << dlerror();
  auto created = reinterpret_cast<CounterFn>(dlsym(library, "TestCompressionCreated"));
  auto destroyed = reinterpret_cast<CounterFn>(dlsym(library, "TestCompressionDestroyed"));
  const int created_before = created(), destroyed_before = destroyed();
  {
    CompressionLibraryEnv plugin(TEST_COMPRESSION_PLUGIN);
    auto* reader = new CRecFileReader(nullptr);
    EXPECT_EQ(created(), created_before + 1);
    ICompressionAlgo* algo = reader->compression();
    ASSERT_NE(algo, nullptr);
    DataPackageRecord record{};  // the library's own answer shows the interface is the one asked for
    record.Descriptor.PackageFlags = 2;
    EXPECT_EQ(algo->DecompressPackage(&record, L""), kCompressionUnknownMethod);
    reader->Destroy();
  }
  EXPECT_EQ(destroyed(), destroyed_before + 1);
  dlclose(library);
  for (const char* path : {TEST_NOENTRY_PLUGIN, "/nonexistent/library.so"}) {  // the reader works without
    CompressionLibraryEnv plugin(path);
    auto* reader = new CRecFileReader(nullptr);
    EXPECT_EQ(reader->compression(), nullptr) << path;
    reader->Destroy();
  }
}

}  // namespace
}  // namespace recfilereader
