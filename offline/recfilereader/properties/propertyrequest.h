// The request one walk of a declared property table serves, and the base that declares the
// table. A declared table keeps its properties in members of the derived class; its
// ProcessProperties offers them one after the other, in a fixed order, to the request, which
// picks one by position or by name and reads or writes it.
#ifndef RECFILEREADER_PROPERTIES_PROPERTYREQUEST_H
#define RECFILEREADER_PROPERTIES_PROPERTYREQUEST_H

#include <string>

#include "recfilereader/compat.h"
#include "recfilereader/properties.h"
#include "recfilereader/propvariant.h"

namespace recfilereader {

inline constexpr ULONG kPropertyWrite = 0;
inline constexpr ULONG kPropertyRead = 1;

// What the caller wants (informational: handlers fill in everything they can).
inline constexpr ULONG kWantCount = 1;
inline constexpr ULONG kWantValue = 2;
inline constexpr ULONG kWantFlags = 4;
inline constexpr ULONG kWantName = 9;
inline constexpr ULONG kWantNameAndFlags = 13;
inline constexpr ULONG kWantInformation = 16;
inline constexpr ULONG kWantAll = 31;

inline constexpr std::size_t kPropertyTextCapacity = 256;  // category and description, terminator included

// One walk's question and answer. The value belongs to the request after a read (it is moved
// out or cleared with the request); for a write it is the caller's, borrowed bit for bit and
// forgotten afterwards (see Borrow / Forget).
struct PropertyRequest {
  PropertyRequest() { PropVariantInit(&value); }
  ~PropertyRequest() { PropVariantClear(&value); }
  PropertyRequest(const PropertyRequest&) = delete;
  PropertyRequest& operator=(const PropertyRequest&) = delete;

  void Borrow(const PROPVARIANT& caller_value) { value = caller_value; }
  void Forget() { PropVariantInit(&value); }

  ULONG operation = kPropertyRead;
  ULONG wanted = kWantAll;
  ULONG by_index = 0;  // non-zero: select by position
  LONG index = -1;     // position sought; -1 selects nothing
  ULONG counter = 0;   // properties offered so far
  std::wstring name;   // sought; filled with the found name when selecting by position
  PROPVARIANT value;
  ULONG flags = 0;
  ULONG result = 0;
  wchar_t category[kPropertyTextCapacity] = {};
  wchar_t description[kPropertyTextCapacity] = {};
  PropertyDescriptor descriptor{};
};

class CPropertyProcessBase {
 public:
  // Offers every property to `request`; true as soon as one has served it.
  virtual bool ProcessProperties(PropertyRequest& request) = 0;

 protected:
  ~CPropertyProcessBase() = default;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PROPERTIES_PROPERTYREQUEST_H
