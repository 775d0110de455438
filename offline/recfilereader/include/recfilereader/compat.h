// Windows and COM value types shared by the library and its hosts: integer aliases, HRESULT
// codes, GUID, FILETIME, DECIMAL, BLOB, PROPVARIANT with its VT_* codes, task memory and the
// PROPVARIANT helpers. Everything here is inline so that a host and the library allocate and
// free property memory the same way.
#ifndef RECFILEREADER_COMPAT_H
#define RECFILEREADER_COMPAT_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

using BYTE = std::uint8_t;
using CHAR = char;
using UCHAR = std::uint8_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using WORD = std::uint16_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using INT = std::int32_t;
using UINT = std::uint32_t;
using BOOL = std::int32_t;  // the 32-bit success flag: 1 or 0
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using FLOAT = float;
using DOUBLE = double;
using WCHAR = wchar_t;
using OLECHAR = wchar_t;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = wchar_t*;
using LPCWSTR = const wchar_t*;
using LPOLESTR = wchar_t*;
using BSTR = wchar_t*;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using SCODE = std::int32_t;
using HRESULT = std::int32_t;
using LCID = std::uint32_t;
using PROPID = std::uint32_t;
using DATE = double;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }
inline constexpr HRESULT HResultFromBits(std::uint32_t bits) { return static_cast<HRESULT>(bits); }

// General results.
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = HResultFromBits(0x80004001u);
constexpr HRESULT E_NOINTERFACE = HResultFromBits(0x80004002u);
constexpr HRESULT E_POINTER = HResultFromBits(0x80004003u);
constexpr HRESULT E_ABORT = HResultFromBits(0x80004004u);
constexpr HRESULT E_FAIL = HResultFromBits(0x80004005u);
constexpr HRESULT E_UNEXPECTED = HResultFromBits(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = HResultFromBits(0x80070005u);
constexpr HRESULT E_HANDLE = HResultFromBits(0x80070006u);
constexpr HRESULT E_OUTOFMEMORY = HResultFromBits(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = HResultFromBits(0x80070057u);

// OLE Automation conversion results.
constexpr HRESULT DISP_E_TYPEMISMATCH = HResultFromBits(0x80020005u);
constexpr HRESULT DISP_E_BADVARTYPE = HResultFromBits(0x80020008u);
constexpr HRESULT DISP_E_OVERFLOW = HResultFromBits(0x8002000Au);
constexpr HRESULT DISP_E_DIVBYZERO = HResultFromBits(0x80020012u);

// Structured storage results.
constexpr HRESULT STG_E_INVALIDFUNCTION = HResultFromBits(0x80030001u);
constexpr HRESULT STG_E_FILENOTFOUND = HResultFromBits(0x80030002u);
constexpr HRESULT STG_E_PATHNOTFOUND = HResultFromBits(0x80030003u);
constexpr HRESULT STG_E_TOOMANYOPENFILES = HResultFromBits(0x80030004u);
constexpr HRESULT STG_E_ACCESSDENIED = HResultFromBits(0x80030005u);
constexpr HRESULT STG_E_INVALIDHANDLE = HResultFromBits(0x80030006u);
constexpr HRESULT STG_E_INSUFFICIENTMEMORY = HResultFromBits(0x80030008u);
constexpr HRESULT STG_E_INVALIDPOINTER = HResultFromBits(0x80030009u);
constexpr HRESULT STG_E_NOMOREFILES = HResultFromBits(0x80030012u);
constexpr HRESULT STG_E_DISKISWRITEPROTECTED = HResultFromBits(0x80030013u);
constexpr HRESULT STG_E_SEEKERROR = HResultFromBits(0x80030019u);
constexpr HRESULT STG_E_WRITEFAULT = HResultFromBits(0x8003001Du);
constexpr HRESULT STG_E_READFAULT = HResultFromBits(0x8003001Eu);
constexpr HRESULT STG_E_SHAREVIOLATION = HResultFromBits(0x80030020u);
constexpr HRESULT STG_E_LOCKVIOLATION = HResultFromBits(0x80030021u);
constexpr HRESULT STG_E_FILEALREADYEXISTS = HResultFromBits(0x80030050u);
constexpr HRESULT STG_E_INVALIDPARAMETER = HResultFromBits(0x80030057u);
constexpr HRESULT STG_E_MEDIUMFULL = HResultFromBits(0x80030070u);
constexpr HRESULT STG_E_PROPSETMISMATCHED = HResultFromBits(0x800300F0u);
constexpr HRESULT STG_E_ABNORMALAPIEXIT = HResultFromBits(0x800300FAu);
constexpr HRESULT STG_E_INVALIDHEADER = HResultFromBits(0x800300FBu);
constexpr HRESULT STG_E_INVALIDNAME = HResultFromBits(0x800300FCu);
constexpr HRESULT STG_E_UNKNOWN = HResultFromBits(0x800300FDu);
constexpr HRESULT STG_E_UNIMPLEMENTEDFUNCTION = HResultFromBits(0x800300FEu);
constexpr HRESULT STG_E_INVALIDFLAG = HResultFromBits(0x800300FFu);
constexpr HRESULT STG_E_INUSE = HResultFromBits(0x80030100u);
constexpr HRESULT STG_E_NOTCURRENT = HResultFromBits(0x80030101u);
constexpr HRESULT STG_E_REVERTED = HResultFromBits(0x80030102u);
constexpr HRESULT STG_E_CANTSAVE = HResultFromBits(0x80030103u);
constexpr HRESULT STG_E_OLDFORMAT = HResultFromBits(0x80030104u);
constexpr HRESULT STG_E_OLDDLL = HResultFromBits(0x80030105u);
constexpr HRESULT STG_E_SHAREREQUIRED = HResultFromBits(0x80030106u);
constexpr HRESULT STG_E_NOTFILEBASEDSTORAGE = HResultFromBits(0x80030107u);
constexpr HRESULT STG_E_EXTANTMARSHALLINGS = HResultFromBits(0x80030108u);
constexpr HRESULT STG_E_DOCFILECORRUPT = HResultFromBits(0x80030109u);
constexpr HRESULT STG_E_BADBASEADDRESS = HResultFromBits(0x80030110u);
constexpr HRESULT STG_E_INCOMPLETE = HResultFromBits(0x80030201u);
constexpr HRESULT STG_E_TERMINATED = HResultFromBits(0x80030202u);
constexpr HRESULT STG_S_CONVERTED = 0x00030200;

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
using CLSID = GUID;
using IID = GUID;
using FMTID = GUID;
using REFGUID = const GUID&;
using REFIID = const GUID&;
using REFCLSID = const GUID&;
using REFFMTID = const GUID&;

inline bool operator==(const GUID& a, const GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}
inline bool IsEqualGUID(const GUID& a, const GUID& b) { return a == b; }
constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// 100-nanosecond intervals since 1601-01-01 UTC, as two 32-bit halves.
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

// OLE Automation decimal: a 96-bit magnitude (Hi32:Mid32:Lo32), a power-of-ten scale from 0
// to 28 and a sign byte (0x80 negative). 16 bytes; inside a PROPVARIANT it overlays the whole
// value, its first word lying where the type code does.
struct DECIMAL {
  USHORT wReserved;
  BYTE scale;
  BYTE sign;
  ULONG Hi32;
  ULONG Lo32;
  ULONG Mid32;
};
constexpr BYTE DECIMAL_NEG = 0x80;

// A calendar time as eight unsigned 16-bit fields (16 bytes).
struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;  // 0 = Sunday
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
static_assert(sizeof(SYSTEMTIME) == 16);

// A waitable object handed through IAbort. The library's handles point to its own events.
using HANDLE = void*;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
constexpr DWORD INFINITE = 0xFFFFFFFFu;

struct BLOB {
  ULONG cbSize;
  BYTE* pBlobData;
};

struct CLIPDATA {
  ULONG cbSize;  // bytes of ulClipFmt and the data that follows it
  LONG ulClipFmt;
  BYTE* pClipData;
};

// The base of the COM objects that travel inside property values and storages.
struct IUnknown {
  virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_PTR = 26,
  VT_SAFEARRAY = 27,
  VT_CARRAY = 28,
  VT_USERDEFINED = 29,
  VT_LPSTR = 30,
  VT_LPWSTR = 31,
  VT_RECORD = 36,
  VT_FILETIME = 64,
  VT_BLOB = 65,
  VT_STREAM = 66,
  VT_STORAGE = 67,
  VT_STREAMED_OBJECT = 68,
  VT_STORED_OBJECT = 69,
  VT_BLOB_OBJECT = 70,
  VT_CF = 71,
  VT_CLSID = 72,
  VT_VERSIONED_STREAM = 73,
  VT_VECTOR = 0x1000,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_RESERVED = 0x8000,
  VT_TYPEMASK = 0x0FFF,
};

struct PROPVARIANT;

// Counted arrays of a VT_VECTOR value: element count, then the array in task memory.
template <class T>
struct CountedArray {
  ULONG cElems;
  T* pElems;
};
using CAC = CountedArray<CHAR>;
using CAUB = CountedArray<UCHAR>;
using CAI = CountedArray<SHORT>;
using CAUI = CountedArray<USHORT>;
using CAL = CountedArray<LONG>;
using CAUL = CountedArray<ULONG>;
using CAH = CountedArray<LONGLONG>;
using CAUH = CountedArray<ULONGLONG>;
using CAFLT = CountedArray<FLOAT>;
using CADBL = CountedArray<DOUBLE>;
using CABOOL = CountedArray<VARIANT_BOOL>;
using CASCODE = CountedArray<SCODE>;
using CACY = CountedArray<LONGLONG>;
using CADATE = CountedArray<DATE>;
using CAFILETIME = CountedArray<FILETIME>;
using CACLSID = CountedArray<CLSID>;
using CACLIPDATA = CountedArray<CLIPDATA>;
using CABSTR = CountedArray<BSTR>;
using CALPSTR = CountedArray<LPSTR>;
using CALPWSTR = CountedArray<LPWSTR>;
using CAPROPVARIANT = CountedArray<PROPVARIANT>;

// The one value type of every property. The union members keep COM's names. VT_STREAM and
// VT_STORAGE values are carried as their IUnknown face. A VT_DECIMAL value overlays the whole
// record: use PropVariantGetDecimal / PropVariantSetDecimal.
struct PROPVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    CHAR cVal;
    UCHAR bVal;
    SHORT iVal;
    USHORT uiVal;
    LONG lVal;
    ULONG ulVal;
    INT intVal;
    UINT uintVal;
    LONGLONG hVal;
    ULONGLONG uhVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    LONGLONG cyVal;
    DATE date;
    FILETIME filetime;
    CLSID* puuid;
    CLIPDATA* pclipdata;
    BSTR bstrVal;
    LPSTR pszVal;
    LPWSTR pwszVal;
    IUnknown* punkVal;
    IUnknown* pStream;
    IUnknown* pStorage;
    BLOB blob;
    CAC cac;
    CAUB caub;
    CAI cai;
    CAUI caui;
    CAL cal;
    CAUL caul;
    CAH cah;
    CAUH cauh;
    CAFLT caflt;
    CADBL cadbl;
    CABOOL cabool;
    CASCODE cascode;
    CACY cacy;
    CADATE cadate;
    CAFILETIME cafiletime;
    CACLSID cauuid;
    CACLIPDATA caclipdata;
    CABSTR cabstr;
    CALPSTR calpstr;
    CALPWSTR calpwstr;
    CAPROPVARIANT capropvar;
    void* byref;
  };
};
static_assert(sizeof(DECIMAL) == 16);
static_assert(sizeof(PROPVARIANT) >= sizeof(DECIMAL));

inline DECIMAL PropVariantGetDecimal(const PROPVARIANT& pv) {
  DECIMAL d;
  std::memcpy(&d, &pv, sizeof d);
  return d;
}
inline void PropVariantSetDecimal(PROPVARIANT& pv, const DECIMAL& d) {
  std::memcpy(static_cast<void*>(&pv), &d, sizeof d);
  pv.vt = VT_DECIMAL;
}

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
    hr = (pv->vt & VT_VECTOR) != 0 ? recfilereader_compat_detail::ClearVector(pv)
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
  return recfilereader_compat_detail::CopyScalar(*target, *source);
}

#endif  // RECFILEREADER_COMPAT_H
