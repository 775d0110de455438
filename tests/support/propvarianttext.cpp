#include "support/propvarianttext.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

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

std::size_t FixedSize(VARTYPE element) {
  switch (element) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: case VT_R4: return 4;
    case VT_I8: case VT_UI8: case VT_CY: case VT_R8: case VT_DATE: case VT_FILETIME: return 8;
    default: return 0;
  }
}

std::uint64_t Bits(const void* slot, std::size_t size) {
  std::uint64_t v = 0;
  std::memcpy(&v, slot, size);
  return v;
}

std::string GuidText(const GUID& g) {
  char b[64];
  std::snprintf(b, sizeof b, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1,
                g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                g.Data4[5], g.Data4[6], g.Data4[7]);
  return b;
}

std::string ElementText(VARTYPE element, const void* slot) {
  if (const std::size_t size = FixedSize(element); size != 0) {
    char b[32];
    std::snprintf(b, sizeof b, "0x%" PRIx64, Bits(slot, size));
    return b;
  }
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
    default: return "?";
  }
}

std::string TypeName(VARTYPE vt) {
  std::string prefix = (vt & VT_VECTOR) != 0 ? "VECTOR|" : "";
  return prefix + std::to_string(vt & VT_TYPEMASK);
}

template <class T, class Fill>
PropVariantHolder Vector(VARTYPE element, const std::vector<T>& items, Fill fill) {
  PropVariantHolder h;
  const std::size_t slot = recfilereader_compat_detail::VectorElementSize(element);
  h->vt = static_cast<VARTYPE>(VT_VECTOR | element);
  h->caub.cElems = static_cast<ULONG>(items.size());
  h->caub.pElems = static_cast<UCHAR*>(CoTaskMemAlloc(slot * items.size()));
  std::memset(h->caub.pElems, 0, slot * items.size());
  for (std::size_t i = 0; i < items.size(); ++i) fill(h->caub.pElems + slot * i, items[i]);
  return h;
}

char* CopyNarrow(std::string_view s) {
  auto* p = static_cast<char*>(CoTaskMemAlloc(s.size() + 1));
  std::memcpy(p, s.data(), s.size());
  p[s.size()] = 0;
  return p;
}
wchar_t* CopyWide(std::wstring_view s) {
  auto* p = static_cast<wchar_t*>(CoTaskMemAlloc((s.size() + 1) * sizeof(wchar_t)));
  std::wmemcpy(p, s.data(), s.size());
  p[s.size()] = 0;
  return p;
}

}  // namespace

PropVariantHolder Lpstr(std::string_view utf8) {
  PropVariantHolder h;
  h->vt = VT_LPSTR;
  h->pszVal = CopyNarrow(utf8);
  return h;
}
PropVariantHolder Lpwstr(std::wstring_view text) {
  PropVariantHolder h;
  h->vt = VT_LPWSTR;
  h->pwszVal = CopyWide(text);
  return h;
}
PropVariantHolder Bstr(std::wstring_view text) {
  PropVariantHolder h;
  h->vt = VT_BSTR;
  h->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return h;
}
PropVariantHolder Blob(const std::vector<std::uint8_t>& bytes) {
  PropVariantHolder h;
  h->vt = VT_BLOB;
  h->blob.cbSize = static_cast<ULONG>(bytes.size());
  h->blob.pBlobData = nullptr;
  if (!bytes.empty()) {
    h->blob.pBlobData = static_cast<BYTE*>(CoTaskMemAlloc(bytes.size()));
    std::memcpy(h->blob.pBlobData, bytes.data(), bytes.size());
  }
  return h;
}
PropVariantHolder Clsid(const GUID& guid) {
  PropVariantHolder h;
  h->vt = VT_CLSID;
  h->puuid = static_cast<CLSID*>(CoTaskMemAlloc(sizeof(CLSID)));
  *h->puuid = guid;
  return h;
}
PropVariantHolder ClipData(LONG format, const std::vector<std::uint8_t>& data) {
  PropVariantHolder h;
  h->vt = VT_CF;
  h->pclipdata = static_cast<CLIPDATA*>(CoTaskMemAlloc(sizeof(CLIPDATA)));
  h->pclipdata->cbSize = static_cast<ULONG>(data.size() + 4);
  h->pclipdata->ulClipFmt = format;
  h->pclipdata->pClipData = static_cast<BYTE*>(CoTaskMemAlloc(data.size()));
  if (!data.empty()) std::memcpy(h->pclipdata->pClipData, data.data(), data.size());
  return h;
}
PropVariantHolder LpstrVector(const std::vector<std::string>& items) {
  return Vector<std::string>(VT_LPSTR, items, [](void* slot, const std::string& s) {
    *static_cast<char**>(slot) = CopyNarrow(s);
  });
}
PropVariantHolder LpwstrVector(const std::vector<std::wstring>& items) {
  return Vector<std::wstring>(VT_LPWSTR, items, [](void* slot, const std::wstring& s) {
    *static_cast<wchar_t**>(slot) = CopyWide(s);
  });
}
PropVariantHolder BstrVector(const std::vector<std::wstring>& items) {
  return Vector<std::wstring>(VT_BSTR, items, [](void* slot, const std::wstring& s) {
    *static_cast<BSTR*>(slot) = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  });
}
PropVariantHolder Fixed(VARTYPE vt, std::uint64_t bits) {
  PropVariantHolder h;
  h->vt = vt;
  std::memcpy(&h->cVal, &bits, FixedSize(vt));
  return h;
}
PropVariantHolder FixedVector(VARTYPE element, const std::vector<std::uint64_t>& items) {
  const std::size_t size = FixedSize(element);
  return Vector<std::uint64_t>(element, items, [size](void* slot, const std::uint64_t& v) {
    std::memcpy(slot, &v, size);
  });
}
PropVariantHolder VariantVector(const std::vector<PropVariantHolder>& items) {
  PropVariantHolder h;
  h->vt = VT_VECTOR | VT_VARIANT;
  h->capropvar.cElems = static_cast<ULONG>(items.size());
  h->capropvar.pElems = static_cast<PROPVARIANT*>(CoTaskMemAlloc(sizeof(PROPVARIANT) * items.size()));
  for (std::size_t i = 0; i < items.size(); ++i) PropVariantCopy(&h->capropvar.pElems[i], &items[i].get());
  return h;
}
PropVariantHolder Decimal(BYTE scale, BYTE sign, ULONG hi, ULONGLONG low) {
  PropVariantHolder h;
  DECIMAL d{};
  d.scale = scale;
  d.sign = sign;
  d.Hi32 = hi;
  d.Lo32 = static_cast<ULONG>(low);
  d.Mid32 = static_cast<ULONG>(low >> 32);
  PropVariantSetDecimal(h.get(), d);
  return h;
}

std::vector<TypedValue> EveryType() {
  const GUID g = {0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};
  std::vector<TypedValue> v;
  v.push_back({"empty", PropVariantHolder()});
  v.push_back({"null", Fixed(VT_NULL, 0)});
  v.push_back({"i1", Fixed(VT_I1, 0xFB)});
  v.push_back({"ui1", Fixed(VT_UI1, 200)});
  v.push_back({"i2", Fixed(VT_I2, 0xFED4)});
  v.push_back({"ui2", Fixed(VT_UI2, 60000)});
  v.push_back({"i4", Fixed(VT_I4, 0xFFFEEE90)});
  v.push_back({"ui4", Fixed(VT_UI4, 4000000000u)});
  v.push_back({"int", Fixed(VT_INT, 0x80000000u)});
  v.push_back({"uint", Fixed(VT_UINT, 7)});
  v.push_back({"i8", Fixed(VT_I8, 0x8000000000000001ull)});
  v.push_back({"ui8", Fixed(VT_UI8, 0x0123456789ABCDEFull)});
  v.push_back({"r4", Fixed(VT_R4, 0x3FC00000)});
  v.push_back({"r8", Fixed(VT_R8, 0xC002000000000000ull)});
  v.push_back({"cy", Fixed(VT_CY, 123456789)});
  v.push_back({"date", Fixed(VT_DATE, 0x40E5F4C000000000ull)});
  v.push_back({"error", Fixed(VT_ERROR, 0x80030002)});
  v.push_back({"bool", Fixed(VT_BOOL, 0xFFFF)});
  v.push_back({"filetime", Fixed(VT_FILETIME, 0x01D9A1B2C3D4E5F6ull)});
  v.push_back({"decimal", Decimal(4, 0x80, 0x12345678, 0x9ABCDEF012345678ull)});
  v.push_back({"lpstr", Lpstr("caf\xC3\xA9")});
  v.push_back({"lpstr empty", Lpstr("")});
  v.push_back({"lpwstr", Lpwstr(L"wide \u2713 \U0001F600")});
  v.push_back({"bstr", Bstr(L"b\u00E9")});
  v.push_back({"blob", Blob({1, 2, 3, 4, 5})});
  v.push_back({"blob empty", Blob({})});
  v.push_back({"cf", ClipData(-1, {9, 8, 7})});
  v.push_back({"clsid", Clsid(g)});
  v.push_back({"vector i1", FixedVector(VT_I1, {1, 0xFF, 3})});
  v.push_back({"vector ui1", FixedVector(VT_UI1, {1, 2, 3, 4, 5})});
  v.push_back({"vector i2", FixedVector(VT_I2, {1, 2, 3})});
  v.push_back({"vector ui2", FixedVector(VT_UI2, {65535})});
  v.push_back({"vector i4", FixedVector(VT_I4, {1, 0xFFFFFFFF})});
  v.push_back({"vector ui4", FixedVector(VT_UI4, {})});
  v.push_back({"vector i8", FixedVector(VT_I8, {~0ull, 5})});
  v.push_back({"vector ui8", FixedVector(VT_UI8, {1})});
  v.push_back({"vector r4", FixedVector(VT_R4, {0x3F800000})});
  v.push_back({"vector r8", FixedVector(VT_R8, {0x3FF0000000000000ull})});
  v.push_back({"vector cy", FixedVector(VT_CY, {10000})});
  v.push_back({"vector date", FixedVector(VT_DATE, {0})});
  v.push_back({"vector error", FixedVector(VT_ERROR, {0x80004005})});
  v.push_back({"vector bool", FixedVector(VT_BOOL, {0xFFFF, 0, 0xFFFF})});
  v.push_back({"vector filetime", FixedVector(VT_FILETIME, {0x01D9A1B2C3D4E5F6ull})});
  v.push_back({"vector lpstr", LpstrVector({"a", "bcd", "", "\xC3\xA9t\xC3\xA9"})});
  v.push_back({"vector lpwstr", LpwstrVector({L"x", L"", L"\u65E5\u672C"})});
  v.push_back({"vector bstr", BstrVector({L"one", L"two"})});
  v.push_back({"vector clsid", [&] {
                 PropVariantHolder h;
                 h->vt = VT_VECTOR | VT_CLSID;
                 h->cauuid.cElems = 2;
                 h->cauuid.pElems = static_cast<CLSID*>(CoTaskMemAlloc(2 * sizeof(CLSID)));
                 h->cauuid.pElems[0] = g;
                 h->cauuid.pElems[1] = GUID_NULL;
                 return h;
               }()});
  std::vector<PropVariantHolder> variants;
  variants.push_back(Fixed(VT_I4, 5));
  variants.push_back(Lpstr("heading"));
  variants.push_back(FixedVector(VT_I2, {1, 2, 3}));
  variants.push_back(Decimal(1, 0, 0, 15));
  v.push_back({"vector variant", VariantVector(variants)});
  return v;
}

std::string Describe(const PROPVARIANT& value) {
  const VARTYPE vt = value.vt;
  std::string text = TypeName(vt) + " ";
  if ((vt & VT_VECTOR) != 0) {
    const VARTYPE element = vt & VT_TYPEMASK;
    const std::size_t slot = recfilereader_compat_detail::VectorElementSize(element);
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

std::string OlefileClsid(const GUID& g) {
  const std::string braced = GuidText(g);
  return braced.substr(1, braced.size() - 2);
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
    case VT_CLSID: return prefix + "g " + OlefileClsid(*value.puuid);
    default: return {};
  }
}

MemoryDocument::MemoryDocument() {
  if (FAILED(CreateILockBytesOnHGlobal(nullptr, 1, &bytes_))) return;
  if (FAILED(StgCreateDocfileOnILockBytes(bytes_, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                          0, &root_)))
    root_ = nullptr;
}

MemoryDocument::MemoryDocument(const std::vector<std::uint8_t>& bytes) {
  if (FAILED(CreateILockBytesOnHGlobal(nullptr, 1, &bytes_))) return;
  ULONG written = 0;
  if (!bytes.empty() && FAILED(bytes_->WriteAt(ULARGE_INTEGER{}, bytes.data(),
                                               static_cast<ULONG>(bytes.size()), &written)))
    return;
  if (FAILED(StgOpenStorageOnILockBytes(bytes_, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr,
                                        0, &root_)))
    root_ = nullptr;
}

MemoryDocument::~MemoryDocument() {
  if (root_ != nullptr) root_->Release();
  if (bytes_ != nullptr) bytes_->Release();
}

std::vector<std::uint8_t> MemoryDocument::Finish() {
  if (root_ != nullptr) root_->Release();
  root_ = nullptr;
  return LockBytesContent(bytes_);
}

std::vector<std::uint8_t> LockBytesContent(ILockBytes* bytes) {
  STATSTG stat;
  if (FAILED(bytes->Stat(&stat, STATFLAG_NONAME))) return {};
  std::vector<std::uint8_t> content(static_cast<std::size_t>(stat.cbSize.QuadPart));
  ULONG read = 0;
  bytes->ReadAt(ULARGE_INTEGER{}, content.data(), static_cast<ULONG>(content.size()), &read);
  content.resize(read);
  return content;
}

}  // namespace rectest
