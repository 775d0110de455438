#include "sources/fileconfigsaver.h"

#include <new>
#include <string>

#include "base/exceptions.h"
#include "base/location.h"
#include "platform/storage/comobject.h"
#include "platform/textconv.h"
#include "properties/lockbytestvk.h"
#include "properties/propstoragesaver.h"

namespace recfilereader {
namespace {

constexpr SourceTag kSaveConfig{"fileconfigsaver", "CFileConfigSaver::SaveFileConfig"};
constexpr DWORD kCreateMode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

// The device's "Name" as text; empty when it has none or it is not a text.
std::wstring DeviceName(const PropertyMap& device) {
  const auto it = device.find(L"Name");
  if (it == device.end()) return {};
  const PROPVARIANT& value = it->second.get();
  switch (value.vt) {
    case VT_LPWSTR: return value.pwszVal != nullptr ? value.pwszVal : L"";
    case VT_BSTR: return value.bstrVal != nullptr ? value.bstrVal : L"";
    case VT_LPSTR: return value.pszVal != nullptr ? Utf8ToWide(value.pszVal) : L"";
    default: return {};
  }
}

}  // namespace

void CFileConfigSaver::SaveFileConfig(IExMemoryMgr* memory, const DeviceList& devices,
                                      std::vector<std::uint8_t>& payload) {
  ComPtr<ILockBytes> bytes;
  HRESULT hr = CreateDocumentLockBytes(memory, bytes.Out());
  if (FAILED(hr)) ThrowSystemError(hr, kSaveConfig);
  {
    ComPtr<IStorage> root;
    hr = StgCreateDocfileOnILockBytes(bytes.get(), kCreateMode, 0, root.Out());
    if (FAILED(hr)) ThrowSystemError(hr, kSaveConfig);
    for (const PropertyMap& device : devices) {
      const std::wstring name = DeviceName(device);
      if (name.empty()) continue;
      ComPtr<IStorage> storage;
      if (FAILED(root->CreateStorage(name.c_str(), kCreateMode, 0, 0, storage.Out()))) continue;
      CPropStorageSaver().Save(storage.get(), kDeviceConfigFormatId, device);
    }
    // Releasing the root completes the document on the lock bytes.
  }
  STATSTG stat;
  hr = bytes->Stat(&stat, STATFLAG_NONAME);
  if (FAILED(hr)) ThrowSystemError(hr, kSaveConfig);
  const std::size_t size = static_cast<std::size_t>(stat.cbSize.QuadPart);
  try {
    payload.resize(size);
  } catch (const std::bad_alloc&) {
    throw exception_rt(MemoryFailureText(MemorySource::kOperatorNew, size, kSaveConfig));
  }
  ULONG read = 0;
  hr = bytes->ReadAt(ULARGE_INTEGER{}, payload.data(), static_cast<ULONG>(size), &read);
  if (FAILED(hr)) ThrowSystemError(hr, kSaveConfig);
}

}  // namespace recfilereader
