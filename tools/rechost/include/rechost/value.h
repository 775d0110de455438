// Property values as a host program uses them: a PROPVARIANT owned for its lifetime, and a plain
// tree of what it holds (numbers, texts, bytes, lists) for printing and serialising.
#ifndef RECHOST_VALUE_H
#define RECHOST_VALUE_H

#include <cstdint>
#include <string>
#include <vector>

#include "recfilereader/propvariant.h"

namespace rechost {

// Owns one PROPVARIANT and clears it when it ends.
class OwnedValue {
 public:
  OwnedValue() { PropVariantInit(&value_); }
  ~OwnedValue() { PropVariantClear(&value_); }
  OwnedValue(const OwnedValue&) = delete;
  OwnedValue& operator=(const OwnedValue&) = delete;
  // A wide text value.
  static OwnedValue Text(const std::string& utf8);
  // A VT_BLOB value holding a copy of `bytes`.
  static OwnedValue Blob(const std::vector<std::uint8_t>& bytes);
  // `text` read as a value of `type` (numbers, booleans, texts, GUIDs); false when it does not
  // convert or the type takes no text.
  static bool Parse(const std::string& text, VARTYPE type, OwnedValue& out);
  OwnedValue(OwnedValue&& other) noexcept;
  OwnedValue& operator=(OwnedValue&& other) noexcept;

  PROPVARIANT* get() { return &value_; }
  const PROPVARIANT& operator*() const { return value_; }

 private:
  PROPVARIANT value_;
};

struct Value {
  enum class Kind { kEmpty, kBool, kInteger, kUnsigned, kReal, kText, kBytes, kList };
  Kind kind = Kind::kEmpty;
  bool boolean = false;
  std::int64_t integer = 0;
  std::uint64_t unsigned_integer = 0;
  double real = 0;
  std::string text;                  // texts, GUIDs, times (ISO 8601 UTC), decimals
  std::vector<std::uint8_t> bytes;   // blobs
  std::vector<Value> items;          // vectors
};

// What `value` holds. Types without a plain reading become a text naming the type.
Value ToValue(const PROPVARIANT& value);
// "VT_I4", "VT_VECTOR|VT_LPWSTR", ...
std::string TypeName(VARTYPE type);
// A short human reading: numbers and texts as they are, blobs by their size.
std::string DisplayText(const Value& value);

}  // namespace rechost

#endif  // RECHOST_VALUE_H
