#include "support/propvarianttext.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "platform/decimal.h"
#include "platform/guid.h"
#include "platform/textconv.h"
#include "recfilereader/propvariant.h"

namespace rectest {
namespace {

using recfilereader::WideToUtf8;

std::string Hex(const std::uint8_t* p, std::size_t n) {
  std::string out;
  char b[3];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, "%02x", p[i]);
    out += b;
  }
  return out;
}

std::string Quote(const std::string& utf8) { return "\"" + utf8 + "\""; }

using recfilereader_compat_detail::DuplicateBytes;
using recfilereader_compat_detail::DuplicateString;
using recfilereader_compat_detail::VectorElementSize;

std::string GuidText(const GUID& g) { return WideToUtf8(recfilereader::GuidToString(g)); }

std::string ElementText(VARTYPE element, const void* slot) {
  switch (element) {
    case VT_LPSTR: {
      const char* s = *static_cast<char* const*>(slot);
      return s == nullptr ? "null" : Quote(s);
    }
    case VT_LPWSTR: case VT_BSTR: {
      const wchar_t* s = *static_cast<wchar_t* const*>(slot);
      return s == nullptr ? "null" : Quote(WideToUtf8(s));
    }
    case VT_CLSID: return GuidText(*static_cast<const GUID*>(slot));
    case VT_CF: {
      const auto* c = static_cast<const CLIPDATA*>(slot);
      const std::size_t data = c->cbSize >= 4 ? c->cbSize - 4 : 0;
      return "cf(" + std::to_string(c->ulClipFmt) + "," +
             (c->pClipData ? Hex(c->pClipData, data) : std::string()) + ")";
    }
    case VT_VARIANT: return Describe(*static_cast<const PROPVARIANT*>(slot));
    default: {  // a fixed-size value (none for types without an element size)
      std::uint64_t bits = 0;
      std::memcpy(&bits, slot, VectorElementSize(element));
      char b[32];
      std::snprintf(b, sizeof b, "0x%" PRIx64, bits);
      return b;
    }
  }
}

// A vector whose elements are the low bytes of `items` (pointers, GUIDs and detached values
// whole): the vector owns what they point to.
template <class T>
PropVariantHolder Vector(VARTYPE element, const std::vector<T>& items) {
  PropVariantHolder h = Typed(static_cast<VARTYPE>(VT_VECTOR | element));
  const std::size_t slot = VectorElementSize(element);
  h->caub.cElems = static_cast<ULONG>(items.size());
  h->caub.pElems = static_cast<UCHAR*>(CoTaskMemAlloc(slot * items.size()));
  std::memset(h->caub.pElems, 0, slot * items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    std::memcpy(h->caub.pElems + slot * i, &items[i], std::min(slot, sizeof(T)));
  }
  return h;
}

char* Copy(std::string_view s) { return DuplicateString(std::string(s).c_str()); }
wchar_t* Copy(std::wstring_view s) { return DuplicateString(std::wstring(s).c_str()); }
BSTR CopyBstr(std::wstring_view s) { return SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); }

}  // namespace

PropVariantHolder Fixed(VARTYPE vt, std::uint64_t bits) {
  PropVariantHolder h = Typed(vt);
  std::memcpy(&h->cVal, &bits, VectorElementSize(vt));
  return h;
}
PropVariantHolder Dec(const wchar_t* text) {
  PropVariantHolder h;
  DECIMAL d{};
  recfilereader::VarDecFromStr(text, recfilereader::kLocaleEnglishUs, 0, &d);
  PropVariantSetDecimal(h.get(), d);
  return h;
}
PropVariantHolder Lpstr(std::string_view utf8) {
  PropVariantHolder h = Typed(VT_LPSTR);
  h->pszVal = Copy(utf8);
  return h;
}
PropVariantHolder Lpwstr(std::wstring_view text) {
  PropVariantHolder h = Typed(VT_LPWSTR);
  h->pwszVal = Copy(text);
  return h;
}
PropVariantHolder Bstr(std::wstring_view text) {
  PropVariantHolder h = Typed(VT_BSTR);
  h->bstrVal = CopyBstr(text);
  return h;
}
PropVariantHolder Blob(const std::vector<std::uint8_t>& bytes) {
  PropVariantHolder h = Typed(VT_BLOB);
  h->blob.cbSize = static_cast<ULONG>(bytes.size());
  if (!bytes.empty()) h->blob.pBlobData = static_cast<BYTE*>(DuplicateBytes(bytes.data(), bytes.size()));
  return h;
}
PropVariantHolder Clsid(const GUID& guid) {
  PropVariantHolder h = Typed(VT_CLSID);
  h->puuid = static_cast<CLSID*>(DuplicateBytes(&guid, sizeof guid));
  return h;
}
PropVariantHolder ClipData(LONG format, const std::vector<std::uint8_t>& data) {
  PropVariantHolder h = Typed(VT_CF);
  h->pclipdata = static_cast<CLIPDATA*>(CoTaskMemAlloc(sizeof(CLIPDATA)));
  h->pclipdata->cbSize = static_cast<ULONG>(data.size() + 4);
  h->pclipdata->ulClipFmt = format;
  h->pclipdata->pClipData = static_cast<BYTE*>(DuplicateBytes(data.data(), data.size()));
  return h;
}
PropVariantHolder LpwstrVector(const std::vector<std::wstring>& items) {
  std::vector<wchar_t*> copies;
  for (const std::wstring& item : items) copies.push_back(Copy(item));
  return Vector(VT_LPWSTR, copies);
}
PropVariantHolder FixedVector(VARTYPE element, const std::vector<std::uint64_t>& items) {
  return Vector(element, items);
}

std::vector<TypedValue> EveryType() {
  const GUID g = {0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};
  std::vector<TypedValue> v;
  v.push_back({"empty", PropVariantHolder()});
  const struct {
    const char* label;
    VARTYPE vt;
    std::uint64_t bits;
  } scalars[] = {{"null", VT_NULL, 0}, {"i1", VT_I1, 0xFB}, {"ui1", VT_UI1, 200}, {"i2", VT_I2, 0xFED4},
                 {"ui2", VT_UI2, 60000}, {"i4", VT_I4, 0xFFFEEE90}, {"ui4", VT_UI4, 4000000000u},
                 {"int", VT_INT, 0x80000000u}, {"uint", VT_UINT, 7}, {"i8", VT_I8, 0x8000000000000001ull},
                 {"ui8", VT_UI8, 0x0123456789ABCDEFull}, {"r4", VT_R4, 0x3FC00000},
                 {"r8", VT_R8, 0xC002000000000000ull}, {"cy", VT_CY, 123456789},
                 {"date", VT_DATE, 0x40E5F4C000000000ull}, {"error", VT_ERROR, 0x80030002},
                 {"bool", VT_BOOL, 0xFFFF}, {"filetime", VT_FILETIME, 0x01D9A1B2C3D4E5F6ull}};
  for (const auto& s : scalars) v.push_back({s.label, Fixed(s.vt, s.bits)});
  v.push_back({"decimal", PropVariantHolder()});
  PropVariantSetDecimal(v.back().value.get(), DECIMAL{0, 4, 0x80, 0x12345678, 0x12345678, 0x9ABCDEF0});
  v.push_back({"lpstr", Lpstr("caf\xC3\xA9")});
  v.push_back({"lpstr empty", Lpstr("")});
  v.push_back({"lpwstr", Lpwstr(L"wide \u2713 \U0001F600")});
  v.push_back({"bstr", Bstr(L"b\u00E9")});
  v.push_back({"blob", Blob({1, 2, 3, 4, 5})});
  v.push_back({"blob empty", Blob({})});
  v.push_back({"cf", ClipData(-1, {9, 8, 7})});
  v.push_back({"clsid", Clsid(g)});
  const struct {
    const char* label;
    VARTYPE element;
    std::vector<std::uint64_t> items;
  } vectors[] = {{"vector i1", VT_I1, {1, 0xFF, 3}}, {"vector ui1", VT_UI1, {1, 2, 3, 4, 5}},
                 {"vector i2", VT_I2, {1, 2, 3}}, {"vector ui2", VT_UI2, {65535}},
                 {"vector i4", VT_I4, {1, 0xFFFFFFFF}}, {"vector ui4", VT_UI4, {}},
                 {"vector i8", VT_I8, {~0ull, 5}}, {"vector ui8", VT_UI8, {1}},
                 {"vector r4", VT_R4, {0x3F800000}}, {"vector r8", VT_R8, {0x3FF0000000000000ull}},
                 {"vector cy", VT_CY, {10000}}, {"vector date", VT_DATE, {0}},
                 {"vector error", VT_ERROR, {0x80004005}}, {"vector bool", VT_BOOL, {0xFFFF, 0, 0xFFFF}},
                 {"vector filetime", VT_FILETIME, {0x01D9A1B2C3D4E5F6ull}}};
  for (const auto& s : vectors) v.push_back({s.label, FixedVector(s.element, s.items)});
  v.push_back({"vector lpstr", Vector<char*>(VT_LPSTR, {Copy("a"), Copy("bcd"), Copy(""), Copy("\xC3\xA9t\xC3\xA9")})});
  v.push_back({"vector lpwstr", LpwstrVector({L"x", L"", L"\u65E5\u672C"})});
  v.push_back({"vector bstr", Vector<BSTR>(VT_BSTR, {CopyBstr(L"one"), CopyBstr(L"two")})});
  v.push_back({"vector clsid", Vector<GUID>(VT_CLSID, {g, GUID_NULL})});
  v.push_back({"vector variant", Vector<PROPVARIANT>(VT_VARIANT, {Fixed(VT_I4, 5).Detach(), Lpstr("heading").Detach(),
                                                                  FixedVector(VT_I2, {1, 2, 3}).Detach(),
                                                                  Dec(L"1.5").Detach()})});
  return v;
}

std::string Describe(const PROPVARIANT& value) {
  const VARTYPE vt = value.vt;
  std::string text = ((vt & VT_VECTOR) != 0 ? "VECTOR|" : "") + std::to_string(vt & VT_TYPEMASK) + " ";
  if ((vt & VT_VECTOR) != 0) {
    const VARTYPE element = vt & VT_TYPEMASK;
    const std::size_t slot = VectorElementSize(element);
    text += "[";
    for (ULONG i = 0; i < value.caub.cElems; ++i) {
      if (i > 0) text += ", ";
      text += ElementText(element, value.caub.pElems + slot * i);
    }
    return text + "]";
  }
  switch (vt) {
    case VT_EMPTY: case VT_NULL: return text;
    case VT_DECIMAL: {
      const DECIMAL d = PropVariantGetDecimal(value);
      char b[96];
      std::snprintf(b, sizeof b, "scale %u sign %u %08x:%08x:%08x", d.scale, d.sign, d.Hi32,
                    d.Mid32, d.Lo32);
      return text + b;
    }
    case VT_BLOB:
      return text + "blob(" + std::to_string(value.blob.cbSize) + ":" +
             (value.blob.pBlobData ? Hex(value.blob.pBlobData, value.blob.cbSize) : "") + ")";
    case VT_CLSID: return text + (value.puuid ? GuidText(*value.puuid) : "null");
    case VT_CF: return text + (value.pclipdata ? ElementText(VT_CF, value.pclipdata) : "null");
    default: return text + ElementText(vt, &value.cVal);
  }
}

std::string OlefileLine(std::uint32_t id, const PROPVARIANT& value) {
  const std::string prefix = std::to_string(id) + " ";
  auto text = [&](const std::string& utf8) {
    return prefix + "s " + Hex(reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size());
  };
  switch (value.vt) {
    case VT_I2: return prefix + "i " + std::to_string(value.iVal);
    case VT_UI2: return prefix + "i " + std::to_string(value.uiVal);
    case VT_UI1: return prefix + "i " + std::to_string(value.bVal);
    // olefile reads every 32-bit integer unsigned.
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR:
      return prefix + "i " + std::to_string(value.ulVal);
    case VT_BOOL: return prefix + "b " + (value.boolVal != 0 ? "1" : "0");
    // olefile gives whole seconds.
    case VT_FILETIME: {
      const std::uint64_t t = (std::uint64_t{value.filetime.dwHighDateTime} << 32) |
                              value.filetime.dwLowDateTime;
      return prefix + "i " + std::to_string(t / 10000000);
    }
    case VT_LPSTR: return text(value.pszVal ? value.pszVal : "");
    case VT_LPWSTR: case VT_BSTR: return text(value.pwszVal ? WideToUtf8(value.pwszVal) : "");
    case VT_BLOB:
      return prefix + "x " + (value.blob.pBlobData ? Hex(value.blob.pBlobData, value.blob.cbSize) : "");
    case VT_CF: {
      std::uint8_t format[4];
      std::memcpy(format, &value.pclipdata->ulClipFmt, 4);
      const std::size_t data = value.pclipdata->cbSize - 4;
      return prefix + "x " + Hex(format, 4) + Hex(value.pclipdata->pClipData, data);
    }
    case VT_CLSID: {
      const std::string braced = GuidText(*value.puuid);
      return prefix + "g " + braced.substr(1, braced.size() - 2);
    }
    default: return {};
  }
}

MemoryDocument::MemoryDocument() {
  if (SUCCEEDED(CreateILockBytesOnHGlobal(nullptr, 1, &bytes_)) &&
      FAILED(StgCreateDocfileOnILockBytes(bytes_, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &root_)))
    root_ = nullptr;
}

MemoryDocument::MemoryDocument(const std::vector<std::uint8_t>& bytes) {
  ULONG written = 0;
  if (FAILED(CreateILockBytesOnHGlobal(nullptr, 1, &bytes_)) ||
      (!bytes.empty() &&
       FAILED(bytes_->WriteAt(ULARGE_INTEGER{}, bytes.data(), static_cast<ULONG>(bytes.size()), &written))))
    return;
  if (FAILED(StgOpenStorageOnILockBytes(bytes_, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &root_)))
    root_ = nullptr;
}

MemoryDocument::~MemoryDocument() {
  if (root_ != nullptr) root_->Release();
  if (bytes_ != nullptr) bytes_->Release();
}

std::vector<std::uint8_t> MemoryDocument::Finish() {
  if (root_ != nullptr) root_->Release();
  root_ = nullptr;
  STATSTG stat;
  if (FAILED(bytes_->Stat(&stat, STATFLAG_NONAME))) return {};
  std::vector<std::uint8_t> content(static_cast<std::size_t>(stat.cbSize.QuadPart));
  ULONG read = 0;
  bytes_->ReadAt(ULARGE_INTEGER{}, content.data(), static_cast<ULONG>(content.size()), &read);
  content.resize(read);
  return content;
}

}  // namespace rectest
