#include <cstring>

#include "properties/propvalue.h"
#include "recfilereader/propvariant.h"

namespace recfilereader {
namespace {

// Growing a value beyond this many elements is refused rather than attempted: an index from a
// host could otherwise ask for gigabytes that the system promises and then cannot deliver.
constexpr LONG kMaxGrownElements = 1 << 20;

// Turns the scalar into a one-element vector holding it; false when memory runs out.
bool ScalarToVector(PROPVARIANT& value, VARTYPE type, std::size_t size) {
  void* block = CoTaskMemAlloc(size);
  if (block == nullptr) return false;
  if (type == VT_CLSID) {  // the scalar points to its GUID; the vector holds it
    if (value.puuid != nullptr) std::memcpy(block, value.puuid, size);
    else std::memset(block, 0, size);
    CoTaskMemFree(value.puuid);
  } else {
    std::memcpy(block, &value.cVal, size);
  }
  value.vt = static_cast<VARTYPE>(value.vt | VT_VECTOR);
  value.caub.cElems = 1;
  value.caub.pElems = static_cast<UCHAR*>(block);
  return true;
}

// Enlarges the vector to `count` elements, the new ones zeroed; false when memory runs out.
bool GrowVector(PROPVARIANT& value, std::size_t size, ULONG count) {
  void* block = CoTaskMemRealloc(value.caub.pElems, size * count);
  if (block == nullptr) return false;
  const std::size_t used = size * value.caub.cElems;
  std::memset(static_cast<UCHAR*>(block) + used, 0, size * count - used);
  value.caub.pElems = static_cast<UCHAR*>(block);
  value.caub.cElems = count;
  return true;
}

}  // namespace

std::size_t PropElementSize(VARTYPE type) {
  switch (type & VT_TYPEMASK) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: case VT_R4: return 4;
    case VT_R8: case VT_I8: case VT_UI8: case VT_FILETIME: return 8;
    case VT_LPSTR: return sizeof(LPSTR);
    case VT_LPWSTR: return sizeof(LPWSTR);
    case VT_UNKNOWN: return sizeof(IUnknown*);
    case VT_CLSID: return sizeof(CLSID);
    case VT_DECIMAL: return sizeof(DECIMAL);
    default: return 0;
  }
}

void* PropElementPtr(PROPVARIANT& value, LONG index, bool grow) {
  if (index < 0) return nullptr;
  const auto type = static_cast<VARTYPE>(value.vt & VT_TYPEMASK);
  if ((value.vt & VT_BYREF) != 0) return index == 0 ? value.byref : nullptr;
  if ((value.vt & VT_ARRAY) != 0) return nullptr;
  const std::size_t size = PropElementSize(type);
  if ((value.vt & VT_VECTOR) == 0) {
    if (index == 0) return type == VT_DECIMAL ? static_cast<void*>(&value) : static_cast<void*>(&value.cVal);
    // A DECIMAL overlays the whole value and has no vector form to grow into.
    if (!grow || size == 0 || type == VT_DECIMAL || index >= kMaxGrownElements) return nullptr;
    if (!ScalarToVector(value, type, size)) return nullptr;
  }
  if (size == 0) return nullptr;
  if (value.caub.pElems == nullptr && value.caub.cElems != 0) return nullptr;  // malformed vector
  if (static_cast<ULONG>(index) >= value.caub.cElems) {
    if (!grow || index >= kMaxGrownElements) return nullptr;
    if (!GrowVector(value, size, static_cast<ULONG>(index) + 1)) return nullptr;
  }
  return value.caub.pElems + size * static_cast<std::size_t>(index);
}

}  // namespace recfilereader
