#include "platform/storage/storagecopy.h"

#include <cwchar>
#include <utility>
#include <vector>

#include "platform/hresults.h"
#include "platform/storage/comobject.h"
#include "recfilereader/propvariant.h"

namespace recfilereader {

namespace {

constexpr DWORD kReadMode = STGM_READ | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kCreateMode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kNewMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

bool Listed(SNB names, const wchar_t* name) {
  for (SNB n = names; n != nullptr && *n != nullptr; ++n) {
    if (std::wcscmp(*n, name) == 0) return true;
  }
  return false;
}

HRESULT CopyStream(IStorage* source, const OLECHAR* name, IStorage* target,
                   const OLECHAR* new_name, DWORD create_mode) {
  ComPtr<IStream> from;
  ComPtr<IStream> to;
  HRESULT hr = source->OpenStream(name, nullptr, kReadMode, 0, from.Out());
  if (SUCCEEDED(hr)) hr = target->CreateStream(new_name, create_mode, 0, 0, to.Out());
  ULARGE_INTEGER all;
  all.QuadPart = ~0ull;
  if (SUCCEEDED(hr)) hr = from->CopyTo(to.get(), all, nullptr, nullptr);
  return hr;
}

struct StoragePair {
  ComPtr<IStorage> from;
  ComPtr<IStorage> to;
  bool top;
};

HRESULT CopyOne(StoragePair& pair, const CopyExclusions& exclusions,
                std::vector<StoragePair>& pending) {
  STATSTG stat{};
  HRESULT hr = pair.from->Stat(&stat, STATFLAG_NONAME);
  if (SUCCEEDED(hr)) hr = pair.to->SetClass(stat.clsid);
  if (SUCCEEDED(hr)) hr = pair.to->SetStateBits(stat.grfStateBits, ~DWORD{0});
  ComPtr<IEnumSTATSTG> elements;
  if (SUCCEEDED(hr)) hr = pair.from->EnumElements(0, nullptr, 0, elements.Out());
  while (SUCCEEDED(hr)) {
    STATSTG element{};
    ULONG fetched = 0;
    hr = elements->Next(1, &element, &fetched);
    if (hr != S_OK || fetched == 0) break;
    const bool stream = element.type == STGTY_STREAM;
    const bool skip = pair.top && (Listed(exclusions.names, element.pwcsName) ||
                                   (stream ? exclusions.streams : exclusions.storages));
    if (!skip && stream) {
      hr = CopyStream(pair.from.get(), element.pwcsName, pair.to.get(), element.pwcsName, kCreateMode);
    } else if (!skip && element.type == STGTY_STORAGE) {
      StoragePair child{{}, {}, false};
      hr = pair.from->OpenStorage(element.pwcsName, nullptr, kReadMode, nullptr, 0, child.from.Out());
      if (SUCCEEDED(hr)) hr = pair.to->CreateStorage(element.pwcsName, kCreateMode, 0, 0, child.to.Out());
      if (SUCCEEDED(hr)) pending.push_back(std::move(child));
    }
    CoTaskMemFree(element.pwcsName);
  }
  return FAILED(hr) ? hr : S_OK;
}

}  // namespace

HRESULT CopyStorageContents(IStorage* source, IStorage* target, const CopyExclusions& exclusions) {
  if (source == nullptr || target == nullptr) return STG_E_INVALIDPOINTER;
  std::vector<StoragePair> pending;
  StoragePair first{{}, {}, true};
  source->AddRef();
  *first.from.Out() = source;
  target->AddRef();
  *first.to.Out() = target;
  pending.push_back(std::move(first));
  while (!pending.empty()) {
    StoragePair pair = std::move(pending.back());
    pending.pop_back();
    const HRESULT hr = CopyOne(pair, exclusions, pending);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT CopyElement(IStorage* source, const OLECHAR* name, IStorage* target, const OLECHAR* new_name) {
  ComPtr<IStorage> from;
  HRESULT hr = source->OpenStorage(name, nullptr, kReadMode, nullptr, 0, from.Out());
  if (hr == STG_E_FILENOTFOUND) return CopyStream(source, name, target, new_name, kNewMode);
  if (FAILED(hr)) return hr;
  ComPtr<IStorage> to;
  hr = target->CreateStorage(new_name, kNewMode, 0, 0, to.Out());
  if (FAILED(hr)) return hr;
  return CopyStorageContents(from.get(), to.get(), CopyExclusions{});
}

}  // namespace recfilereader
