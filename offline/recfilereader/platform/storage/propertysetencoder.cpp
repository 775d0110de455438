// Writing property-set streams (the model of propertysetcodec.h) the way COM lays them out:
// code page, locale and dictionary first, then the properties by identifier, every value
// padded to 4 bytes.
#include <new>

#include "platform/bytes.h"
#include "platform/hresults.h"
#include "platform/storage/propertysetcodec.h"
#include "platform/storage/propertysetcodepage.h"
#include "platform/storage/propertysetinterfaces.h"
#include "platform/textconv.h"
#include "recfilereader/propvariant.h"

namespace recfilereader {
namespace {

constexpr std::uint16_t kByteOrderMark = 0xFFFE;
constexpr std::size_t kHeaderSize = 28;
constexpr std::size_t kSectionRefSize = 20;
constexpr std::size_t kLongestVersion0Name = 255;
constexpr std::size_t kLargestStream = 0xFFFFFFFF;

bool IsVersion1Type(VARTYPE vt) {
  const VARTYPE element = vt & VT_TYPEMASK;
  if ((vt & VT_ARRAY) != 0) return true;
  if ((vt & VT_VECTOR) != 0) return element == VT_I1;
  return element == VT_I1 || element == VT_INT || element == VT_UINT || element == VT_DECIMAL;
}

bool IsScalarStorable(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4:
    case VT_UI4: case VT_INT: case VT_UINT: case VT_I8: case VT_UI8: case VT_R4: case VT_R8:
    case VT_CY: case VT_DATE: case VT_BSTR: case VT_ERROR: case VT_BOOL: case VT_DECIMAL:
    case VT_LPSTR: case VT_LPWSTR: case VT_FILETIME: case VT_BLOB: case VT_CF: case VT_CLSID:
      return true;
    default:
      return false;
  }
}

bool IsVectorElementStorable(VARTYPE element) {
  switch (element) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_I8:
    case VT_UI8: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BSTR: case VT_ERROR:
    case VT_BOOL: case VT_LPSTR: case VT_LPWSTR: case VT_FILETIME: case VT_CF: case VT_CLSID:
    case VT_VARIANT:
      return true;
    default:
      return false;
  }
}

bool IsStorable(const PROPVARIANT& value, bool inside_vector);

// Arrays hold one to 31 dimensions and are not nested in vectors or arrays.
bool IsStorableArray(const PROPVARIANT& value, bool inside_vector) {
  using namespace recfilereader_compat_detail;
  const VARTYPE element = value.vt & VT_TYPEMASK;
  if (inside_vector || (value.vt & ~(VT_ARRAY | VT_TYPEMASK)) != 0 ||
      !IsArrayElementType(element) || value.parray == nullptr)
    return false;
  const SAFEARRAY& array = *value.parray;
  if (array.cDims == 0 || array.cDims > 31 || array.cbElements != ArrayElementSize(element))
    return false;
  const std::size_t count = ArrayElementCount(array);
  if (count > 0 && array.pvData == nullptr) return false;
  if (element != VT_VARIANT) return true;
  for (std::size_t i = 0; i < count; ++i) {
    if (!IsStorable(static_cast<const PROPVARIANT*>(array.pvData)[i], true)) return false;
  }
  return true;
}

bool IsStorable(const PROPVARIANT& value, bool inside_vector) {
  if ((value.vt & VT_ARRAY) != 0) return IsStorableArray(value, inside_vector);
  if ((value.vt & VT_VECTOR) == 0) return IsScalarStorable(value.vt);
  const VARTYPE element = value.vt & VT_TYPEMASK;
  if ((value.vt & ~(VT_VECTOR | VT_TYPEMASK)) != 0 || !IsVectorElementStorable(element))
    return false;
  if (value.caub.cElems > 0 && value.caub.pElems == nullptr) return false;
  if (element != VT_VARIANT) return true;
  if (inside_vector) return false;
  for (ULONG i = 0; i < value.capropvar.cElems; ++i) {
    if (!IsStorable(value.capropvar.pElems[i], true)) return false;
  }
  return true;
}

// Narrow text of a value in memory: VT_LPSTR holds UTF-8, VT_BSTR wide characters.
std::wstring LpstrText(const char* s) { return s == nullptr ? std::wstring() : Utf8ToWide(s); }
std::wstring WideText(const wchar_t* s) { return s == nullptr ? std::wstring() : std::wstring(s); }

// Calls `visit` with every text of `value` that is stored in the section's code page.
template <class Visit>
void ForEachNarrowText(const PROPVARIANT& value, Visit&& visit) {
  switch (value.vt) {
    case VT_LPSTR: visit(LpstrText(value.pszVal)); return;
    case VT_BSTR: visit(WideText(value.bstrVal)); return;
    case VT_VECTOR | VT_LPSTR:
      for (ULONG i = 0; i < value.calpstr.cElems; ++i) visit(LpstrText(value.calpstr.pElems[i]));
      return;
    case VT_VECTOR | VT_BSTR:
      for (ULONG i = 0; i < value.cabstr.cElems; ++i) visit(WideText(value.cabstr.pElems[i]));
      return;
    case VT_VECTOR | VT_VARIANT:
      for (ULONG i = 0; i < value.capropvar.cElems; ++i) ForEachNarrowText(value.capropvar.pElems[i], visit);
      return;
    case VT_ARRAY | VT_BSTR: case VT_ARRAY | VT_VARIANT: {
      if (value.parray == nullptr || value.parray->pvData == nullptr) return;
      const std::size_t count = recfilereader_compat_detail::ArrayElementCount(*value.parray);
      const void* elements = value.parray->pvData;
      for (std::size_t i = 0; i < count; ++i) {
        if (value.vt == (VT_ARRAY | VT_BSTR)) visit(WideText(static_cast<const BSTR*>(elements)[i]));
        else ForEachNarrowText(static_cast<const PROPVARIANT*>(elements)[i], visit);
      }
      return;
    }
    default:
      return;
  }
}

class Writer {
 public:
  explicit Writer(std::uint16_t code_page) : code_page_(code_page) {}

  std::vector<std::uint8_t>& bytes() { return out_; }
  bool representable() const { return representable_; }

  void U8(std::uint8_t v) { out_.push_back(v); }
  void U16(std::uint16_t v) { std::uint8_t b[2]; StoreLe16(b, v); out_.insert(out_.end(), b, b + 2); }
  void U32(std::uint32_t v) { std::uint8_t b[4]; StoreLe32(b, v); out_.insert(out_.end(), b, b + 4); }
  void U64(std::uint64_t v) { std::uint8_t b[8]; StoreLe64(b, v); out_.insert(out_.end(), b, b + 8); }
  void Bytes(const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    out_.insert(out_.end(), p, p + size);
  }
  void PadFrom(std::size_t start) {
    while ((out_.size() - start) % 4 != 0) out_.push_back(0);
  }

  void Guid(const GUID& g) {
    U32(g.Data1);
    U16(g.Data2);
    U16(g.Data3);
    Bytes(g.Data4, sizeof g.Data4);
  }

  // Narrow text in the section's code page with its terminator; marks the section
  // unrepresentable when a character has no mapping.
  std::vector<std::uint8_t> Narrow(const std::wstring& text) {
    auto encoded = WideToCodePage(text, code_page_);
    if (!encoded) {
      representable_ = false;
      encoded.emplace();
    }
    encoded->resize(encoded->size() + (code_page_ == kCodePageUnicode ? 2 : 1), 0);
    return std::move(*encoded);
  }

  void CodePageString(const std::wstring& text) {
    const std::size_t start = out_.size();
    const auto bytes = Narrow(text);
    U32(static_cast<std::uint32_t>(bytes.size()));
    Bytes(bytes.data(), bytes.size());
    PadFrom(start);
  }

  void UnicodeString(const std::wstring& text) {
    const std::size_t start = out_.size();
    const auto bytes = WideToUtf16Le(text);
    U32(static_cast<std::uint32_t>(bytes.size() / 2 + 1));
    Bytes(bytes.data(), bytes.size());
    U16(0);
    PadFrom(start);
  }

  void ClipData(const CLIPDATA& clip) {
    const std::size_t start = out_.size();
    const std::size_t data = clip.cbSize >= 4 && clip.pClipData != nullptr ? clip.cbSize - 4 : 0;
    U32(static_cast<std::uint32_t>(data + 4));
    U32(static_cast<std::uint32_t>(clip.ulClipFmt));
    if (data > 0) Bytes(clip.pClipData, data);
    PadFrom(start);
  }

  // One vector element or scalar value body, packed.
  void Element(VARTYPE type, const void* slot) {
    switch (type) {
      case VT_I1: case VT_UI1: U8(*static_cast<const std::uint8_t*>(slot)); return;
      case VT_I2: case VT_UI2: U16(*static_cast<const std::uint16_t*>(slot)); return;
      case VT_BOOL: U16(*static_cast<const VARIANT_BOOL*>(slot) != 0 ? 0xFFFF : 0); return;
      case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: case VT_R4:
        U32(*static_cast<const std::uint32_t*>(slot));
        return;
      case VT_I8: case VT_UI8: case VT_CY: case VT_R8: case VT_DATE:
        U64(*static_cast<const std::uint64_t*>(slot));
        return;
      case VT_FILETIME: {
        const auto* ft = static_cast<const FILETIME*>(slot);
        U32(ft->dwLowDateTime);
        U32(ft->dwHighDateTime);
        return;
      }
      case VT_CLSID: Guid(*static_cast<const GUID*>(slot)); return;
      case VT_LPSTR: CodePageString(LpstrText(*static_cast<char* const*>(slot))); return;
      case VT_BSTR: CodePageString(WideText(*static_cast<const BSTR*>(slot))); return;
      case VT_LPWSTR: UnicodeString(WideText(*static_cast<wchar_t* const*>(slot))); return;
      case VT_CF: ClipData(*static_cast<const CLIPDATA*>(slot)); return;
      case VT_VARIANT: Typed(*static_cast<const PROPVARIANT*>(slot)); return;
      case VT_DECIMAL: {
        const auto* d = static_cast<const DECIMAL*>(slot);
        U16(0);
        U8(d->scale);
        U8(d->sign);
        U32(d->Hi32);
        U64(static_cast<std::uint64_t>(d->Mid32) << 32 | d->Lo32);
        return;
      }
      default: return;
    }
  }

  // A typed value: type word, two zero bytes, the body, padding to 4.
  void Typed(const PROPVARIANT& value) {
    const std::size_t start = out_.size();
    U16(value.vt);
    U16(0);
    if ((value.vt & VT_VECTOR) != 0) {
      const VARTYPE element = value.vt & VT_TYPEMASK;
      const std::size_t slot = recfilereader_compat_detail::VectorElementSize(element);
      U32(value.caub.cElems);
      for (ULONG i = 0; i < value.caub.cElems; ++i) Element(element, value.caub.pElems + slot * i);
    } else if ((value.vt & VT_ARRAY) != 0) {
      Array(value.vt & VT_TYPEMASK, *value.parray);
    } else {
      Scalar(value);
    }
    PadFrom(start);
  }

  void Scalar(const PROPVARIANT& value) {
    switch (value.vt) {
      case VT_EMPTY: case VT_NULL: return;
      case VT_DECIMAL: {
        const DECIMAL d = PropVariantGetDecimal(value);
        Element(VT_DECIMAL, &d);
        return;
      }
      case VT_BLOB: {
        const std::uint32_t size = value.blob.pBlobData != nullptr ? value.blob.cbSize : 0;
        U32(size);
        if (size > 0) Bytes(value.blob.pBlobData, size);
        return;
      }
      case VT_CLSID:
        Guid(value.puuid != nullptr ? *value.puuid : GUID_NULL);
        return;
      case VT_CF: {
        const CLIPDATA empty{0, 0, nullptr};
        ClipData(value.pclipdata != nullptr ? *value.pclipdata : empty);
        return;
      }
      default:
        Element(value.vt, &value.cVal);
        return;
    }
  }

  // The element type, the dimensions (size, lowest index), then the elements packed.
  void Array(VARTYPE element, const SAFEARRAY& array) {
    U32(element);
    U32(array.cDims);
    const SAFEARRAYBOUND* bounds = array.rgsabound;  // cDims entries
    for (USHORT i = 0; i < array.cDims; ++i) {
      U32(bounds[i].cElements);
      U32(static_cast<std::uint32_t>(bounds[i].lLbound));
    }
    const std::size_t count = recfilereader_compat_detail::ArrayElementCount(array);
    const auto* elements = static_cast<const std::uint8_t*>(array.pvData);
    for (std::size_t i = 0; i < count; ++i) Element(element, elements + array.cbElements * i);
  }

  void Dictionary(const std::map<PROPID, std::wstring>& names) {
    const std::size_t start = out_.size();
    U32(static_cast<std::uint32_t>(names.size()));
    for (const auto& [id, name] : names) {
      const std::size_t entry = out_.size();
      U32(id);
      const auto bytes = Narrow(name);
      const bool unicode = code_page_ == kCodePageUnicode;
      U32(static_cast<std::uint32_t>(unicode ? bytes.size() / 2 : bytes.size()));
      Bytes(bytes.data(), bytes.size());
      if (unicode) PadFrom(entry);
    }
    PadFrom(start);
  }

 private:
  std::uint16_t code_page_;
  bool representable_ = true;
  std::vector<std::uint8_t> out_;
};

// The section body in `code_page`; nothing when a text has no mapping there.
std::optional<std::vector<std::uint8_t>> EncodeSection(const PropertySection& section,
                                                      std::uint16_t code_page) {
  // Each property's value, encoded separately, then laid out behind the identifier table.
  std::vector<std::pair<PROPID, std::vector<std::uint8_t>>> entries;
  auto add = [&](PROPID id, auto&& write) {
    Writer w(code_page);
    write(w);
    if (!w.representable()) return false;
    entries.emplace_back(id, std::move(w.bytes()));
    return true;
  };
  PROPVARIANT special;
  PropVariantInit(&special);
  special.vt = VT_I2;
  special.uiVal = code_page;
  add(PID_CODEPAGE, [&](Writer& w) { w.Typed(special); });
  if (section.locale) {
    special.vt = VT_UI4;
    special.ulVal = *section.locale;
    add(PID_LOCALE, [&](Writer& w) { w.Typed(special); });
  }
  if (!section.names.empty() &&
      !add(PID_DICTIONARY, [&](Writer& w) { w.Dictionary(section.names); }))
    return std::nullopt;
  if (section.behavior) {
    special.vt = VT_UI4;
    special.ulVal = *section.behavior;
    add(PID_BEHAVIOR, [&](Writer& w) { w.Typed(special); });
  }
  for (const auto& entry : section.values) {
    const PROPVARIANT& value = entry.second.get();
    if (!add(entry.first, [&](Writer& w) { w.Typed(value); })) return std::nullopt;
  }
  for (const auto& entry : section.damaged) {
    const std::vector<std::uint8_t>& raw = entry.second;
    if (section.values.count(entry.first) == 0)
      add(entry.first, [&](Writer& w) { w.Bytes(raw.data(), raw.size()); });
  }
  Writer w(code_page);
  const std::size_t table = 8 + 8 * entries.size();
  std::size_t size = table;
  for (const auto& entry : entries) size += entry.second.size();
  w.U32(static_cast<std::uint32_t>(size));
  w.U32(static_cast<std::uint32_t>(entries.size()));
  std::size_t offset = table;
  for (const auto& entry : entries) {
    w.U32(entry.first);
    w.U32(static_cast<std::uint32_t>(offset));
    offset += entry.second.size();
  }
  for (const auto& entry : entries) w.Bytes(entry.second.data(), entry.second.size());
  return std::move(w.bytes());
}

bool NeedsVersion1(const PropertySection& section) {
  if (section.behavior) return true;
  for (const auto& [id, name] : section.names) {
    if (name.size() > kLongestVersion0Name) return true;
  }
  for (const auto& [id, value] : section.values) {
    if (IsVersion1Type(value.vt())) return true;
    if (value.vt() == (VT_VECTOR | VT_VARIANT)) {
      for (ULONG i = 0; i < value->capropvar.cElems; ++i) {
        if (IsVersion1Type(value->capropvar.pElems[i].vt)) return true;
      }
    }
  }
  return false;
}

HRESULT Encode(const PropertySetData& set, std::vector<std::uint8_t>* bytes) {
  // A set without sections is the empty stream, as an empty stream reads.
  if (set.sections.empty()) {
    bytes->clear();
    return S_OK;
  }
  std::uint16_t version = set.version;
  std::vector<std::vector<std::uint8_t>> bodies;
  for (const PropertySection& section : set.sections) {
    for (const auto& [id, value] : section.values) {
      if (!IsStorable(value.get(), false)) return STG_E_INVALIDPARAMETER;
    }
    if (NeedsVersion1(section)) version = 1;
    auto body = EncodeSection(section, section.code_page.value_or(kCodePageWestern));
    if (!body) body = EncodeSection(section, kCodePageUnicode);
    bodies.push_back(std::move(*body));
  }
  // Every size and offset is a 32-bit field; none can pass the size of the whole stream.
  std::size_t total = kHeaderSize + kSectionRefSize * set.sections.size();
  for (const auto& body : bodies) {
    if (body.size() > kLargestStream - total) return STG_E_INVALIDPARAMETER;
    total += body.size();
  }
  Writer w(kCodePageUnicode);
  w.U16(kByteOrderMark);
  w.U16(version);
  w.U32(set.os_version);
  w.Guid(set.clsid);
  w.U32(static_cast<std::uint32_t>(set.sections.size()));
  std::size_t offset = kHeaderSize + kSectionRefSize * set.sections.size();
  for (std::size_t i = 0; i < set.sections.size(); ++i) {
    w.Guid(set.sections[i].fmtid);
    w.U32(static_cast<std::uint32_t>(offset));
    offset += bodies[i].size();
  }
  for (const auto& body : bodies) w.Bytes(body.data(), body.size());
  *bytes = std::move(w.bytes());
  return S_OK;
}

}  // namespace

HRESULT EncodePropertySet(const PropertySetData& set, std::vector<std::uint8_t>* bytes) {
  if (bytes == nullptr) return E_INVALIDARG;
  try {
    return Encode(set, bytes);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

bool IsStorablePropVariant(const PROPVARIANT& value) { return IsStorable(value, false); }

std::uint16_t ChooseCodePage(const PropertySection& section, std::uint16_t preferred) {
  if (preferred == kCodePageUnicode) return preferred;
  bool fits = true;
  auto check = [&](const std::wstring& text) {
    if (fits) fits = WideToCodePage(text, preferred).has_value();
  };
  for (const auto& [id, name] : section.names) check(name);
  for (const auto& [id, value] : section.values) ForEachNarrowText(value.get(), check);
  return fits ? preferred : kCodePageUnicode;
}

}  // namespace recfilereader
