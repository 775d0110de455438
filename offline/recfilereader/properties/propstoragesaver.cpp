#include "properties/propstoragesaver.h"

#include <cstring>
#include <new>
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

constexpr SourceTag kSave{"propstoragesaver", "CPropStorageSaver::Save"};
constexpr SourceTag kSaveProperty{"propstoragesaver", "CPropStorageSaver::SaveProperty"};
constexpr std::size_t kLongestInlineText = 255;
constexpr std::size_t kStreamPiece = 1048576;
constexpr PROPID kFirstNameId = 3;
constexpr DWORD kCreateMode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

}  // namespace

void CPropStorageSaver::Save(IStorage* storage, const FMTID& fmtid, const PropertyMap& properties) {
  try {
    SaveAll(storage, fmtid, properties);
  } catch (const std::bad_alloc&) {
    ThrowSystemError(E_OUTOFMEMORY, kSave);
  }
}

void CPropStorageSaver::SaveAll(IStorage* storage, const FMTID& fmtid, const PropertyMap& properties) {
  string_streams_ = 0;
  blob_streams_ = 0;
  ComPtr<IPropertySetStorage> sets;
  HRESULT hr = StgCreatePropSetStg(storage, 0, sets.Out());
  if (FAILED(hr)) ThrowSystemError(hr, kSave);
  ComPtr<IPropertyStorage> set;
  hr = sets->Create(fmtid, nullptr, PROPSETFLAG_ANSI, kCreateMode, set.Out());
  if (FAILED(hr)) ThrowSystemError(hr, kSave);

  // The names and values written so far. The specs point into `names` and the plain values
  // share the memory of `values`, so nothing may reallocate: all are reserved up front.
  std::vector<std::wstring> names;
  std::vector<PropVariantHolder> values;
  std::vector<PROPSPEC> specs;
  std::vector<PROPVARIANT> plain;
  names.reserve(properties.size());
  values.reserve(properties.size());
  specs.reserve(properties.size());
  plain.reserve(properties.size());
  for (const auto& [name, value] : properties) {
    PropVariantHolder copy(value.get());
    SaveProperty(storage, copy.get());
    names.push_back(name);
    values.push_back(std::move(copy));
    PROPSPEC spec{};
    spec.ulKind = PRSPEC_LPWSTR;
    spec.lpwstr = names.back().data();
    specs.push_back(spec);
    plain.push_back(values.back().get());
  }
  hr = set->WriteMultiple(static_cast<ULONG>(specs.size()), specs.data(), plain.data(), kFirstNameId);
  if (FAILED(hr)) ThrowSystemError(hr, kSave);
  // The set would reach its stream when released too, but a failure there could not be seen.
  hr = set->Commit(STGC_DEFAULT);
  if (FAILED(hr)) ThrowSystemError(hr, kSave);
}

void CPropStorageSaver::SaveProperty(IStorage* storage, PROPVARIANT& value) {
  switch (value.vt) {
    case VT_LPSTR: MoveLongText(storage, value.pszVal, false); return;
    case VT_LPWSTR: MoveLongText(storage, value.pwszVal, false); return;
    case VT_BSTR: MoveLongText(storage, value.bstrVal, true); return;
    case VT_VECTOR | VT_LPSTR:
      for (ULONG i = 0; i < value.calpstr.cElems; ++i) MoveLongText(storage, value.calpstr.pElems[i], false);
      return;
    case VT_VECTOR | VT_LPWSTR:
      for (ULONG i = 0; i < value.calpwstr.cElems; ++i) MoveLongText(storage, value.calpwstr.pElems[i], false);
      return;
    case VT_VECTOR | VT_BSTR:
      for (ULONG i = 0; i < value.cabstr.cElems; ++i) MoveLongText(storage, value.cabstr.pElems[i], true);
      return;
    case VT_BLOB: {
      if (value.blob.cbSize == 0 || value.blob.pBlobData == nullptr) return;
      const std::wstring name = L"__blob_stream_#" + std::to_wstring(blob_streams_++);
      WriteStream(storage, name, value.blob.pBlobData, value.blob.cbSize);
      wchar_t* text = MakeElementText(name, static_cast<wchar_t*>(nullptr), false);
      PropVariantClear(&value);
      value.vt = VT_LPWSTR;
      value.pwszVal = text;
      return;
    }
    default:
      return;
  }
}

// Lengths count UTF-16 units, the units the stream holds.
template <class Char>
void CPropStorageSaver::MoveLongText(IStorage* storage, Char*& text, bool is_bstr) {
  if (text == nullptr) return;
  const std::wstring wide = ElementText(text);
  const std::vector<std::uint8_t> units = WideToUtf16Le(wide);
  if (units.size() / 2 <= kLongestInlineText) return;
  const std::wstring name = L"__string_stream_#" + std::to_wstring(string_streams_++);
  std::vector<std::uint8_t> content = units;
  content.push_back(0);
  content.push_back(0);
  WriteStream(storage, name, content.data(), content.size());
  Char* replacement;
  if constexpr (sizeof(Char) == 1) replacement = MakeElementText(name, static_cast<char*>(nullptr));
  else replacement = MakeElementText(name, static_cast<wchar_t*>(nullptr), is_bstr);
  FreeElementText(text, is_bstr);
  text = replacement;
}

void CPropStorageSaver::WriteStream(IStorage* storage, const std::wstring& name,
                                    const std::uint8_t* data, std::size_t size) {
  ComPtr<IStream> stream;
  HRESULT hr = storage->CreateStream(name.c_str(), kCreateMode, 0, 0, stream.Out());
  if (FAILED(hr)) ThrowSystemError(hr, kSaveProperty);
  for (std::size_t done = 0; done < size;) {
    const ULONG piece = static_cast<ULONG>(std::min(kStreamPiece, size - done));
    ULONG written = 0;
    hr = stream->Write(data + done, piece, &written);
    if (FAILED(hr)) ThrowSystemError(hr, kSaveProperty);
    if (written != piece) ThrowSystemError(STG_E_WRITEFAULT, kSaveProperty);
    done += piece;
  }
  hr = stream->Commit(STGC_DEFAULT);
  if (FAILED(hr)) ThrowSystemError(hr, kSaveProperty);
}

}  // namespace recfilereader
