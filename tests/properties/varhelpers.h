// Building PROPVARIANT values for the property tests, owned and freed by a small holder.
#ifndef RECFILEREADER_TESTS_PROPERTIES_VARHELPERS_H
#define RECFILEREADER_TESTS_PROPERTIES_VARHELPERS_H

#include <cstring>
#include <string>

#include "platform/decimal.h"
#include "recfilereader/compat.h"
#include "recfilereader/propvariant.h"

namespace proptest {

// A PROPVARIANT that owns what it holds.
struct Var {
  PROPVARIANT v;
  Var() { PropVariantInit(&v); }
  explicit Var(VARTYPE type) : Var() { v.vt = type; }
  Var(const Var& other) : Var() { PropVariantCopy(&v, &other.v); }
  Var& operator=(const Var&) = delete;
  ~Var() { PropVariantClear(&v); }
  const PROPVARIANT* p() const { return &v; }  // usable on a temporary for the call it is passed to
};

inline Var I1(CHAR x) { Var r(VT_I1); r.v.cVal = x; return r; }
inline Var UI1(UCHAR x) { Var r(VT_UI1); r.v.bVal = x; return r; }
inline Var I2(SHORT x) { Var r(VT_I2); r.v.iVal = x; return r; }
inline Var UI2(USHORT x) { Var r(VT_UI2); r.v.uiVal = x; return r; }
inline Var I4(LONG x) { Var r(VT_I4); r.v.lVal = x; return r; }
inline Var UI4(ULONG x) { Var r(VT_UI4); r.v.ulVal = x; return r; }
inline Var Int(INT x) { Var r(VT_INT); r.v.intVal = x; return r; }
inline Var UInt(UINT x) { Var r(VT_UINT); r.v.uintVal = x; return r; }
inline Var I8(LONGLONG x) { Var r(VT_I8); r.v.hVal = x; return r; }
inline Var UI8(ULONGLONG x) { Var r(VT_UI8); r.v.uhVal = x; return r; }
inline Var R4(FLOAT x) { Var r(VT_R4); r.v.fltVal = x; return r; }
inline Var R8(DOUBLE x) { Var r(VT_R8); r.v.dblVal = x; return r; }
inline Var Bool(bool x) { Var r(VT_BOOL); r.v.boolVal = x ? VARIANT_TRUE : VARIANT_FALSE; return r; }
inline Var Err(ULONG x) { Var r(VT_ERROR); r.v.scode = static_cast<SCODE>(x); return r; }
inline Var FileTime(ULONGLONG x) {
  Var r(VT_FILETIME);
  r.v.filetime = FILETIME{static_cast<DWORD>(x), static_cast<DWORD>(x >> 32)};
  return r;
}
inline Var Str(const char* s) {
  Var r(VT_LPSTR);
  if (s != nullptr) {
    r.v.pszVal = static_cast<char*>(CoTaskMemAlloc(std::strlen(s) + 1));
    std::strcpy(r.v.pszVal, s);
  }
  return r;
}
inline Var WStr(const wchar_t* s) {
  Var r(VT_LPWSTR);
  if (s != nullptr) {
    r.v.pwszVal = static_cast<wchar_t*>(CoTaskMemAlloc((std::wcslen(s) + 1) * sizeof(wchar_t)));
    std::wcscpy(r.v.pwszVal, s);
  }
  return r;
}
inline Var Dec(const wchar_t* text) {
  Var r;
  DECIMAL d{};
  recfilereader::VarDecFromStr(text, recfilereader::kLocaleEnglishUs, 0, &d);
  PropVariantSetDecimal(r.v, d);
  return r;
}
inline Var Guid(const GUID& g) {
  Var r(VT_CLSID);
  r.v.puuid = static_cast<CLSID*>(CoTaskMemAlloc(sizeof(CLSID)));
  *r.v.puuid = g;
  return r;
}
inline Var Blob(std::initializer_list<BYTE> bytes) {
  Var r(VT_BLOB);
  r.v.blob.cbSize = static_cast<ULONG>(bytes.size());
  r.v.blob.pBlobData = static_cast<BYTE*>(CoTaskMemAlloc(bytes.size()));
  std::copy(bytes.begin(), bytes.end(), r.v.blob.pBlobData);
  return r;
}

constexpr GUID kSampleGuid = {0x71CCAC61, 0x82F1, 0x415D, {0xA1, 0xA0, 0x26, 0x85, 0xB3, 0x8C, 0x3C, 0x44}};

}  // namespace proptest

#endif  // RECFILEREADER_TESTS_PROPERTIES_VARHELPERS_H
