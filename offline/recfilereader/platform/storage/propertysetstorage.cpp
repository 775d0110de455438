#include "platform/storage/propertysetstorage.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/hresults.h"
#include "platform/storage/propertysetcodec.h"
#include "platform/storage/propertysetcodepage.h"
#include "platform/storage/comobject.h"
#include "platform/storage/propertysetenum.h"
#include "platform/storage/propertysetnames.h"
#include "platform/storage/propertystorage.h"
#include "recfilereader/propvariant.h"

namespace recfilereader {
namespace {

// The records of the sets held by one stream, or none when it is no property set.
void AppendSetsOfStream(IStorage* storage, const STATSTG& element,
                        std::vector<STATPROPSETSTG>* sets) {
  FMTID named;
  if (element.type != STGTY_STREAM || element.pwcsName == nullptr ||
      !PropStgNameToFmtId(element.pwcsName, &named))
    return;
  ComPtr<IStream> stream;
  if (FAILED(storage->OpenStream(element.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                 stream.Out())))
    return;
  std::vector<std::uint8_t> bytes;
  if (FAILED(ReadWholeStream(stream.get(), &bytes))) return;
  PropertySetData data;
  if (FAILED(DecodePropertySet(bytes, &data))) return;
  // An empty stream holds no set.
  for (const PropertySection& section : data.sections) {
    STATPROPSETSTG stat;
    std::memset(&stat, 0, sizeof stat);
    stat.fmtid = section.fmtid;
    stat.clsid = data.clsid;
    // A section without a code page holds 8-bit text of the western code page.
    if (section.code_page.value_or(kCodePageWestern) != kCodePageUnicode)
      stat.grfFlags |= PROPSETFLAG_ANSI;
    stat.mtime = element.mtime;
    stat.ctime = element.ctime;
    stat.atime = element.atime;
    stat.dwOSVersion = data.os_version;
    sets->push_back(stat);
  }
}

}  // namespace

CPropertySetStorage::CPropertySetStorage(IStorage* storage) : storage_(storage) {
  storage_->AddRef();
}

CPropertySetStorage::~CPropertySetStorage() { storage_->Release(); }

HRESULT CPropertySetStorage::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IPropertySetStorage) {
    *object = static_cast<IPropertySetStorage*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CPropertySetStorage::AddRef() { return ++references_; }

ULONG CPropertySetStorage::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT CPropertySetStorage::Create(REFFMTID fmtid, const CLSID* clsid, DWORD flags, DWORD mode,
                                    IPropertyStorage** storage) {
  if (storage == nullptr) return STG_E_INVALIDPOINTER;
  *storage = nullptr;
  if ((flags & PROPSETFLAG_NONSIMPLE) != 0 ||
      (flags & ~(PROPSETFLAG_ANSI | PROPSETFLAG_UNBUFFERED | PROPSETFLAG_CASE_SENSITIVE |
                 PROPSETFLAG_NONSIMPLE)) != 0)
    return STG_E_INVALIDFLAG;
  try {
    const std::wstring name = FmtIdToPropStgName(fmtid);
    ComPtr<IStream> stream;
    // The document summary stream holds two sets: creating one keeps the other.
    HRESULT hr = STG_E_FILENOTFOUND;
    if (SharesDocumentSummaryStream(fmtid))
      hr = storage_->OpenStream(name.c_str(), nullptr, mode & ~STGM_CREATE, 0, stream.Out());
    if (hr == STG_E_FILENOTFOUND)
      hr = storage_->CreateStream(name.c_str(), mode, 0, 0, stream.Out());
    if (FAILED(hr)) return hr;
    return CPropertyStorage::CreateNew(stream.get(), fmtid, clsid, flags, mode, storage);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CPropertySetStorage::Open(REFFMTID fmtid, DWORD mode, IPropertyStorage** storage) {
  if (storage == nullptr) return STG_E_INVALIDPOINTER;
  *storage = nullptr;
  try {
    const std::wstring name = FmtIdToPropStgName(fmtid);
    ComPtr<IStream> stream;
    HRESULT hr = storage_->OpenStream(name.c_str(), nullptr, mode, 0, stream.Out());
    if (FAILED(hr)) return hr;
    return CPropertyStorage::OpenExisting(stream.get(), fmtid, mode, storage);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CPropertySetStorage::Delete(REFFMTID fmtid) {
  try {
    const std::wstring name = FmtIdToPropStgName(fmtid);
    if (SharesDocumentSummaryStream(fmtid)) {
      const HRESULT hr = DeleteSection(name, fmtid);
      if (hr != S_FALSE) return hr;
    }
    return storage_->DestroyElement(name.c_str());
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// Takes the section of `fmtid` out of a stream that holds another one as well. S_FALSE when
// the whole stream is to go; STG_E_FILENOTFOUND when the stream lacks the section.
HRESULT CPropertySetStorage::DeleteSection(const std::wstring& name, const FMTID& fmtid) {
  ComPtr<IStream> stream;
  HRESULT hr = storage_->OpenStream(name.c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                    0, stream.Out());
  if (FAILED(hr)) return hr;
  std::vector<std::uint8_t> bytes;
  hr = ReadWholeStream(stream.get(), &bytes);
  if (FAILED(hr)) return hr;
  PropertySetData data;
  if (FAILED(DecodePropertySet(bytes, &data))) return S_FALSE;
  auto& sections = data.sections;
  const auto end = std::remove_if(sections.begin(), sections.end(),
                                  [&](const PropertySection& s) { return s.fmtid == fmtid; });
  if (end == sections.end()) return sections.empty() ? S_FALSE : STG_E_FILENOTFOUND;
  sections.erase(end, sections.end());
  if (sections.empty()) return S_FALSE;
  hr = EncodePropertySet(data, &bytes);
  return FAILED(hr) ? hr : WriteWholeStream(stream.get(), bytes);
}

HRESULT CPropertySetStorage::Enum(IEnumSTATPROPSETSTG** enumerator) {
  if (enumerator == nullptr) return STG_E_INVALIDPOINTER;
  *enumerator = nullptr;
  ComPtr<IEnumSTATSTG> elements;
  HRESULT hr = storage_->EnumElements(0, nullptr, 0, elements.Out());
  if (FAILED(hr)) return hr;
  try {
    std::vector<STATPROPSETSTG> sets;
    STATSTG element;
    ULONG fetched = 0;
    while (elements->Next(1, &element, &fetched) == S_OK && fetched == 1) {
      struct NameFree {
        LPOLESTR name;
        ~NameFree() { CoTaskMemFree(name); }
      } name_free{element.pwcsName};
      AppendSetsOfStream(storage_, element, &sets);
    }
    return CreatePropertySetEnumerator(std::move(sets), enumerator);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace recfilereader

HRESULT StgCreatePropSetStg(IStorage* storage, DWORD, IPropertySetStorage** sets) {
  if (sets == nullptr) return STG_E_INVALIDPOINTER;
  *sets = nullptr;
  if (storage == nullptr) return STG_E_INVALIDPOINTER;
  auto* created = new (std::nothrow) recfilereader::CPropertySetStorage(storage);
  if (created == nullptr) return E_OUTOFMEMORY;
  *sets = created;
  return S_OK;
}
