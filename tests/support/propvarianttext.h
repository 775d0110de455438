// Property values for tests: builders of every value type, a canonical text of any value (so
// that two values compare by their text) and the view an independent property reader
// (olefile) gives of a value, and an in-memory compound document to run property sets on.
#ifndef RECFILEREADER_TESTS_SUPPORT_PROPVARIANTTEXT_H
#define RECFILEREADER_TESTS_SUPPORT_PROPVARIANTTEXT_H

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/propvariantholder.h"
#include "platform/storage/storageinterfaces.h"

namespace rectest {

using recfilereader::PropVariantHolder;

// A value of type `vt` whose value field is all zero: a null pointer for texts and GUIDs.
inline PropVariantHolder Typed(VARTYPE vt) {
  PropVariantHolder h;
  h->vt = vt;
  return h;
}
// A scalar of type `vt` whose value field holds the bytes of `x`.
template <class T>
PropVariantHolder Scalar(VARTYPE vt, T x) {
  PropVariantHolder h = Typed(vt);
  std::memcpy(&h->cVal, &x, sizeof x);
  return h;
}
inline PropVariantHolder I1(CHAR x) { return Scalar(VT_I1, x); }
inline PropVariantHolder UI1(UCHAR x) { return Scalar(VT_UI1, x); }
inline PropVariantHolder I2(SHORT x) { return Scalar(VT_I2, x); }
inline PropVariantHolder UI2(USHORT x) { return Scalar(VT_UI2, x); }
inline PropVariantHolder I4(LONG x) { return Scalar(VT_I4, x); }
inline PropVariantHolder UI4(ULONG x) { return Scalar(VT_UI4, x); }
inline PropVariantHolder Int(INT x) { return Scalar(VT_INT, x); }
inline PropVariantHolder UInt(UINT x) { return Scalar(VT_UINT, x); }
inline PropVariantHolder I8(LONGLONG x) { return Scalar(VT_I8, x); }
inline PropVariantHolder UI8(ULONGLONG x) { return Scalar(VT_UI8, x); }
inline PropVariantHolder R4(FLOAT x) { return Scalar(VT_R4, x); }
inline PropVariantHolder R8(DOUBLE x) { return Scalar(VT_R8, x); }
inline PropVariantHolder Bool(bool x) { return Scalar(VT_BOOL, x ? VARIANT_TRUE : VARIANT_FALSE); }
inline PropVariantHolder Err(ULONG x) { return Scalar(VT_ERROR, x); }
inline PropVariantHolder FileTime(ULONGLONG ticks) { return Scalar(VT_FILETIME, ticks); }
// A scalar of a fixed-size type whose value field is `bits` (little-endian, truncated).
PropVariantHolder Fixed(VARTYPE vt, std::uint64_t bits);
// A DECIMAL parsed from English text ("-1.50" keeps its scale of 2).
PropVariantHolder Dec(const wchar_t* text);

PropVariantHolder Lpstr(std::string_view utf8);
PropVariantHolder Lpwstr(std::wstring_view text);
PropVariantHolder Bstr(std::wstring_view text);
PropVariantHolder Blob(const std::vector<std::uint8_t>& bytes);
PropVariantHolder Clsid(const GUID& guid);
PropVariantHolder ClipData(LONG format, const std::vector<std::uint8_t>& data);
PropVariantHolder LpwstrVector(const std::vector<std::wstring>& items);
// A vector of a fixed-size element type from raw element values.
PropVariantHolder FixedVector(VARTYPE element, const std::vector<std::uint64_t>& items);

constexpr GUID kSampleGuid = {0x71CCAC61, 0x82F1, 0x415D, {0xA1, 0xA0, 0x26, 0x85, 0xB3, 0x8C, 0x3C, 0x44}};

// One value of every type a simple property set holds, vectors included, labelled.
struct TypedValue {
  const char* label;
  PropVariantHolder value;
};
std::vector<TypedValue> EveryType();

// "VT_LPSTR \"abc\"", "VT_VECTOR|VT_I2 [1, 2]": type and full content.
std::string Describe(const PROPVARIANT& value);

// The line olefile_props.py prints for this property, or empty when olefile leaves the type
// out.
std::string OlefileLine(std::uint32_t id, const PROPVARIANT& value);

// A compound document on in-memory lock bytes with its root storage open for writing.
class MemoryDocument {
 public:
  MemoryDocument();
  // Opens the document held by `bytes` for reading.
  explicit MemoryDocument(const std::vector<std::uint8_t>& bytes);
  ~MemoryDocument();
  MemoryDocument(const MemoryDocument&) = delete;
  MemoryDocument& operator=(const MemoryDocument&) = delete;

  bool ok() const { return root_ != nullptr; }
  IStorage* root() const { return root_; }
  // Releases the root (completing the document) and returns the bytes.
  std::vector<std::uint8_t> Finish();

 private:
  ILockBytes* bytes_ = nullptr;
  IStorage* root_ = nullptr;
};

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_SUPPORT_PROPVARIANTTEXT_H
