// The entry points of structured storage over lock bytes.
#include "platform/storage/storageinterfaces.h"

#include <array>

#include "platform/hresults.h"
#include "platform/storage/cfbformat.h"
#include "platform/storage/comobject.h"
#include "platform/storage/compounddocument.h"
#include "platform/storage/docstorage.h"
#include "platform/storage/elementmode.h"
#include "platform/storage/memorylockbytes.h"

using recfilereader::CCompoundDocument;
using recfilereader::CDocStorage;
using recfilereader::ComGuard;

HRESULT StgCreateDocfileOnILockBytes(ILockBytes* lockBytes, DWORD mode, DWORD reserved,
                                     IStorage** root) {
  return ComGuard([&]() -> HRESULT {
    if (root == nullptr || lockBytes == nullptr) return STG_E_INVALIDPOINTER;
    *root = nullptr;
    if (reserved != 0) return STG_E_INVALIDPARAMETER;
    if (const HRESULT hr = recfilereader::CheckDocumentMode(mode); FAILED(hr)) return hr;
    if (!recfilereader::ModeWrites(mode)) return STG_E_INVALIDFLAG;
    auto doc = CCompoundDocument::Create(lockBytes);
    *root = new CDocStorage(doc, doc->root(), mode & ~STGM_CREATE);
    return S_OK;
  });
}

HRESULT StgOpenStorageOnILockBytes(ILockBytes* lockBytes, IStorage* priority, DWORD mode,
                                   SNB exclude, DWORD reserved, IStorage** root) {
  return ComGuard([&]() -> HRESULT {
    if (root == nullptr || lockBytes == nullptr) return STG_E_INVALIDPOINTER;
    *root = nullptr;
    // Priority opening and emptying excluded elements on open are not offered.
    if (priority != nullptr || exclude != nullptr || reserved != 0) return STG_E_INVALIDPARAMETER;
    if (const HRESULT hr = recfilereader::CheckDocumentMode(mode); FAILED(hr)) return hr;
    if ((mode & STGM_CREATE) != 0) return STG_E_INVALIDFLAG;
    auto doc = CCompoundDocument::Open(lockBytes, recfilereader::ModeWrites(mode));
    *root = new CDocStorage(doc, doc->root(), mode);
    return S_OK;
  });
}

HRESULT StgIsStorageILockBytes(ILockBytes* lockBytes) {
  if (lockBytes == nullptr) return STG_E_INVALIDPOINTER;
  std::array<std::uint8_t, recfilereader::cfb::kSignature.size()> start{};
  ULARGE_INTEGER at;
  at.QuadPart = 0;
  ULONG read = 0;
  const HRESULT hr = lockBytes->ReadAt(at, start.data(), static_cast<ULONG>(start.size()), &read);
  if (FAILED(hr) && read == 0) return hr;
  return read == start.size() && start == recfilereader::cfb::kSignature ? S_OK : S_FALSE;
}

HRESULT CreateILockBytesOnHGlobal(HGLOBAL global, BOOL /*deleteOnRelease*/, ILockBytes** lockBytes) {
  return ComGuard([&]() -> HRESULT {
    if (lockBytes == nullptr) return E_INVALIDARG;
    *lockBytes = nullptr;
    if (global != nullptr) return E_INVALIDARG;
    *lockBytes = new recfilereader::CMemoryLockBytes();
    return S_OK;
  });
}
