// Task memory, BSTR and the PROPVARIANT helpers (init, clear, copy). Everything here is inline
// so that a host and the library allocate and free property memory the same way.
#ifndef RECFILEREADER_PROPVARIANT_H
#define RECFILEREADER_PROPVARIANT_H

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "recfilereader/compat.h"

// Task memory. The library and its hosts share these so that either side may free what the
// other allocated inside a PROPVARIANT.
inline void* CoTaskMemAlloc(std::size_t size) { return std::malloc(size == 0 ? 1 : size); }
inline void* CoTaskMemRealloc(void* block, std::size_t size) {
  return std::realloc(block, size == 0 ? 1 : size);
}
inline void CoTaskMemFree(void* block) { std::free(block); }

// BSTR: wide characters preceded by their byte length (32-bit), always terminated.
inline BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  const std::size_t bytes = static_cast<std::size_t>(length) * sizeof(OLECHAR);
  auto* block = static_cast<std::uint8_t*>(std::malloc(sizeof(std::uint32_t) + bytes + sizeof(OLECHAR)));
  if (block == nullptr) return nullptr;
  const auto prefix = static_cast<std::uint32_t>(bytes);
  std::memcpy(block, &prefix, sizeof prefix);
  auto* chars = reinterpret_cast<OLECHAR*>(block + sizeof(std::uint32_t));
  if (text != nullptr && length > 0) std::memcpy(chars, text, bytes);
  else if (length > 0) std::memset(chars, 0, bytes);
  chars[length] = L'\0';
  return chars;
}
inline BSTR SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(std::wcslen(text)));
}
inline UINT SysStringLen(BSTR text) {
  if (text == nullptr) return 0;
  std::uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<std::uint8_t*>(text) - sizeof bytes, sizeof bytes);
  return bytes / sizeof(OLECHAR);
}
inline void SysFreeString(BSTR text) {
  if (text != nullptr) std::free(reinterpret_cast<std::uint8_t*>(text) - sizeof(std::uint32_t));
}

inline void PropVariantInit(PROPVARIANT* pv) { std::memset(static_cast<void*>(pv), 0, sizeof *pv); }

namespace recfilereader_compat_detail {

template <class T>
inline void FreeArray(CountedArray<T>& a) {
  CoTaskMemFree(a.pElems);
}

inline void ClearClipData(CLIPDATA& c) { CoTaskMemFree(c.pClipData); }

inline HRESULT ClearVector(PROPVARIANT* pv);
inline HRESULT ClearArray(PROPVARIANT* pv);

inline HRESULT ClearScalar(PROPVARIANT* pv) {
  switch (pv->vt) {
    case VT_EMPTY: case VT_NULL: case VT_I1: case VT_UI1: case VT_I2: case VT_UI2:
    case VT_BOOL: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR:
    case VT_R4: case VT_R8: case VT_I8: case VT_UI8: case VT_CY: case VT_DATE:
    case VT_FILETIME: case VT_DECIMAL: case VT_HRESULT:
      return S_OK;
    case VT_BSTR: SysFreeString(pv->bstrVal); return S_OK;
    case VT_LPSTR: CoTaskMemFree(pv->pszVal); return S_OK;
    case VT_LPWSTR: CoTaskMemFree(pv->pwszVal); return S_OK;
    case VT_CLSID: CoTaskMemFree(pv->puuid); return S_OK;
    case VT_BLOB: case VT_BLOB_OBJECT: CoTaskMemFree(pv->blob.pBlobData); return S_OK;
    case VT_CF:
      if (pv->pclipdata != nullptr) ClearClipData(*pv->pclipdata);
      CoTaskMemFree(pv->pclipdata);
      return S_OK;
    case VT_UNKNOWN: case VT_DISPATCH: case VT_STREAM: case VT_STORAGE:
    case VT_STREAMED_OBJECT: case VT_STORED_OBJECT:
      if (pv->punkVal != nullptr) pv->punkVal->Release();
      return S_OK;
    default:
      return DISP_E_BADVARTYPE;
  }
}

}  // namespace recfilereader_compat_detail

// Frees what the value owns and leaves it VT_EMPTY. VT_BYREF values own nothing.
inline HRESULT PropVariantClear(PROPVARIANT* pv) {
  if (pv == nullptr) return S_OK;
  HRESULT hr = S_OK;
  if ((pv->vt & VT_BYREF) == 0) {
    hr = (pv->vt & VT_VECTOR) != 0  ? recfilereader_compat_detail::ClearVector(pv)
         : (pv->vt & VT_ARRAY) != 0 ? recfilereader_compat_detail::ClearArray(pv)
                                    : recfilereader_compat_detail::ClearScalar(pv);
  } else if ((pv->vt & ~(VT_BYREF | VT_TYPEMASK)) != 0) {
    hr = DISP_E_BADVARTYPE;
  }
  if (FAILED(hr)) return hr;
  PropVariantInit(pv);
  return S_OK;
}

namespace recfilereader_compat_detail {

inline HRESULT ClearVector(PROPVARIANT* pv) {
  switch (pv->vt & VT_TYPEMASK) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_BOOL: case VT_I4: case VT_UI4:
    case VT_INT: case VT_UINT: case VT_ERROR: case VT_R4: case VT_R8: case VT_I8: case VT_UI8:
    case VT_CY: case VT_DATE: case VT_FILETIME: case VT_CLSID:
      CoTaskMemFree(pv->caub.pElems);
      return S_OK;
    case VT_BSTR:
      for (ULONG i = 0; i < pv->cabstr.cElems; ++i) SysFreeString(pv->cabstr.pElems[i]);
      FreeArray(pv->cabstr);
      return S_OK;
    case VT_LPSTR:
      for (ULONG i = 0; i < pv->calpstr.cElems; ++i) CoTaskMemFree(pv->calpstr.pElems[i]);
      FreeArray(pv->calpstr);
      return S_OK;
    case VT_LPWSTR:
      for (ULONG i = 0; i < pv->calpwstr.cElems; ++i) CoTaskMemFree(pv->calpwstr.pElems[i]);
      FreeArray(pv->calpwstr);
      return S_OK;
    case VT_CF:
      for (ULONG i = 0; i < pv->caclipdata.cElems; ++i) ClearClipData(pv->caclipdata.pElems[i]);
      FreeArray(pv->caclipdata);
      return S_OK;
    case VT_VARIANT:
      for (ULONG i = 0; i < pv->capropvar.cElems; ++i) PropVariantClear(&pv->capropvar.pElems[i]);
      FreeArray(pv->capropvar);
      return S_OK;
    default:
      return DISP_E_BADVARTYPE;
  }
}

// VT_ARRAY values: the element types an array may hold, and how many elements it has.
inline bool IsArrayElementType(VARTYPE element) {
  switch (element) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_BOOL: case VT_I4: case VT_UI4:
    case VT_INT: case VT_UINT: case VT_ERROR: case VT_R4: case VT_R8: case VT_CY: case VT_DATE:
    case VT_DECIMAL: case VT_BSTR: case VT_VARIANT:
      return true;
    default:
      return false;
  }
}
inline std::size_t ArrayElementSize(VARTYPE element) {
  if (!IsArrayElementType(element)) return 0;
  if (element == VT_DECIMAL) return sizeof(DECIMAL);
  if (element == VT_VARIANT) return sizeof(PROPVARIANT);
  if (element == VT_BSTR) return sizeof(BSTR);
  if (element == VT_I1 || element == VT_UI1) return 1;
  if (element == VT_I2 || element == VT_UI2 || element == VT_BOOL) return 2;
  return element == VT_R8 || element == VT_CY || element == VT_DATE ? 8 : 4;
}
inline std::size_t ArrayElementCount(const SAFEARRAY& array) {
  const SAFEARRAYBOUND* bounds = array.rgsabound;  // cDims entries
  std::size_t count = 1;
  for (USHORT i = 0; i < array.cDims; ++i) count *= bounds[i].cElements;
  return count;
}
// The bytes of an array's elements, stepped by the element type's own size, in `*bytes`; false
// when the descriptor claims another element size or its bounds multiply past what memory can
// address, so that such an array is refused rather than copied out of bounds.
inline bool ArrayDataSize(const SAFEARRAY& array, VARTYPE element, std::size_t* bytes) {
  std::size_t total = ArrayElementSize(element);
  if (total == 0 || array.cbElements != total) return false;
  for (USHORT i = 0; i < array.cDims; ++i) {
    const ULONG n = array.rgsabound[i].cElements;
    if (n != 0 && total > static_cast<std::size_t>(-1) / n) return false;
    total *= n;
  }
  *bytes = total;
  return true;
}
inline std::size_t ArrayDescriptorSize(USHORT dimensions) {
  return offsetof(SAFEARRAY, rgsabound) + sizeof(SAFEARRAYBOUND) * (dimensions == 0 ? 1 : dimensions);
}

inline HRESULT ClearArray(PROPVARIANT* pv) {
  const VARTYPE element = pv->vt & VT_TYPEMASK;
  if ((pv->vt & VT_VECTOR) != 0 || !IsArrayElementType(element)) return DISP_E_BADVARTYPE;
  SAFEARRAY* array = pv->parray;
  if (array == nullptr) return S_OK;
  const std::size_t count = array->pvData != nullptr ? ArrayElementCount(*array) : 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (element == VT_BSTR) SysFreeString(static_cast<BSTR*>(array->pvData)[i]);
    if (element == VT_VARIANT) PropVariantClear(&static_cast<PROPVARIANT*>(array->pvData)[i]);
  }
  CoTaskMemFree(array->pvData);
  CoTaskMemFree(array);
  return S_OK;
}

inline std::size_t VectorElementSize(VARTYPE element) {
  switch (element) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: case VT_R4: return 4;
    case VT_R8: case VT_I8: case VT_UI8: case VT_CY: case VT_DATE: case VT_FILETIME: return 8;
    case VT_CLSID: return sizeof(CLSID);
    case VT_BSTR: return sizeof(BSTR);
    case VT_LPSTR: return sizeof(LPSTR);
    case VT_LPWSTR: return sizeof(LPWSTR);
    case VT_CF: return sizeof(CLIPDATA);
    case VT_VARIANT: return sizeof(PROPVARIANT);
    default: return 0;
  }
}

inline void* DuplicateBytes(const void* source, std::size_t size) {
  void* copy = CoTaskMemAlloc(size);
  if (copy != nullptr && size > 0) std::memcpy(copy, source, size);
  return copy;
}

inline char* DuplicateString(const char* s) {
  return s == nullptr ? nullptr : static_cast<char*>(DuplicateBytes(s, std::strlen(s) + 1));
}
inline wchar_t* DuplicateString(const wchar_t* s) {
  return s == nullptr ? nullptr
                      : static_cast<wchar_t*>(DuplicateBytes(s, (std::wcslen(s) + 1) * sizeof(wchar_t)));
}

inline bool CopyClipData(CLIPDATA& target, const CLIPDATA& source) {
  target = source;
  target.pClipData = nullptr;
  const std::size_t data = source.cbSize >= sizeof(LONG) ? source.cbSize - sizeof(LONG) : 0;
  if (source.pClipData == nullptr || data == 0) return true;
  target.pClipData = static_cast<BYTE*>(DuplicateBytes(source.pClipData, data));
  return target.pClipData != nullptr;
}

}  // namespace recfilereader_compat_detail

inline HRESULT PropVariantCopy(PROPVARIANT* target, const PROPVARIANT* source);

namespace recfilereader_compat_detail {

// Deep-copies the elements that own memory; `target` already holds a byte copy of `source`
// whose owned pointers must be replaced. Returns false when memory ran out; the target then
// owns exactly the elements copied so far (others null), so PropVariantClear frees it.
inline bool DeepCopyVectorElements(PROPVARIANT& target, const PROPVARIANT& source) {
  const ULONG count = source.caub.cElems;
  switch (source.vt & VT_TYPEMASK) {
    case VT_BSTR:
      for (ULONG i = 0; i < count; ++i) target.cabstr.pElems[i] = nullptr;
      for (ULONG i = 0; i < count; ++i) {
        BSTR s = source.cabstr.pElems[i];
        if (s == nullptr) continue;
        target.cabstr.pElems[i] = SysAllocStringLen(s, SysStringLen(s));
        if (target.cabstr.pElems[i] == nullptr) return false;
      }
      return true;
    case VT_LPSTR:
      for (ULONG i = 0; i < count; ++i) target.calpstr.pElems[i] = nullptr;
      for (ULONG i = 0; i < count; ++i) {
        if (source.calpstr.pElems[i] == nullptr) continue;
        target.calpstr.pElems[i] = DuplicateString(source.calpstr.pElems[i]);
        if (target.calpstr.pElems[i] == nullptr) return false;
      }
      return true;
    case VT_LPWSTR:
      for (ULONG i = 0; i < count; ++i) target.calpwstr.pElems[i] = nullptr;
      for (ULONG i = 0; i < count; ++i) {
        if (source.calpwstr.pElems[i] == nullptr) continue;
        target.calpwstr.pElems[i] = DuplicateString(source.calpwstr.pElems[i]);
        if (target.calpwstr.pElems[i] == nullptr) return false;
      }
      return true;
    case VT_CF:
      for (ULONG i = 0; i < count; ++i) target.caclipdata.pElems[i].pClipData = nullptr;
      for (ULONG i = 0; i < count; ++i) {
        if (!CopyClipData(target.caclipdata.pElems[i], source.caclipdata.pElems[i])) return false;
      }
      return true;
    case VT_VARIANT:
      for (ULONG i = 0; i < count; ++i) PropVariantInit(&target.capropvar.pElems[i]);
      for (ULONG i = 0; i < count; ++i) {
        if (FAILED(PropVariantCopy(&target.capropvar.pElems[i], &source.capropvar.pElems[i])))
          return false;
      }
      return true;
    default:
      return true;
  }
}

inline HRESULT CopyVector(PROPVARIANT& target, const PROPVARIANT& source) {
  const std::size_t element = VectorElementSize(source.vt & VT_TYPEMASK);
  if (element == 0) return DISP_E_BADVARTYPE;
  const ULONG count = source.caub.cElems;
  target = source;
  target.caub.pElems = nullptr;
  if (count == 0) return S_OK;
  if (source.caub.pElems == nullptr) return E_POINTER;
  target.caub.pElems = static_cast<UCHAR*>(
      DuplicateBytes(source.caub.pElems, element * static_cast<std::size_t>(count)));
  if (target.caub.pElems == nullptr) {
    PropVariantInit(&target);
    return E_OUTOFMEMORY;
  }
  if (!DeepCopyVectorElements(target, source)) {
    PropVariantClear(&target);
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

inline HRESULT CopyScalar(PROPVARIANT& target, const PROPVARIANT& source) {
  std::memcpy(static_cast<void*>(&target), &source, sizeof target);
  bool ok = true;
  switch (source.vt) {
    case VT_BSTR:
      if (source.bstrVal != nullptr)
        ok = (target.bstrVal = SysAllocStringLen(source.bstrVal, SysStringLen(source.bstrVal))) != nullptr;
      break;
    case VT_LPSTR:
      if (source.pszVal != nullptr) ok = (target.pszVal = DuplicateString(source.pszVal)) != nullptr;
      break;
    case VT_LPWSTR:
      if (source.pwszVal != nullptr) ok = (target.pwszVal = DuplicateString(source.pwszVal)) != nullptr;
      break;
    case VT_CLSID:
      if (source.puuid != nullptr)
        ok = (target.puuid = static_cast<CLSID*>(DuplicateBytes(source.puuid, sizeof(CLSID)))) != nullptr;
      break;
    case VT_BLOB: case VT_BLOB_OBJECT:
      if (source.blob.pBlobData != nullptr) {
        target.blob.pBlobData = static_cast<BYTE*>(DuplicateBytes(source.blob.pBlobData, source.blob.cbSize));
        ok = target.blob.pBlobData != nullptr;
      }
      break;
    case VT_CF:
      if (source.pclipdata != nullptr) {
        target.pclipdata = static_cast<CLIPDATA*>(CoTaskMemAlloc(sizeof(CLIPDATA)));
        ok = target.pclipdata != nullptr;
        if (ok && !CopyClipData(*target.pclipdata, *source.pclipdata)) {
          CoTaskMemFree(target.pclipdata);
          ok = false;
        }
      }
      break;
    case VT_UNKNOWN: case VT_DISPATCH: case VT_STREAM: case VT_STORAGE:
    case VT_STREAMED_OBJECT: case VT_STORED_OBJECT:
      if (source.punkVal != nullptr) source.punkVal->AddRef();
      break;
    default:
      break;
  }
  if (!ok) {
    PropVariantInit(&target);
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

}  // namespace recfilereader_compat_detail

namespace recfilereader_compat_detail {

inline HRESULT CopyArray(PROPVARIANT& target, const PROPVARIANT& source) {
  const VARTYPE element = source.vt & VT_TYPEMASK;
  if ((source.vt & VT_VECTOR) != 0 || !IsArrayElementType(element)) return DISP_E_BADVARTYPE;
  std::size_t bytes = 0;
  if (source.parray != nullptr && source.parray->pvData != nullptr &&
      !ArrayDataSize(*source.parray, element, &bytes)) {
    PropVariantInit(&target);
    return E_INVALIDARG;
  }
  target.vt = source.vt;
  if (source.parray == nullptr) return S_OK;
  const SAFEARRAY& from = *source.parray;
  auto* array = static_cast<SAFEARRAY*>(DuplicateBytes(&from, ArrayDescriptorSize(from.cDims)));
  if (array == nullptr) {
    PropVariantInit(&target);
    return E_OUTOFMEMORY;
  }
  array->pvData = nullptr;
  target.parray = array;
  if (from.pvData == nullptr) return S_OK;
  const std::size_t count = ArrayElementCount(from);
  array->pvData = CoTaskMemAlloc(bytes);
  bool ok = array->pvData != nullptr;
  const bool owns_memory = element == VT_BSTR || element == VT_VARIANT;
  if (ok) std::memset(array->pvData, 0, bytes);  // clears as empty elements
  if (ok && !owns_memory) std::memcpy(array->pvData, from.pvData, bytes);
  for (std::size_t i = 0; ok && owns_memory && i < count; ++i) {
    if (element == VT_BSTR) {
      const BSTR s = static_cast<const BSTR*>(from.pvData)[i];
      BSTR& copy = static_cast<BSTR*>(array->pvData)[i];
      ok = s == nullptr || (copy = SysAllocStringLen(s, SysStringLen(s))) != nullptr;
    } else {
      ok = SUCCEEDED(PropVariantCopy(&static_cast<PROPVARIANT*>(array->pvData)[i],
                                     &static_cast<const PROPVARIANT*>(from.pvData)[i]));
    }
  }
  if (!ok) {
    PropVariantClear(&target);
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

}  // namespace recfilereader_compat_detail

// Deep copy into `target`, which is overwritten without being cleared (as COM does). On
// failure `target` is left VT_EMPTY.
inline HRESULT PropVariantCopy(PROPVARIANT* target, const PROPVARIANT* source) {
  if (target == nullptr || source == nullptr) return E_INVALIDARG;
  PropVariantInit(target);
  if ((source->vt & VT_BYREF) != 0) {
    std::memcpy(static_cast<void*>(target), source, sizeof *target);
    return S_OK;
  }
  if ((source->vt & VT_VECTOR) != 0) return recfilereader_compat_detail::CopyVector(*target, *source);
  if ((source->vt & VT_ARRAY) != 0) return recfilereader_compat_detail::CopyArray(*target, *source);
  return recfilereader_compat_detail::CopyScalar(*target, *source);
}

#endif  // RECFILEREADER_PROPVARIANT_H
