// Property values for tests: builders of every value type, a canonical text of any value (so
// that two values compare by their text) and the view an independent property reader
// (olefile) gives of a value, and an in-memory compound document to run property sets on.
#ifndef RECFILEREADER_TESTS_SUPPORT_PROPVARIANTTEXT_H
#define RECFILEREADER_TESTS_SUPPORT_PROPVARIANTTEXT_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/propvariantholder.h"
#include "platform/storage/storageinterfaces.h"

namespace rectest {

using recfilereader::PropVariantHolder;

PropVariantHolder Lpstr(std::string_view utf8);
PropVariantHolder Lpwstr(std::wstring_view text);
PropVariantHolder Bstr(std::wstring_view text);
PropVariantHolder Blob(const std::vector<std::uint8_t>& bytes);
PropVariantHolder Clsid(const GUID& guid);
PropVariantHolder ClipData(LONG format, const std::vector<std::uint8_t>& data);
PropVariantHolder LpstrVector(const std::vector<std::string>& items);
PropVariantHolder LpwstrVector(const std::vector<std::wstring>& items);
PropVariantHolder BstrVector(const std::vector<std::wstring>& items);
// A scalar of a fixed-size type whose value field is `bits` (little-endian, truncated).
PropVariantHolder Fixed(VARTYPE vt, std::uint64_t bits);
// A vector of a fixed-size element type from raw element values.
PropVariantHolder FixedVector(VARTYPE element, const std::vector<std::uint64_t>& items);
PropVariantHolder VariantVector(const std::vector<PropVariantHolder>& items);
PropVariantHolder Decimal(BYTE scale, BYTE sign, ULONG hi, ULONGLONG low);

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

// The property stream's test vector of a class identifier as olefile spells it.
std::string OlefileClsid(const GUID& guid);

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

std::vector<std::uint8_t> LockBytesContent(ILockBytes* bytes);

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_SUPPORT_PROPVARIANTTEXT_H
