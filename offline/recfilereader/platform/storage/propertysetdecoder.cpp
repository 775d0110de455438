// Reading property-set streams (the model of propertysetcodec.h).
#include <algorithm>
#include <cstring>
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

constexpr std::size_t kHeaderSize = 28;
constexpr std::size_t kSectionRefSize = 20;
constexpr std::size_t kSectionHeaderSize = 8;
constexpr std::uint16_t kByteOrderMark = 0xFFFE;
// Trailing padding a writer may leave out after the last value of a section.
constexpr std::size_t kMissingPaddingTolerance = 3;

enum class Decoded { kOk, kUnsupported, kDamaged };

// How the elements of a vector or array are laid out. Writers pad every string and variant
// element to 4 bytes; office writers leave their heading pairs unpadded. Which one a value
// uses shows in where it ends (see DecodeValue).
enum class StringLayout { kPadded, kUnpadded };
// The most dimensions an array may have.
constexpr std::uint32_t kMostArrayDimensions = 31;

struct Mode {
  StringLayout layout = StringLayout::kPadded;
  bool strict = false;  // every string must end in its terminator
};

void* AllocateOrThrow(std::size_t size) {
  void* block = CoTaskMemAlloc(size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void SkipPadding(ByteReader& r, std::size_t start, Mode mode) {
  if (mode.layout == StringLayout::kUnpadded) return;
  const std::size_t used = r.position() - start;
  r.Skip(std::min((4 - used % 4) % 4, r.remaining()));
}

// Text up to the first terminator.
std::wstring NarrowText(std::span<const std::uint8_t> bytes, std::uint16_t code_page) {
  std::size_t length = bytes.size();
  if (code_page == kCodePageUnicode) {
    length &= ~std::size_t{1};
    for (std::size_t i = 0; i + 1 < length; i += 2) {
      if (bytes[i] == 0 && bytes[i + 1] == 0) {
        length = i;
        break;
      }
    }
  } else {
    length = std::find(bytes.begin(), bytes.end(), std::uint8_t{0}) - bytes.begin();
  }
  return CodePageToWide(bytes.first(length), code_page);
}

// A name ends in its one terminator: no zero unit comes before the last.
bool SingleTerminated(std::span<const std::uint8_t> bytes, std::size_t unit);

bool Terminated(std::span<const std::uint8_t> bytes, std::size_t unit) {
  if (bytes.empty()) return true;
  if (bytes.size() % unit != 0) return false;
  for (std::size_t i = bytes.size() - unit; i < bytes.size(); ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

bool SingleTerminated(std::span<const std::uint8_t> bytes, std::size_t unit) {
  if (bytes.empty() || !Terminated(bytes, unit)) return false;
  for (std::size_t i = 0; i + unit < bytes.size(); i += unit) {
    bool zero = true;
    for (std::size_t k = 0; k < unit; ++k) zero = zero && bytes[i + k] == 0;
    if (zero) return false;
  }
  return true;
}

char* DuplicateUtf8(const std::wstring& text) {
  const std::string utf8 = WideToUtf8(text);
  auto* copy = static_cast<char*>(AllocateOrThrow(utf8.size() + 1));
  std::memcpy(copy, utf8.c_str(), utf8.size() + 1);
  return copy;
}

wchar_t* DuplicateWide(const std::wstring& text) {
  auto* copy = static_cast<wchar_t*>(AllocateOrThrow((text.size() + 1) * sizeof(wchar_t)));
  std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  return copy;
}

BSTR DuplicateBstr(const std::wstring& text) {
  BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (copy == nullptr) throw std::bad_alloc();
  return copy;
}

// The smallest encoded size of one vector element, so that a count can be checked against the
// bytes that remain before anything is allocated.
std::size_t MinElementBytes(VARTYPE element) {
  switch (element) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_ERROR: case VT_R4: return 4;
    case VT_I8: case VT_UI8: case VT_CY: case VT_R8: case VT_DATE: case VT_FILETIME: return 8;
    case VT_CLSID: case VT_DECIMAL: return 16;
    case VT_BSTR: case VT_LPSTR: case VT_LPWSTR: case VT_CF: case VT_VARIANT: return 4;
    default: return 0;  // not allowed in a vector or array
  }
}

// True when a value is a vector or array whose elements may be laid out either way.
bool MayBeUnpadded(VARTYPE type) {
  if ((type & (VT_VECTOR | VT_ARRAY)) == 0) return false;
  switch (type & VT_TYPEMASK) {
    case VT_BSTR: case VT_LPSTR: case VT_LPWSTR: case VT_CF: case VT_VARIANT: return true;
    default: return false;
  }
}

std::size_t RoundUp4(std::size_t n) { return n + (4 - n % 4) % 4; }

class ValueDecoder {
 public:
  explicit ValueDecoder(std::uint16_t code_page) : code_page_(code_page) {}

  // The value of one property, which must end where `size` says (the next property's offset
  // or the section's end; `bytes` may lack the last padding). Elements of vectors and arrays
  // that may be unpadded are read padded when that ends there, else unpadded when that does;
  // a value that ends elsewhere either way is damaged.
  Decoded Value(std::span<const std::uint8_t> bytes, std::size_t size, PropVariantHolder& out) {
    ByteReader peek(bytes);
    if (!MayBeUnpadded(peek.U16())) {
      ByteReader r(bytes);
      return Typed(r, out, Mode{}, false);
    }
    bool unsupported = true;
    for (StringLayout layout : {StringLayout::kPadded, StringLayout::kUnpadded}) {
      ByteReader r(bytes);
      out.Reset();
      const Decoded result = Typed(r, out, Mode{layout, false}, false);
      if (result == Decoded::kOk && RoundUp4(r.position()) >= size) return result;
      unsupported = unsupported && result == Decoded::kUnsupported;
    }
    out.Reset();
    return unsupported ? Decoded::kUnsupported : Decoded::kDamaged;
  }

 private:
  // A typed value: type word, two padding bytes, the data, padding to 4.
  Decoded Typed(ByteReader& r, PropVariantHolder& out, Mode mode, bool inside_vector) {
    const std::size_t start = r.position();
    const VARTYPE type = r.U16();
    r.Skip(2);
    if (!r.ok()) return Decoded::kDamaged;
    const VARTYPE element = type & VT_TYPEMASK;
    Decoded result;
    if ((type & VT_VECTOR) != 0) {
      // A vector of variants inside a vector of variants would let the input nest without end.
      if ((type & ~(VT_VECTOR | VT_TYPEMASK)) != 0 || (inside_vector && element == VT_VARIANT))
        return Decoded::kUnsupported;
      result = Vector(r, element, out, mode);
    } else if ((type & VT_ARRAY) != 0) {
      // So would an array inside a vector or array.
      if ((type & ~(VT_ARRAY | VT_TYPEMASK)) != 0 || inside_vector) return Decoded::kUnsupported;
      result = Array(r, element, out, mode);
    } else {
      result = Scalar(r, type, out, mode);
    }
    if (result == Decoded::kOk && !(inside_vector && mode.layout == StringLayout::kUnpadded)) {
      const std::size_t used = r.position() - start;
      r.Skip(std::min((4 - used % 4) % 4, r.remaining()));
    }
    return result;
  }

  Decoded Scalar(ByteReader& r, VARTYPE type, PropVariantHolder& out, Mode mode) {
    PROPVARIANT& pv = out.get();
    switch (type) {
      case VT_EMPTY: case VT_NULL:
        pv.vt = type;
        return Decoded::kOk;
      case VT_DECIMAL: {
        DECIMAL d{};
        if (Element(r, VT_DECIMAL, &d, mode) != Decoded::kOk) return Decoded::kDamaged;
        PropVariantSetDecimal(pv, d);
        return Decoded::kOk;
      }
      case VT_BLOB: {
        const std::uint32_t size = r.U32();
        if (!r.ok() || !r.Have(size)) return Decoded::kDamaged;
        const auto bytes = r.Bytes(size);
        pv.vt = VT_BLOB;
        pv.blob.cbSize = size;
        pv.blob.pBlobData = size == 0 ? nullptr : static_cast<BYTE*>(AllocateOrThrow(size));
        if (size > 0) std::memcpy(pv.blob.pBlobData, bytes.data(), size);
        return Decoded::kOk;
      }
      case VT_CLSID: {
        if (!r.Have(16)) return Decoded::kDamaged;
        pv.puuid = static_cast<CLSID*>(AllocateOrThrow(sizeof(CLSID)));
        pv.vt = VT_CLSID;
        return Element(r, VT_CLSID, pv.puuid, mode);
      }
      case VT_CF: {
        pv.pclipdata = static_cast<CLIPDATA*>(AllocateOrThrow(sizeof(CLIPDATA)));
        std::memset(pv.pclipdata, 0, sizeof(CLIPDATA));
        pv.vt = VT_CF;
        return Element(r, VT_CF, pv.pclipdata, mode);
      }
      case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_BOOL: case VT_I4: case VT_UI4:
      case VT_INT: case VT_UINT: case VT_ERROR: case VT_R4: case VT_I8: case VT_UI8: case VT_CY:
      case VT_R8: case VT_DATE: case VT_FILETIME: case VT_BSTR: case VT_LPSTR: case VT_LPWSTR: {
        // The value field lies at the start of the union for every one of these types.
        const Decoded result = Element(r, type, &pv.cVal, mode);
        if (result == Decoded::kOk) pv.vt = type;
        return result;
      }
      default:
        return Decoded::kUnsupported;
    }
  }

  // One element, packed, into `slot` (the union field or the vector's array entry).
  Decoded Element(ByteReader& r, VARTYPE type, void* slot, Mode mode) {
    switch (type) {
      case VT_I1: case VT_UI1: return Fixed(r, slot, 1);
      case VT_I2: case VT_UI2: case VT_BOOL: return Fixed(r, slot, 2);
      case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: case VT_R4:
        return Fixed(r, slot, 4);
      case VT_I8: case VT_UI8: case VT_CY: case VT_R8: case VT_DATE: return Fixed(r, slot, 8);
      case VT_FILETIME: {
        FILETIME ft;
        ft.dwLowDateTime = r.U32();
        ft.dwHighDateTime = r.U32();
        if (!r.ok()) return Decoded::kDamaged;
        std::memcpy(slot, &ft, sizeof ft);
        return Decoded::kOk;
      }
      case VT_DECIMAL: {
        DECIMAL d{};
        r.Skip(2);
        d.scale = r.U8();
        d.sign = r.U8();
        d.Hi32 = r.U32();
        const std::uint64_t low = r.U64();
        if (!r.ok()) return Decoded::kDamaged;
        d.Lo32 = static_cast<ULONG>(low);
        d.Mid32 = static_cast<ULONG>(low >> 32);
        std::memcpy(slot, &d, sizeof d);
        return Decoded::kOk;
      }
      case VT_VARIANT: {
        PropVariantHolder item;
        const Decoded result = Typed(r, item, mode, true);
        if (result == Decoded::kOk) *static_cast<PROPVARIANT*>(slot) = item.Detach();
        return result;
      }
      case VT_CLSID: {
        GUID g;
        g.Data1 = r.U32();
        g.Data2 = r.U16();
        g.Data3 = r.U16();
        for (auto& b : g.Data4) b = r.U8();
        if (!r.ok()) return Decoded::kDamaged;
        std::memcpy(slot, &g, sizeof g);
        return Decoded::kOk;
      }
      case VT_BSTR: case VT_LPSTR: {
        std::wstring text;
        if (!CodePageString(r, &text, mode)) return Decoded::kDamaged;
        if (type == VT_BSTR) *static_cast<BSTR*>(slot) = DuplicateBstr(text);
        else *static_cast<char**>(slot) = DuplicateUtf8(text);
        return Decoded::kOk;
      }
      case VT_LPWSTR: {
        std::wstring text;
        if (!UnicodeString(r, &text, mode)) return Decoded::kDamaged;
        *static_cast<wchar_t**>(slot) = DuplicateWide(text);
        return Decoded::kOk;
      }
      case VT_CF: return ClipData(r, *static_cast<CLIPDATA*>(slot), mode);
      default: return Decoded::kUnsupported;
    }
  }

  Decoded Fixed(ByteReader& r, void* slot, std::size_t size) {
    const auto bytes = r.Bytes(size);
    if (!r.ok()) return Decoded::kDamaged;
    // Little-endian fields into native little-endian slots: assemble through a 64-bit value.
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) value |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    switch (size) {
      case 1: { const auto v = static_cast<std::uint8_t>(value); std::memcpy(slot, &v, 1); break; }
      case 2: { const auto v = static_cast<std::uint16_t>(value); std::memcpy(slot, &v, 2); break; }
      case 4: { const auto v = static_cast<std::uint32_t>(value); std::memcpy(slot, &v, 4); break; }
      default: std::memcpy(slot, &value, 8); break;
    }
    return Decoded::kOk;
  }

  bool CodePageString(ByteReader& r, std::wstring* text, Mode mode) {
    const std::size_t start = r.position();
    const std::uint32_t size = r.U32();
    if (!r.ok() || !r.Have(size)) return false;
    const auto bytes = r.Bytes(size);
    if (mode.strict && !Terminated(bytes, code_page_ == kCodePageUnicode ? 2 : 1)) return false;
    *text = NarrowText(bytes, code_page_);
    SkipPadding(r, start, mode);
    return true;
  }

  bool UnicodeString(ByteReader& r, std::wstring* text, Mode mode) {
    const std::size_t start = r.position();
    const std::uint32_t length = r.U32();
    if (!r.ok() || length > r.remaining() / 2) return false;
    const auto bytes = r.Bytes(std::size_t{length} * 2);
    if (mode.strict && !Terminated(bytes, 2)) return false;
    *text = NarrowText(bytes, kCodePageUnicode);
    SkipPadding(r, start, mode);
    return true;
  }

  Decoded ClipData(ByteReader& r, CLIPDATA& clip, Mode mode) {
    const std::size_t start = r.position();
    const std::uint32_t size = r.U32();
    if (!r.ok() || size < 4 || !r.Have(size)) return Decoded::kDamaged;
    clip.cbSize = size;
    clip.ulClipFmt = static_cast<LONG>(r.U32());
    const std::size_t data = size - 4;
    const auto bytes = r.Bytes(data);
    clip.pClipData = nullptr;
    if (data > 0) {
      clip.pClipData = static_cast<BYTE*>(AllocateOrThrow(data));
      std::memcpy(clip.pClipData, bytes.data(), data);
    }
    SkipPadding(r, start, mode);
    return Decoded::kOk;
  }

  Decoded Vector(ByteReader& r, VARTYPE element, PropVariantHolder& out, Mode mode) {
    const std::size_t min_bytes = MinElementBytes(element);
    const std::size_t slot_bytes = recfilereader_compat_detail::VectorElementSize(element);
    if (min_bytes == 0 || slot_bytes == 0) return Decoded::kUnsupported;
    const std::uint32_t count = r.U32();
    if (!r.ok() || count > r.remaining() / min_bytes) return Decoded::kDamaged;
    PROPVARIANT& pv = out.get();
    pv.vt = static_cast<VARTYPE>(VT_VECTOR | element);
    pv.caub.cElems = 0;
    pv.caub.pElems = nullptr;
    if (count == 0) return Decoded::kOk;
    auto* array = static_cast<std::uint8_t*>(AllocateOrThrow(slot_bytes * count));
    std::memset(array, 0, slot_bytes * count);  // every slot clears as empty
    pv.caub.pElems = array;
    pv.caub.cElems = count;
    for (std::uint32_t i = 0; i < count; ++i) {
      const Decoded result = Element(r, element, array + slot_bytes * i, mode);
      if (result != Decoded::kOk) return result;
    }
    return Decoded::kOk;
  }

  // An array: its element type again, the number of dimensions, (size, lowest index) per
  // dimension, then the elements of all dimensions packed.
  Decoded Array(ByteReader& r, VARTYPE element, PropVariantHolder& out, Mode mode) {
    const std::size_t min_bytes = MinElementBytes(element);
    const std::size_t slot_bytes = recfilereader_compat_detail::ArrayElementSize(element);
    if (min_bytes == 0 || slot_bytes == 0) return Decoded::kUnsupported;
    const std::uint32_t stored_type = r.U32();
    const std::uint32_t dimensions = r.U32();
    if (!r.ok() || stored_type != element || dimensions == 0 ||
        dimensions > kMostArrayDimensions || !r.Have(8 * std::size_t{dimensions}))
      return Decoded::kDamaged;
    PROPVARIANT& pv = out.get();
    auto* array = static_cast<SAFEARRAY*>(
        AllocateOrThrow(recfilereader_compat_detail::ArrayDescriptorSize(
            static_cast<USHORT>(dimensions))));
    std::memset(array, 0, recfilereader_compat_detail::ArrayDescriptorSize(
                              static_cast<USHORT>(dimensions)));
    pv.vt = static_cast<VARTYPE>(VT_ARRAY | element);
    pv.parray = array;
    array->cDims = static_cast<USHORT>(dimensions);
    array->cbElements = static_cast<ULONG>(slot_bytes);
    SAFEARRAYBOUND* bounds = array->rgsabound;
    // The element count is checked against the bytes that remain at every step, so that the
    // product can never wrap.
    std::uint64_t count = 1;
    for (std::uint32_t i = 0; i < dimensions; ++i) {
      bounds[i].cElements = r.U32();
      bounds[i].lLbound = static_cast<LONG>(r.U32());
      const std::uint32_t size = bounds[i].cElements;
      if (size != 0 && count > r.remaining() / min_bytes / size) return Decoded::kDamaged;
      count *= size;
    }
    if (count * min_bytes > r.remaining()) return Decoded::kDamaged;
    auto* elements = static_cast<std::uint8_t*>(AllocateOrThrow(slot_bytes * count));
    std::memset(elements, 0, slot_bytes * count);  // every slot clears as empty
    array->pvData = elements;
    for (std::uint64_t i = 0; i < count; ++i) {
      const Decoded result = Element(r, element, elements + slot_bytes * i, mode);
      if (result != Decoded::kOk) return result;
    }
    return Decoded::kOk;
  }

  std::uint16_t code_page_;
};

// The dictionary: a count, then (identifier, length, name) entries. Unicode names are padded
// to 4 bytes, narrow ones are not; some writers give Unicode lengths in bytes, not characters.
class DictionaryDecoder {
 public:
  explicit DictionaryDecoder(std::uint16_t code_page) : code_page_(code_page) {}

  bool Decode(ByteReader r, std::map<PROPID, std::wstring>* names) {
    const Mode attempts[] = {{StringLayout::kPadded, true},
                             {StringLayout::kUnpadded, true},
                             {StringLayout::kPadded, false}};
    for (const Mode& attempt : attempts) {
      names->clear();
      if (Entries(r, attempt, names)) return true;
    }
    names->clear();
    return false;
  }

 private:
  bool Entries(ByteReader r, Mode mode, std::map<PROPID, std::wstring>* names) {
    const bool unicode = code_page_ == kCodePageUnicode;
    if (!unicode && mode.layout == StringLayout::kUnpadded) return false;  // same as padded
    const std::uint32_t count = r.U32();
    if (!r.ok() || count > r.remaining() / 8) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::size_t start = r.position();
      const PROPID id = r.U32();
      const std::uint32_t length = r.U32();
      if (!r.ok()) return false;
      std::size_t bytes = length;
      if (unicode) {
        bytes = UnicodeNameBytes(r, length, mode.strict);
        if (bytes == kBad) return false;
      }
      if (!r.Have(bytes)) return false;
      const auto name = r.Bytes(bytes);
      if (mode.strict && !SingleTerminated(name, unicode ? 2 : 1)) return false;
      (*names)[id] = NarrowText(name, code_page_);
      if (unicode && mode.layout == StringLayout::kPadded) {
        const std::size_t used = r.position() - start;
        r.Skip(std::min((4 - used % 4) % 4, r.remaining()));
      }
    }
    return true;
  }

  // Bytes of a Unicode name whose length field says `length`: characters as the format says,
  // or bytes as some writers put it (recognised by where the terminator lies).
  std::size_t UnicodeNameBytes(const ByteReader& r, std::uint32_t length, bool strict) const {
    const std::uint64_t as_units = std::uint64_t{length} * 2;
    if (as_units <= r.remaining()) {
      if (!strict) return static_cast<std::size_t>(as_units);
      ByteReader peek = r;
      if (SingleTerminated(peek.Bytes(static_cast<std::size_t>(as_units)), 2))
        return static_cast<std::size_t>(as_units);
    }
    if (length % 2 == 0 && length <= r.remaining()) {
      ByteReader peek = r;
      if (SingleTerminated(peek.Bytes(length), 2)) return length;
    }
    return kBad;
  }

  static constexpr std::size_t kBad = static_cast<std::size_t>(-1);
  std::uint16_t code_page_;
};

struct PropertyRef {
  PROPID id;
  std::uint32_t offset;
};

// `bytes` holds the section as far as the stream has it, `size` is the section's own size,
// which may reach up to 3 bytes further.
HRESULT DecodeSection(std::span<const std::uint8_t> bytes, std::size_t size,
                      PropertySection* section) {
  ByteReader r(bytes);
  r.Skip(4);  // the size, given as `size`
  const std::uint32_t count = r.U32();
  if (!r.ok() || count > r.remaining() / 8) return STG_E_INVALIDHEADER;
  std::vector<PropertyRef> refs(count);
  std::vector<std::uint32_t> offsets(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    refs[i].id = r.U32();
    refs[i].offset = offsets[i] = r.U32();
    if (refs[i].offset >= bytes.size()) return STG_E_INVALIDHEADER;
  }
  std::sort(offsets.begin(), offsets.end());
  // A value reaches up to the next value or the end of the section.
  auto value_size = [&](const PropertyRef& ref) -> std::size_t {
    const auto next = std::upper_bound(offsets.begin(), offsets.end(), ref.offset);
    return (next != offsets.end() ? std::size_t{*next} : size) - ref.offset;
  };
  auto value_bytes = [&](const PropertyRef& ref) {
    return bytes.subspan(ref.offset, std::min(value_size(ref), bytes.size() - ref.offset));
  };
  // The code page decides how the dictionary and all narrow strings read, so it comes first.
  section->code_page.reset();
  for (const PropertyRef& ref : refs) {
    if (ref.id != PID_CODEPAGE) continue;
    ByteReader vr(value_bytes(ref));
    const VARTYPE type = vr.U16();
    vr.Skip(2);
    // Read unsigned: 65001 does not fit the signed 16-bit type the value is stored as.
    const std::uint16_t code_page = vr.U16();
    if (vr.ok() && type == VT_I2) section->code_page = code_page;
  }
  // Without one, narrow text is read as the western code page, as other readers do.
  const std::uint16_t code_page = section->code_page.value_or(kCodePageWestern);
  ValueDecoder values(code_page);
  for (const PropertyRef& ref : refs) {
    if (ref.id == PID_CODEPAGE) continue;
    if (ref.id == PID_DICTIONARY) {
      if (!DictionaryDecoder(code_page).Decode(ByteReader(value_bytes(ref)), &section->names))
        return STG_E_INVALIDHEADER;
      continue;
    }
    PropVariantHolder value;
    const Decoded result = values.Value(value_bytes(ref), value_size(ref), value);
    if (result == Decoded::kUnsupported) continue;
    // Of duplicate identifiers, the last one read counts.
    section->values.erase(ref.id);
    section->damaged.erase(ref.id);
    if (result == Decoded::kDamaged) {
      const auto raw = value_bytes(ref);
      section->damaged[ref.id].assign(raw.begin(), raw.end());
      continue;
    }
    const bool is_ulong = value.vt() == VT_UI4 || value.vt() == VT_I4;
    if (ref.id == PID_LOCALE && is_ulong) section->locale = value->ulVal;
    else if (ref.id == PID_BEHAVIOR && is_ulong) section->behavior = value->ulVal;
    else if (ref.id != PID_LOCALE && ref.id != PID_BEHAVIOR) section->values[ref.id] = std::move(value);
  }
  return S_OK;
}

HRESULT DecodeSets(std::span<const std::uint8_t> bytes, PropertySetData* set) {
  *set = PropertySetData{};
  if (bytes.empty()) return S_OK;
  ByteReader r(bytes);
  if (r.U16() != kByteOrderMark) return STG_E_INVALIDHEADER;
  set->version = r.U16();
  set->os_version = r.U32();
  GUID clsid;
  clsid.Data1 = r.U32();
  clsid.Data2 = r.U16();
  clsid.Data3 = r.U16();
  for (auto& b : clsid.Data4) b = r.U8();
  set->clsid = clsid;
  const std::uint32_t count = r.U32();
  if (!r.ok() || set->version > 1 || count == 0 || count > r.remaining() / kSectionRefSize)
    return STG_E_INVALIDHEADER;
  static_assert(kHeaderSize == 4 + 4 + 16 + 4);
  set->sections.resize(count);
  for (PropertySection& section : set->sections) {
    GUID fmtid;
    fmtid.Data1 = r.U32();
    fmtid.Data2 = r.U16();
    fmtid.Data3 = r.U16();
    for (auto& b : fmtid.Data4) b = r.U8();
    section.fmtid = fmtid;
    const std::uint32_t offset = r.U32();
    if (kSectionHeaderSize > bytes.size() || offset > bytes.size() - kSectionHeaderSize)
      return STG_E_INVALIDHEADER;
    const std::uint32_t size = LoadLe32(bytes.data() + offset);
    const std::size_t available = std::min<std::size_t>(size, bytes.size() - offset);
    if (size < kSectionHeaderSize || size - available > kMissingPaddingTolerance)
      return STG_E_INVALIDHEADER;
    const HRESULT hr = DecodeSection(bytes.subspan(offset, available), size, &section);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

}  // namespace

HRESULT DecodePropertySet(std::span<const std::uint8_t> bytes, PropertySetData* set) {
  if (set == nullptr) return E_INVALIDARG;
  try {
    const HRESULT hr = DecodeSets(bytes, set);
    if (FAILED(hr)) *set = PropertySetData{};
    return hr;
  } catch (const std::bad_alloc&) {
    *set = PropertySetData{};
    return E_OUTOFMEMORY;
  }
}

}  // namespace recfilereader
