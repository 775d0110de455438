#include "properties/propertyhash.h"

#include <cstring>
#include <string>

#include "platform/textconv.h"
#include "properties/propvalue.h"

namespace recfilereader {
namespace {

DWORD FoldBytes(DWORD hash, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::int8_t*>(data);
  for (std::size_t i = 0; i < size; ++i) hash ^= static_cast<DWORD>(static_cast<std::int32_t>(bytes[i]));
  return hash;
}

template <class T>
T Load(const void* element) {
  T value;
  std::memcpy(&value, element, sizeof value);
  return value;
}

// Bytes of one element; `scalar_guid` says the element points to its GUID.
DWORD FoldElement(DWORD hash, const void* element, VARTYPE type, bool plain_scalar, HashScope scope) {
  switch (type) {
    case VT_I1: case VT_UI1: return FoldBytes(hash, element, 1);
    case VT_I2: case VT_BOOL: case VT_UI2: return FoldBytes(hash, element, 2);
    case VT_I4: case VT_R4: case VT_UI4: case VT_INT: case VT_UINT: return FoldBytes(hash, element, 4);
    case VT_R8: case VT_I8: case VT_UI8: return FoldBytes(hash, element, 8);
    case VT_LPSTR: {
      const char* text = Load<const char*>(element);
      return text != nullptr ? FoldBytes(hash, text, std::strlen(text) + 1) : hash;
    }
    case VT_LPWSTR: {
      const wchar_t* text = Load<const wchar_t*>(element);
      if (text == nullptr) return hash;
      const std::u16string units = WideToUtf16(text);
      for (char16_t unit : units) {
        const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(unit), static_cast<std::uint8_t>(unit >> 8)};
        hash = FoldBytes(hash, bytes, 2);
      }
      return hash;  // the terminator's two zero bytes change nothing
    }
    default:
      break;
  }
  if (scope != HashScope::kFreeForm) return hash;
  switch (type) {
    case VT_FILETIME: return FoldBytes(hash, element, 8);
    case VT_CLSID: {
      const void* guid = plain_scalar ? Load<const GUID*>(element) : element;
      return guid != nullptr ? FoldBytes(hash, guid, sizeof(GUID)) : hash;
    }
    case VT_BLOB: {
      const BLOB blob = Load<BLOB>(element);
      return blob.pBlobData != nullptr ? FoldBytes(hash, blob.pBlobData, blob.cbSize) : hash;
    }
    default:
      return hash;
  }
}

}  // namespace

DWORD FoldPropertyValue(DWORD hash, const PROPVARIANT& value, HashScope scope) {
  const auto type = static_cast<VARTYPE>(value.vt & VT_TYPEMASK);
  if (scope == HashScope::kDeclared && (type < VT_I2 || type > VT_LPWSTR)) return hash;
  const bool vector = (value.vt & VT_VECTOR) != 0 && (value.vt & VT_BYREF) == 0;
  const ULONG count = vector ? value.caub.cElems : 1;
  const bool plain_scalar = (value.vt & (VT_VECTOR | VT_BYREF)) == 0;
  auto& readable = const_cast<PROPVARIANT&>(value);  // addressing without growth changes nothing
  for (ULONG i = 0; i < count; ++i) {
    const void* element = PropElementPtr(readable, static_cast<LONG>(i), false);
    if (element == nullptr) break;
    hash = FoldElement(hash, element, type, plain_scalar, scope);
  }
  return hash;
}

}  // namespace recfilereader
