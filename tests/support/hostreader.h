// A reader as a host holds it: created without a host, destroyed with the object, its
// interfaces asked for by name, and its packages read back with their buffers handed back to
// the reader's memory manager.
#ifndef RECFILEREADER_TESTS_SUPPORT_HOSTREADER_H
#define RECFILEREADER_TESTS_SUPPORT_HOSTREADER_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/textconv.h"
#include "recfilereader/recfilereader.h"

namespace rectest {

struct HostPackage {
  ULONG source = 0;
  ULONGLONG timestamp = 0;
  std::vector<std::uint8_t> data;
  std::vector<std::uint8_t> extra{};
  ULONG flags = 0;
  bool operator==(const HostPackage&) const = default;
};

class HostReader {
 public:
  HostReader() : access_(CreateRecordingReader(nullptr)) {}
  ~HostReader() { Face<IObjectDestroy>(L"IObjectDestroy")->Destroy(); }
  HostReader(const HostReader&) = delete;
  HostReader& operator=(const HostReader&) = delete;

  template <class T>
  T* Face(const wchar_t* name) {
    return static_cast<T*>(access_->GetInterface(name));
  }
  IInterfaceAccess* access() { return access_; }
  IRecordingReaderEx* reader() { return Face<IRecordingReaderEx>(L"IRecordingReaderEx"); }
  IRecordingDataEx* data() { return Face<IRecordingDataEx>(L"IRecordingDataEx"); }
  IRecordingError* error() { return Face<IRecordingError>(L"IRecordingError"); }
  std::string ErrorText() { return recfilereader::WideToUtf8(error()->GetErrorText()); }

  // Reads one package in `direction`.
  bool Read(ULONG direction, HostPackage& out) {
    DataPackageRecord record{};
    if (!data()->ReadDataPackage(direction, &record)) return false;
    const auto* bytes = static_cast<const std::uint8_t*>(record.Data);
    const auto* extra = static_cast<const std::uint8_t*>(record.ExtraData);
    out = {record.SourceHandle, record.Timestamp, {bytes, bytes + record.DataSize},
           {extra, extra + record.ExtraSize}, record.Descriptor.PackageFlags};
    auto* memory = Face<IExMemoryMgr>(L"IExMemoryMgr");
    memory->Free(record.Data);
    if (record.ExtraData != nullptr) memory->Free(record.ExtraData);
    return true;
  }

 private:
  IInterfaceAccess* access_;
};

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_SUPPORT_HOSTREADER_H
