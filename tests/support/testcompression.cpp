// A compression library for tests, loaded by the reader through
// RECFILEREADER_COMPRESSION_LIBRARY. It knows one method (1): the payload is stored with its
// bytes in reverse order, so decompressing reverses them back. Method 3 always fails with
// kTestCompressionFailure; every other method is unknown. Counters exported under C names let
// tests see how the reader used it.
#include <algorithm>
#include <cwchar>
#include <string>

#include "recfilereader/compression.h"

namespace {

int g_created = 0;
int g_destroyed = 0;
int g_decompressed = 0;              // DecompressPackage calls
std::wstring g_last_source_class;    // the class name of the last call
constexpr LONG kTestCompressionFailure = 7;
constexpr ULONG kFailingMethod = 3;

class TestCompression final : public IInterfaceAccess, public IObjectDestroy, public ICompressionAlgo {
 public:
  void* GetInterface(const wchar_t* name) override {
    if (name == nullptr) return nullptr;
    if (std::wcscmp(name, L"ICompressionAlgo") == 0) return static_cast<ICompressionAlgo*>(this);
    if (std::wcscmp(name, L"IObjectDestroy") == 0) return static_cast<IObjectDestroy*>(this);
    return nullptr;
  }
  void Destroy() override {
    ++g_destroyed;
    delete this;
  }
  LONG CompressPackage(DataPackageRecord* record, const wchar_t*) override { return Reverse(record); }
  LONG DecompressPackage(DataPackageRecord* record, const wchar_t* source_class) override {
    ++g_decompressed;
    g_last_source_class = source_class != nullptr ? source_class : L"(null)";
    if ((record->Descriptor.PackageFlags & kPackageFlagMethodMask) == kFailingMethod) return kTestCompressionFailure;
    return Reverse(record);
  }

 private:
  static LONG Reverse(DataPackageRecord* record) {
    if ((record->Descriptor.PackageFlags & kPackageFlagMethodMask) != 1) return kCompressionUnknownMethod;
    auto* bytes = static_cast<unsigned char*>(record->Data);
    std::reverse(bytes, bytes + record->DataSize);
    record->Descriptor.PackageFlags &= ~kPackageFlagMethodMask;
    return kCompressionOk;
  }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) IInterfaceAccess* CreateCompressionAlgo(IInterfaceAccess*) {
  ++g_created;
  return new TestCompression;
}

extern "C" __attribute__((visibility("default"))) int TestCompressionCreated() { return g_created; }
extern "C" __attribute__((visibility("default"))) int TestCompressionDestroyed() { return g_destroyed; }
extern "C" __attribute__((visibility("default"))) int TestCompressionDecompressed() { return g_decompressed; }
extern "C" __attribute__((visibility("default"))) const wchar_t* TestCompressionLastSourceClass() {
  return g_last_source_class.c_str();
}
