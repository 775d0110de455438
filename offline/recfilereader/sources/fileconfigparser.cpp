#include "sources/fileconfigparser.h"

#include <new>

#include "base/exceptions.h"
#include "base/location.h"
#include "platform/storage/comobject.h"
#include "properties/lockbytestvk.h"
#include "properties/propstorageloader.h"
#include "recfilereader/propvariant.h"

namespace recfilereader {
namespace {

constexpr SourceTag kParseConfig{"fileconfigparser", "CFileConfigParser::ParseConfigInfo"};
constexpr SourceTag kParseDevice{"fileconfigparser", "CFileConfigParser::ParseDeviceIStorage"};
constexpr DWORD kReadMode = STGM_READ | STGM_SHARE_EXCLUSIVE;

// Frees the element name of one enumeration step.
struct ElementName {
  LPOLESTR name;
  ~ElementName() { CoTaskMemFree(name); }
};

}  // namespace

void CFileConfigParser::ParseConfigInfo(std::span<const std::uint8_t> payload, DeviceList& devices,
                                        IExMemoryMgr* memory) {
  ComPtr<ILockBytes> bytes;
  HRESULT hr = CreateDocumentLockBytes(memory, bytes.Out());
  if (FAILED(hr)) ThrowSystemError(hr, kParseConfig);
  ULARGE_INTEGER size{};
  size.QuadPart = payload.size();
  if (payload.size() > 0xFFFFFFFFu || FAILED(bytes->SetSize(size)))
    throw exception_rt(MemoryFailureText(MemorySource::kLockBytes, payload.size(), kParseConfig));
  ULONG written = 0;
  hr = bytes->WriteAt(ULARGE_INTEGER{}, payload.data(), static_cast<ULONG>(payload.size()), &written);
  if (FAILED(hr)) ThrowSystemError(hr, kParseConfig);

  ComPtr<IStorage> root;
  hr = StgOpenStorageOnILockBytes(bytes.get(), nullptr, kReadMode, nullptr, 0, root.Out());
  if (FAILED(hr)) ThrowSystemError(hr, kParseConfig);
  ComPtr<IEnumSTATSTG> elements;
  hr = root->EnumElements(0, nullptr, 0, elements.Out());
  if (FAILED(hr)) ThrowSystemError(hr, kParseConfig);
  STATSTG element;
  ULONG fetched = 0;
  while ((hr = elements->Next(1, &element, &fetched)) == S_OK && fetched == 1) {
    const ElementName name{element.pwcsName};
    if (element.type != STGTY_STORAGE) continue;
    ComPtr<IStorage> device;
    hr = root->OpenStorage(name.name, nullptr, kReadMode, nullptr, 0, device.Out());
    if (FAILED(hr)) ThrowSystemError(hr, kParseConfig);
    ParseDeviceIStorage(device.get(), devices, memory);
  }
  if (FAILED(hr)) ThrowSystemError(hr, kParseConfig);
}

void CFileConfigParser::ParseDeviceIStorage(IStorage* storage, DeviceList& devices,
                                            IExMemoryMgr* memory) {
  PropertyMap properties;
  CPropStorageLoader(memory).Load(storage, kDeviceConfigFormatId, properties);
  if (properties.find(L"Handle") == properties.end())
    ThrowLocated<exception_rt>(L"No handle property", kParseDevice);
  if (properties.find(L"Class") == properties.end())
    ThrowLocated<exception_rt>(L"No class name property", kParseDevice);
  devices.push_back(std::move(properties));
}

}  // namespace recfilereader
