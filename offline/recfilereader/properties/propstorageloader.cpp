#include "properties/propstorageloader.h"

#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "base/location.h"
#include "platform/hresults.h"
#include "platform/storage/comobject.h"
#include "platform/storage/propertysetinterfaces.h"
#include "platform/textconv.h"
#include "properties/propstoragetext.h"
#include "recfilereader/propvariant.h"

namespace recfilereader {
namespace {

constexpr SourceTag kLoad{"propstorageloader", "CPropStorageLoader::Load"};
constexpr SourceTag kLoadProperty{"propstorageloader", "CPropStorageLoader::LoadProperty"};
constexpr std::wstring_view kBlobPrefix = L"__blob_stream_#";
constexpr std::wstring_view kStringPrefix = L"__string_stream_#";
constexpr DWORD kReadMode = STGM_READ | STGM_SHARE_EXCLUSIVE;

bool StartsWith(const std::wstring& text, std::wstring_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Opens `name` and gives its size.
ULONG OpenStreamOfSize(IStorage* storage, const std::wstring& name, ComPtr<IStream>& stream) {
  HRESULT hr = storage->OpenStream(name.c_str(), nullptr, kReadMode, 0, stream.Out());
  if (FAILED(hr)) ThrowSystemError(hr, kLoadProperty);
  STATSTG stat;
  hr = stream->Stat(&stat, STATFLAG_NONAME);
  if (FAILED(hr)) ThrowSystemError(hr, kLoadProperty);
  if (stat.cbSize.QuadPart > 0xFFFFFFFFull) ThrowSystemError(STG_E_DOCFILECORRUPT, kLoadProperty);
  return static_cast<ULONG>(stat.cbSize.QuadPart);
}

void ReadExactly(IStream* stream, void* buffer, ULONG size) {
  ULONG read = 0;
  const HRESULT hr = stream->Read(buffer, size, &read);
  if (FAILED(hr)) ThrowSystemError(hr, kLoadProperty);
  if (read != size) ThrowSystemError(STG_E_READFAULT, kLoadProperty);
}

// The text of a string stream: UTF-16LE units up to the terminating zero unit.
std::wstring ReadStringStream(IStorage* storage, const std::wstring& name) {
  ComPtr<IStream> stream;
  const ULONG size = OpenStreamOfSize(storage, name, stream);
  std::vector<std::uint8_t> bytes(size);
  ReadExactly(stream.get(), bytes.data(), size);
  std::wstring text = Utf16LeToWide(bytes.data(), bytes.size());
  const std::size_t end = text.find(L'\0');
  if (end != std::wstring::npos) text.resize(end);
  return text;
}

// The set to read: the one of `fmtid`, else the storage's first.
void OpenSet(IPropertySetStorage* sets, const FMTID& fmtid, ComPtr<IPropertyStorage>& set) {
  const HRESULT hr = sets->Open(fmtid, kReadMode, set.Out());
  if (SUCCEEDED(hr)) return;
  if (hr != STG_E_FILENOTFOUND) ThrowSystemError(hr, kLoad);
  ComPtr<IEnumSTATPROPSETSTG> list;
  HRESULT enum_hr = sets->Enum(list.Out());
  if (FAILED(enum_hr)) ThrowSystemError(enum_hr, kLoad);
  STATPROPSETSTG first;
  ULONG fetched = 0;
  if (list->Next(1, &first, &fetched) != S_OK || fetched != 1) ThrowSystemError(hr, kLoad);
  enum_hr = sets->Open(first.fmtid, kReadMode, set.Out());
  if (FAILED(enum_hr)) ThrowSystemError(enum_hr, kLoad);
}

struct NamedId {
  std::wstring name;
  PROPID id;
};

std::vector<NamedId> ListProperties(IPropertyStorage* set) {
  ComPtr<IEnumSTATPROPSTG> list;
  HRESULT hr = set->Enum(list.Out());
  if (FAILED(hr)) ThrowSystemError(hr, kLoad);
  std::vector<NamedId> result;
  STATPROPSTG entry;
  ULONG fetched = 0;
  while ((hr = list->Next(1, &entry, &fetched)) == S_OK && fetched == 1) {
    NamedId item{entry.lpwstrName != nullptr ? entry.lpwstrName : L"", entry.propid};
    CoTaskMemFree(entry.lpwstrName);
    result.push_back(std::move(item));
  }
  if (FAILED(hr)) ThrowSystemError(hr, kLoad);
  return result;
}

}  // namespace

void CPropStorageLoader::Load(IStorage* storage, const FMTID& fmtid, PropertyMap& properties) {
  try {
    LoadAll(storage, fmtid, properties);
  } catch (const std::bad_alloc&) {
    ThrowSystemError(E_OUTOFMEMORY, kLoad);
  }
}

void CPropStorageLoader::LoadAll(IStorage* storage, const FMTID& fmtid, PropertyMap& properties) {
  ComPtr<IPropertySetStorage> sets;
  HRESULT hr = StgCreatePropSetStg(storage, 0, sets.Out());
  if (FAILED(hr)) ThrowSystemError(hr, kLoad);
  ComPtr<IPropertyStorage> set;
  OpenSet(sets.get(), fmtid, set);
  const std::vector<NamedId> listed = ListProperties(set.get());

  std::vector<PROPSPEC> specs(listed.size());
  for (std::size_t i = 0; i < listed.size(); ++i) {
    specs[i].ulKind = PRSPEC_PROPID;
    specs[i].propid = listed[i].id;
  }
  std::vector<PROPVARIANT> read(listed.size());
  if (!listed.empty()) {
    hr = set->ReadMultiple(static_cast<ULONG>(specs.size()), specs.data(), read.data());
    if (FAILED(hr)) ThrowSystemError(hr, kLoad);
  }
  std::vector<PropVariantHolder> values;
  values.reserve(read.size());
  for (PROPVARIANT& value : read) values.push_back(PropVariantHolder::Adopt(value));
  for (std::size_t i = 0; i < listed.size(); ++i) {
    if (listed[i].name.empty()) continue;
    LoadProperty(storage, values[i].get());
    properties[listed[i].name] = std::move(values[i]);
  }
}

void CPropStorageLoader::LoadProperty(IStorage* storage, PROPVARIANT& value) {
  switch (value.vt) {
    case VT_LPSTR: case VT_LPWSTR: case VT_BSTR: {
      // A text naming a blob stream turns the whole property into a blob.
      const void* raw = value.vt == VT_LPSTR ? static_cast<const void*>(value.pszVal)
                                              : static_cast<const void*>(value.pwszVal);
      if (raw == nullptr) return;
      const std::wstring text = value.vt == VT_LPSTR ? ElementText(value.pszVal) : ElementText(value.pwszVal);
      if (StartsWith(text, kBlobPrefix)) {
        LoadBlob(storage, text, value);
        return;
      }
      if (value.vt == VT_LPSTR) LoadStringElement(storage, value.pszVal, false);
      else LoadStringElement(storage, value.pwszVal, value.vt == VT_BSTR);
      return;
    }
    case VT_VECTOR | VT_LPSTR:
      for (ULONG i = 0; i < value.calpstr.cElems; ++i) LoadStringElement(storage, value.calpstr.pElems[i], false);
      return;
    case VT_VECTOR | VT_LPWSTR:
      for (ULONG i = 0; i < value.calpwstr.cElems; ++i) LoadStringElement(storage, value.calpwstr.pElems[i], false);
      return;
    case VT_VECTOR | VT_BSTR:
      for (ULONG i = 0; i < value.cabstr.cElems; ++i) LoadStringElement(storage, value.cabstr.pElems[i], true);
      return;
    default:
      return;
  }
}

// An element of a vector cannot become a blob; only string streams are followed there.
template <class Char>
void CPropStorageLoader::LoadStringElement(IStorage* storage, Char*& text, bool is_bstr) {
  if (text == nullptr) return;
  const std::wstring name = ElementText(text);
  if (!StartsWith(name, kStringPrefix)) return;
  Char* replacement = MakeElementText(ReadStringStream(storage, name), static_cast<Char*>(nullptr), is_bstr);
  FreeElementText(text, is_bstr);
  text = replacement;
}

void CPropStorageLoader::LoadBlob(IStorage* storage, const std::wstring& name, PROPVARIANT& value) {
  ComPtr<IStream> stream;
  const ULONG size = OpenStreamOfSize(storage, name, stream);
  BYTE* body = static_cast<BYTE*>(CoTaskMemAlloc(size));
  if (body == nullptr) throw std::bad_alloc();
  struct BodyGuard {
    BYTE*& body;
    ~BodyGuard() { CoTaskMemFree(body); }
  } body_guard{body};
  if (memory_ != nullptr) {
    void* block = memory_->Allocate(size, 0);
    if (block == nullptr)
      throw exception_rt(MemoryFailureText(MemorySource::kMemoryManager, size, kLoadProperty));
    struct BlockGuard {
      IExMemoryMgr* memory;
      void* block;
      ~BlockGuard() { memory->Free(block); }
    } block_guard{memory_, block};
    ReadExactly(stream.get(), block, size);
    if (size > 0) std::memcpy(body, block, size);
  } else {
    ReadExactly(stream.get(), body, size);
  }
  PropVariantClear(&value);
  value.vt = VT_BLOB;
  value.blob.cbSize = size;
  value.blob.pBlobData = body;
  body = nullptr;
}

}  // namespace recfilereader
