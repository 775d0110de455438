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

HRESULT StgCreateDocfileOnILockBytes(ILockBytes* lock_bytes, DWORD mode, DWORD reserved,
                                     IStorage** root) {
  return ComGuard([&]() -> HRESULT {
    if (root == nullptr || lock_bytes == nullptr) return STG_E_INVALIDPOINTER;
    *root = nullptr;
    if (reserved != 0) return STG_E_INVALIDPARAMETER;
    if (const HRESULT hr = recfilereader::CheckDocumentMode(mode); FAILED(hr)) return hr;
    if (!recfilereader::ModeWrites(mode)) return STG_E_INVALIDFLAG;
    auto doc = CCompoundDocument::Create(lock_bytes);
    *root = new CDocStorage(doc, doc->root(), mode & ~STGM_CREATE);
    return S_OK;
  });
}

HRESULT StgOpenStorageOnILockBytes(ILockBytes* lock_bytes, IStorage* priority, DWORD mode,
                                   SNB exclude, DWORD reserved, IStorage** root) {
  return ComGuard([&]() -> HRESULT {
    if (root == nullptr || lock_bytes == nullptr) return STG_E_INVALIDPOINTER;
    *root = nullptr;
    // Priority opening and emptying excluded elements on open are not offered.
    if (priority != nullptr || exclude != nullptr || reserved != 0) return STG_E_INVALIDPARAMETER;
    if (const HRESULT hr = recfilereader::CheckDocumentMode(mode); FAILED(hr)) return hr;
    if ((mode & STGM_CREATE) != 0) return STG_E_INVALIDFLAG;
    auto doc = CCompoundDocument::Open(lock_bytes, recfilereader::ModeWrites(mode));
    *root = new CDocStorage(doc, doc->root(), mode);
    return S_OK;
  });
}

HRESULT StgIsStorageILockBytes(ILockBytes* lock_bytes) {
  if (lock_bytes == nullptr) return STG_E_INVALIDPOINTER;
  std::array<std::uint8_t, recfilereader::cfb::kSignature.size()> start{};
  ULARGE_INTEGER at;
  at.QuadPart = 0;
  ULONG read = 0;
  const HRESULT hr = lock_bytes->ReadAt(at, start.data(), static_cast<ULONG>(start.size()), &read);
  if (FAILED(hr) && read == 0) return hr;
  return read == start.size() && start == recfilereader::cfb::kSignature ? S_OK : S_FALSE;
}

HRESULT CreateILockBytesOnHGlobal(HGLOBAL global, BOOL /*delete_on_release*/, ILockBytes** lock_bytes) {
  return ComGuard([&]() -> HRESULT {
    if (lock_bytes == nullptr) return E_INVALIDARG;
    *lock_bytes = nullptr;
    if (global != nullptr) return E_INVALIDARG;
    *lock_bytes = new recfilereader::CMemoryLockBytes();
    return S_OK;
  });
}
