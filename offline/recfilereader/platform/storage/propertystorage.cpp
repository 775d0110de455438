#include "platform/storage/propertystorage.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <set>
#include <vector>

#include "platform/hresults.h"
#include "platform/storage/propertysetcodepage.h"
#include "platform/storage/propertysetenum.h"
#include "platform/textconv.h"
#include "recfilereader/propvariant.h"

namespace recfilereader {
namespace {

constexpr PROPID kFirstReservedId = 0x80000000;
constexpr ULONG kReadChunk = 64 * 1024;

bool IsNormalId(PROPID id) { return id >= PID_FIRST_USABLE && id < kFirstReservedId; }

}  // namespace

HRESULT ReadWholeStream(IStream* stream, std::vector<std::uint8_t>* bytes) {
  LARGE_INTEGER zero{};
  HRESULT hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  if (FAILED(hr)) return hr;
  bytes->clear();
  for (;;) {
    const std::size_t used = bytes->size();
    bytes->resize(used + kReadChunk);
    ULONG read = 0;
    hr = stream->Read(bytes->data() + used, kReadChunk, &read);
    if (FAILED(hr)) return hr;
    bytes->resize(used + read);
    if (read < kReadChunk) return S_OK;
  }
}

bool SharesDocumentSummaryStream(const FMTID& fmtid) {
  return fmtid == FMTID_DocSummaryInformation || fmtid == FMTID_UserDefinedProperties;
}

HRESULT WriteWholeStream(IStream* stream, const std::vector<std::uint8_t>& bytes) {
  LARGE_INTEGER zero{};
  HRESULT hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  if (FAILED(hr)) return hr;
  ULARGE_INTEGER size{};
  size.QuadPart = bytes.size();
  hr = stream->SetSize(size);
  if (FAILED(hr)) return hr;
  ULONG written = 0;
  hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  if (FAILED(hr)) return hr;
  if (written != bytes.size()) return STG_E_WRITEFAULT;
  return stream->Commit(STGC_DEFAULT);
}

namespace {

wchar_t* TaskMemoryCopy(const std::wstring& text) {
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), bytes);
  return copy;
}

}  // namespace

CPropertyStorage::CPropertyStorage(IStream* stream, REFFMTID fmtid, DWORD mode)
    : stream_(stream), fmtid_(fmtid), mode_(mode) {
  stream_->AddRef();
}

CPropertyStorage::~CPropertyStorage() { stream_->Release(); }

HRESULT CPropertyStorage::CreateNew(IStream* stream, REFFMTID fmtid, const CLSID* clsid,
                                    DWORD flags, DWORD mode, IPropertyStorage** result) {
  if (stream == nullptr || result == nullptr) return STG_E_INVALIDPOINTER;
  *result = nullptr;
  auto* set = new (std::nothrow) CPropertyStorage(stream, fmtid, mode);
  if (set == nullptr) return E_OUTOFMEMORY;
  HRESULT hr;
  try {
    hr = set->Start(clsid, flags);
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  if (FAILED(hr)) {
    set->dirty_ = false;
    set->Release();
    return hr;
  }
  *result = set;
  return S_OK;
}

// The stream is new or emptied, except the document summary stream, whose other section
// stays. Readers take that stream's first section for the document summary, so a stream
// made for the user-defined properties gets an empty document summary section first.
HRESULT CPropertyStorage::Start(const CLSID* clsid, DWORD flags) {
  std::vector<std::uint8_t> bytes;
  HRESULT hr = ReadWholeStream(stream_, &bytes);
  if (FAILED(hr)) return hr;
  if (!SharesDocumentSummaryStream(fmtid_) || FAILED(DecodePropertySet(bytes, &data_)))
    data_ = PropertySetData{};
  auto& sections = data_.sections;
  auto of = [&](const FMTID& fmtid) {
    return std::find_if(sections.begin(), sections.end(),
                        [&](const PropertySection& s) { return s.fmtid == fmtid; });
  };
  if (const auto old = of(fmtid_); old != sections.end()) {
    if ((mode_ & STGM_CREATE) == 0) return STG_E_FILEALREADYEXISTS;
    sections.erase(old);
  }
  preferred_code_page_ = (flags & PROPSETFLAG_ANSI) != 0 ? kCodePageWestern : kCodePageUnicode;
  PropertySection fresh;
  fresh.code_page = preferred_code_page_;
  fresh.locale = kDefaultLocale;
  if (fmtid_ == FMTID_UserDefinedProperties && of(FMTID_DocSummaryInformation) == sections.end()) {
    fresh.fmtid = FMTID_DocSummaryInformation;
    sections.insert(sections.begin(), fresh);
  }
  fresh.fmtid = fmtid_;
  if ((flags & PROPSETFLAG_CASE_SENSITIVE) != 0) fresh.behavior = 1;
  const bool first = fmtid_ == FMTID_DocSummaryInformation;
  section_index_ = first ? 0 : sections.size();
  sections.insert(first ? sections.begin() : sections.end(), std::move(fresh));
  if (clsid != nullptr) data_.clsid = *clsid;
  dirty_ = true;
  return Commit(STGC_DEFAULT);
}

HRESULT CPropertyStorage::OpenExisting(IStream* stream, REFFMTID fmtid, DWORD mode,
                                       IPropertyStorage** result) {
  if (stream == nullptr || result == nullptr) return STG_E_INVALIDPOINTER;
  *result = nullptr;
  auto* set = new (std::nothrow) CPropertyStorage(stream, fmtid, mode);
  if (set == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = set->Load();
  if (FAILED(hr)) {
    set->Release();
    return hr;
  }
  *result = set;
  return S_OK;
}

// Decodes the stream and picks the section of our format identifier. A stream without
// sections counts as an empty set; a stream whose sections all belong to other identifiers
// is taken by its first section, except that the sections of the document summary stream
// must really be there.
HRESULT CPropertyStorage::Load() {
  try {
    std::vector<std::uint8_t> bytes;
    HRESULT hr = ReadWholeStream(stream_, &bytes);
    if (FAILED(hr)) return hr;
    PropertySetData data;
    hr = DecodePropertySet(bytes, &data);
    if (FAILED(hr)) return hr;
    std::size_t index = data.sections.size();
    for (std::size_t i = 0; i < data.sections.size(); ++i) {
      if (data.sections[i].fmtid == fmtid_) {
        index = i;
        break;
      }
    }
    if (index == data.sections.size()) {
      if (fmtid_ == FMTID_UserDefinedProperties ||
          (fmtid_ == FMTID_DocSummaryInformation && !data.sections.empty()))
        return STG_E_FILENOTFOUND;
      if (data.sections.empty()) {
        PropertySection empty;
        empty.fmtid = fmtid_;
        data.sections.push_back(std::move(empty));
      }
      index = 0;
    }
    data_ = std::move(data);
    name_index_valid_ = false;
    section_index_ = index;
    preferred_code_page_ = section().code_page.value_or(kCodePageWestern);
    dirty_ = false;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CPropertyStorage::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IPropertyStorage) {
    *object = static_cast<IPropertyStorage*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CPropertyStorage::AddRef() { return ++references_; }

ULONG CPropertyStorage::Release() {
  const ULONG left = --references_;
  if (left == 0) {
    // A buffered set reaches its stream when the last reference goes.
    if (dirty_ && Writable()) Commit(STGC_DEFAULT);
    delete this;
  }
  return left;
}

bool CPropertyStorage::Writable() const {
  return (mode_ & (STGM_WRITE | STGM_READWRITE)) != 0;
}

bool CPropertyStorage::NamesAreCaseSensitive() const {
  const auto& behavior = data_.sections[section_index_].behavior;
  return behavior && (*behavior & 1) != 0;
}

std::wstring CPropertyStorage::NameKey(const std::wstring& name) const {
  return NamesAreCaseSensitive() ? name : WideToLower(name);
}

std::optional<PROPID> CPropertyStorage::FindName(const std::wstring& name) const {
  if (!name_index_valid_) {
    // A damaged dictionary may give one name to several identifiers: the name then stands
    // for the lowest one that has a value.
    name_index_.clear();
    const PropertySection& set = data_.sections[section_index_];
    for (const auto& [id, known] : set.names) {
      const auto [it, added] = name_index_.emplace(NameKey(known), id);
      if (!added && set.values.count(it->second) == 0 && set.values.count(id) != 0) it->second = id;
    }
    name_index_valid_ = true;
  }
  const auto it = name_index_.find(NameKey(name));
  if (it == name_index_.end()) return std::nullopt;
  return it->second;
}

std::optional<PROPID> CPropertyStorage::Resolve(const PROPSPEC& spec) const {
  if (spec.ulKind == PRSPEC_PROPID) return spec.propid;
  if (spec.ulKind == PRSPEC_LPWSTR && spec.lpwstr != nullptr) return FindName(spec.lpwstr);
  return std::nullopt;
}

HRESULT CPropertyStorage::ReadMultiple(ULONG count, const PROPSPEC* specs, PROPVARIANT* values) {
  if (count == 0) return S_FALSE;
  if (specs == nullptr || values == nullptr) return STG_E_INVALIDPARAMETER;
  for (ULONG i = 0; i < count; ++i) PropVariantInit(&values[i]);
  const PropertySection& set = section();
  for (ULONG i = 0; i < count; ++i) {
    const auto id = Resolve(specs[i]);
    if (id && set.damaged.count(*id) != 0) return STG_E_DOCFILECORRUPT;
  }
  bool found_any = false;
  for (ULONG i = 0; i < count; ++i) {
    const auto id = Resolve(specs[i]);
    if (!id) continue;
    PROPVARIANT& out = values[i];
    if (*id == PID_CODEPAGE && set.code_page) {
      out.vt = VT_I2;
      out.uiVal = ChooseCodePage(set, preferred_code_page_);
    } else if (*id == PID_LOCALE && set.locale) {
      out.vt = VT_UI4;
      out.ulVal = *set.locale;
    } else if (const auto it = set.values.find(*id); it != set.values.end()) {
      if (FAILED(PropVariantCopy(&out, &it->second.get()))) {
        for (ULONG k = 0; k < i; ++k) PropVariantClear(&values[k]);
        return E_OUTOFMEMORY;
      }
    } else {
      continue;
    }
    found_any = true;
  }
  return found_any ? S_OK : S_FALSE;
}

HRESULT CPropertyStorage::WriteMultiple(ULONG count, const PROPSPEC* specs,
                                        const PROPVARIANT* values, PROPID first_name_id) {
  if (!Writable()) return STG_E_ACCESSDENIED;
  if (count == 0) return S_OK;
  if (specs == nullptr || values == nullptr) return STG_E_INVALIDPARAMETER;
  try {
    return WriteWithNames(count, specs, values, first_name_id);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// All specs are checked and staged before the set changes, so a failing call changes nothing.
HRESULT CPropertyStorage::WriteWithNames(ULONG count, const PROPSPEC* specs,
                                         const PROPVARIANT* values, PROPID first_name_id) {
  PropertySection& set = section();
  struct Staged {
    PROPID id;
    std::optional<std::wstring> new_name;
    PropVariantHolder value;
  };
  std::vector<Staged> staged;
  std::set<PROPID> taken;
  std::optional<std::uint16_t> new_code_page;
  std::optional<std::uint32_t> new_locale;
  // New names of this call, by NameKey.
  std::unordered_map<std::wstring, PROPID> staged_names;
  auto staged_name = [&](const std::wstring& name) -> std::optional<PROPID> {
    const auto it = staged_names.find(NameKey(name));
    if (it == staged_names.end()) return std::nullopt;
    return it->second;
  };
  for (ULONG i = 0; i < count; ++i) {
    const PROPSPEC& spec = specs[i];
    const PROPVARIANT& value = values[i];
    if (spec.ulKind == PRSPEC_PROPID) {
      if (spec.propid == PID_CODEPAGE) {
        // The code page may change only while the set holds nothing.
        if (value.vt != VT_I2 || !set.values.empty() || !set.names.empty())
          return STG_E_INVALIDPARAMETER;
        new_code_page = value.uiVal;
        continue;
      }
      if (spec.propid == PID_LOCALE) {
        if (value.vt != VT_UI4 && value.vt != VT_I4) return STG_E_INVALIDPARAMETER;
        new_locale = value.ulVal;
        continue;
      }
      if (!IsNormalId(spec.propid) || !IsStorablePropVariant(value)) return STG_E_INVALIDPARAMETER;
      staged.push_back({spec.propid, std::nullopt, PropVariantHolder(value)});
      continue;
    }
    if (spec.ulKind != PRSPEC_LPWSTR || spec.lpwstr == nullptr || spec.lpwstr[0] == L'\0' ||
        !IsStorablePropVariant(value))
      return STG_E_INVALIDPARAMETER;
    const std::wstring name = spec.lpwstr;
    std::optional<PROPID> id = FindName(name);
    if (!id) id = staged_name(name);
    if (id) {
      staged.push_back({*id, std::nullopt, PropVariantHolder(value)});
      continue;
    }
    if (first_name_id < PID_FIRST_USABLE || first_name_id >= kFirstReservedId)
      return STG_E_INVALIDPARAMETER;
    PROPID next = first_name_id;
    while (set.values.count(next) != 0 || set.names.count(next) != 0 ||
           set.damaged.count(next) != 0 || taken.count(next) != 0) {
      if (++next >= kFirstReservedId) return STG_E_INVALIDPARAMETER;
    }
    taken.insert(next);
    staged_names.emplace(NameKey(name), next);
    staged.push_back({next, name, PropVariantHolder(value)});
  }
  // Nothing below fails for want of anything but memory; a later duplicate wins.
  if (new_code_page) {
    set.code_page = *new_code_page;
    preferred_code_page_ = *new_code_page;
  }
  if (new_locale) set.locale = *new_locale;
  for (Staged& s : staged) {
    if (s.new_name) {
      if (name_index_valid_) name_index_.emplace(NameKey(*s.new_name), s.id);
      set.names[s.id] = std::move(*s.new_name);
    }
    set.damaged.erase(s.id);
    set.values[s.id] = std::move(s.value);
  }
  dirty_ = true;
  return S_OK;
}

HRESULT CPropertyStorage::DeleteMultiple(ULONG count, const PROPSPEC* specs) {
  if (!Writable()) return STG_E_ACCESSDENIED;
  if (count > 0 && specs == nullptr) return STG_E_INVALIDPARAMETER;
  for (ULONG i = 0; i < count; ++i) {
    const auto id = Resolve(specs[i]);
    if (id && section().values.erase(*id) + section().damaged.erase(*id) > 0) dirty_ = true;
  }
  return S_OK;
}

HRESULT CPropertyStorage::ReadPropertyNames(ULONG count, const PROPID* ids, LPOLESTR* names) {
  if (count > 0 && (ids == nullptr || names == nullptr)) return STG_E_INVALIDPARAMETER;
  bool found_any = false;
  for (ULONG i = 0; i < count; ++i) names[i] = nullptr;
  for (ULONG i = 0; i < count; ++i) {
    const auto it = section().names.find(ids[i]);
    if (it == section().names.end()) continue;
    names[i] = TaskMemoryCopy(it->second);
    if (names[i] == nullptr) {
      for (ULONG k = 0; k < i; ++k) CoTaskMemFree(names[k]);
      for (ULONG k = 0; k < i; ++k) names[k] = nullptr;
      return E_OUTOFMEMORY;
    }
    found_any = true;
  }
  return found_any ? S_OK : S_FALSE;
}

HRESULT CPropertyStorage::WritePropertyNames(ULONG count, const PROPID* ids,
                                             const LPOLESTR* names) {
  if (!Writable()) return STG_E_ACCESSDENIED;
  if (count > 0 && (ids == nullptr || names == nullptr)) return STG_E_INVALIDPARAMETER;
  for (ULONG i = 0; i < count; ++i) {
    if (!IsNormalId(ids[i]) || names[i] == nullptr || names[i][0] == L'\0')
      return STG_E_INVALIDPARAMETER;
    const auto owner = FindName(names[i]);
    if (owner && *owner != ids[i]) return STG_E_INVALIDPARAMETER;  // a name names one property
  }
  try {
    name_index_valid_ = false;
    for (ULONG i = 0; i < count; ++i) section().names[ids[i]] = names[i];
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  dirty_ = true;
  return S_OK;
}

HRESULT CPropertyStorage::DeletePropertyNames(ULONG count, const PROPID* ids) {
  if (!Writable()) return STG_E_ACCESSDENIED;
  if (count > 0 && ids == nullptr) return STG_E_INVALIDPARAMETER;
  name_index_valid_ = false;
  for (ULONG i = 0; i < count; ++i) {
    if (section().names.erase(ids[i]) > 0) dirty_ = true;
  }
  return S_OK;
}

HRESULT CPropertyStorage::Commit(DWORD) {
  if (!Writable()) return STG_E_ACCESSDENIED;
  try {
    PropertySetData image = data_;
    PropertySection& set = image.sections[section_index_];
    set.code_page = ChooseCodePage(set, preferred_code_page_);
    std::vector<std::uint8_t> bytes;
    HRESULT hr = EncodePropertySet(image, &bytes);
    if (FAILED(hr)) return hr;
    hr = WriteWholeStream(stream_, bytes);
    if (FAILED(hr)) return hr;
    section().code_page = set.code_page;  // the stream has one now
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  dirty_ = false;
  return S_OK;
}

HRESULT CPropertyStorage::Revert() { return Load(); }

HRESULT CPropertyStorage::Enum(IEnumSTATPROPSTG** enumerator) {
  if (enumerator == nullptr) return STG_E_INVALIDPOINTER;
  *enumerator = nullptr;
  try {
    std::vector<PropertyListEntry> entries;
    for (const auto& [id, value] : section().values) {
      const auto name = section().names.find(id);
      entries.push_back({name != section().names.end() ? std::optional(name->second) : std::nullopt,
                         id, value.vt()});
    }
    return CreatePropertyEnumerator(std::move(entries), enumerator);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CPropertyStorage::SetTimes(const FILETIME* ctime, const FILETIME* atime,
                                   const FILETIME* mtime) {
  if (!Writable()) return STG_E_ACCESSDENIED;
  if (ctime != nullptr) ctime_ = *ctime;
  if (atime != nullptr) atime_ = *atime;
  if (mtime != nullptr) mtime_ = *mtime;
  return S_OK;
}

HRESULT CPropertyStorage::SetClass(REFCLSID clsid) {
  if (!Writable()) return STG_E_ACCESSDENIED;
  data_.clsid = clsid;
  dirty_ = true;
  return S_OK;
}

HRESULT CPropertyStorage::Stat(STATPROPSETSTG* stat) {
  if (stat == nullptr) return STG_E_INVALIDPOINTER;
  std::memset(stat, 0, sizeof *stat);
  stat->fmtid = section().fmtid;
  stat->clsid = data_.clsid;
  if (ChooseCodePage(section(), preferred_code_page_) != kCodePageUnicode)
    stat->grfFlags |= PROPSETFLAG_ANSI;
  if (NamesAreCaseSensitive()) stat->grfFlags |= PROPSETFLAG_CASE_SENSITIVE;
  stat->ctime = ctime_;
  stat->atime = atime_;
  stat->mtime = mtime_;
  stat->dwOSVersion = data_.os_version;
  return S_OK;
}

}  // namespace recfilereader
