// Windows and COM value types shared by the library and its hosts: integer aliases, the general
// HRESULT codes, GUID, FILETIME, DECIMAL, BLOB and PROPVARIANT with its VT_* codes. Freeing and
// copying property values is in "recfilereader/propvariant.h".
#ifndef RECFILEREADER_COMPAT_H
#define RECFILEREADER_COMPAT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

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

// Hosts that bring their own Windows compatibility headers may already have these as macros.
#ifndef SUCCEEDED
inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
#endif
#ifndef FAILED
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }
#endif
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
// What PropVariantClear and PropVariantCopy answer for a type code they do not know.
constexpr HRESULT DISP_E_BADVARTYPE = HResultFromBits(0x80020008u);

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

// A VT_ARRAY value: cDims dimensions, each with its element count and lowest index
// (rgsabound holds cDims entries: the descriptor is allocated to hold them all), and the
// elements, in the order a property set stores them, at pvData (cbElements bytes each). The
// element type is the value's vt without VT_ARRAY; fFeatures and cLocks are 0. Descriptor and
// elements are task memory.
struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};
struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
};

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
    SAFEARRAY* parray;
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

#endif  // RECFILEREADER_COMPAT_H
