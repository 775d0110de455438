// The bytes of a property-set stream <-> an in-memory model of its sections. The layout:
//
//   OFFSET SIZE  FIELD
//   0      2     byte order 0xFFFE
//   2      2     version: 0, or 1 when a version-1 type or a long name occurs
//   4      4     writer's system version (informational)
//   8      16    class identifier
//   24     4     number of sections (at least 1)
//   28     20·n  per section: format identifier, offset of the section from the stream start
//
// and per section: its size in bytes (including this header), the number of properties, that
// many (identifier, offset from the section start) pairs, then the values, each 4-aligned.
// Identifier 0 is the name dictionary, 1 the code page of narrow strings, 0x80000000 the locale.
// Decoding trusts nothing in the bytes: every count and size is checked against what remains.
#ifndef RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETCODEC_H
#define RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETCODEC_H

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/hresults.h"
#include "platform/propvariantholder.h"
#include "recfilereader/compat.h"

namespace recfilereader {

// The system version a set written here claims: 6.1 on a Win32 system (kind 2).
constexpr std::uint32_t kPropertySetOsVersion = 0x00020106;
constexpr std::uint32_t kDefaultLocale = 0x0409;

// One section: a format identifier with its properties. Narrow strings in `values` (VT_LPSTR)
// are UTF-8, whatever the code page the section is stored in.
struct PropertySection {
  FMTID fmtid{};
  // None when the section has no code page property; its narrow text then reads as 1252, and
  // it is written with the code page it is written in.
  std::optional<std::uint16_t> code_page;
  std::optional<std::uint32_t> locale;
  std::optional<std::uint32_t> behavior;  // bit 0: names are case-sensitive
  std::map<PROPID, std::wstring> names;   // the dictionary
  std::map<PROPID, PropVariantHolder> values;
  // Values that do not decode within their place in the section, byte for byte from their
  // type word on, so that writing the set back keeps them as they were.
  std::map<PROPID, std::vector<std::uint8_t>> damaged;
};

struct PropertySetData {
  std::uint16_t version = 0;
  std::uint32_t os_version = kPropertySetOsVersion;
  CLSID clsid{};
  std::vector<PropertySection> sections;
};

// Reads a property-set stream. S_OK; STG_E_INVALIDHEADER when the header, a section's frame
// or its dictionary is damaged; E_OUTOFMEMORY. Values of types this implementation does not
// hold (non-simple references) are left out, damaged values are kept aside; an empty stream is
// a set without sections.
HRESULT DecodePropertySet(std::span<const std::uint8_t> bytes, PropertySetData* set);

// Writes a property-set stream, every section with its code page (1252 when it has none). A
// section whose names or narrow strings its code page cannot represent is written as a Unicode
// (1200) section instead. S_OK; STG_E_INVALIDPARAMETER when a value's type cannot be stored
// or the stream would pass 4 GiB; E_OUTOFMEMORY.
HRESULT EncodePropertySet(const PropertySetData& set, std::vector<std::uint8_t>* bytes);

// True when a value of this type (with its elements) can be stored in a simple property set.
bool IsStorablePropVariant(const PROPVARIANT& value);

// The code page a section would be written in: `preferred` when every name and narrow string
// has a mapping there, otherwise 1200.
std::uint16_t ChooseCodePage(const PropertySection& section, std::uint16_t preferred);

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETCODEC_H
