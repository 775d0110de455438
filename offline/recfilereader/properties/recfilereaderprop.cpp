#include "properties/recfilereaderprop.h"

#include "properties/propvalue.h"
#include "recfilereader/propertynames.h"

namespace recfilereader {
namespace {

constexpr ULONG kReadOnly = kPropertyFlagReadOnly;
constexpr ULONG kWritable = 0;
// The list entries describe themselves as writable although the table refuses every write.
constexpr PropertyDescriptor kListDescriptor = MakePropertyDescriptor(false);
constexpr PropertyDescriptor kReadOnlyDescriptor = MakePropertyDescriptor(true);
constexpr PropertyDescriptor kWritableDescriptor = MakePropertyDescriptor(false);

// Converts between a member and a value in the direction asked; bool members travel as LONG.
template <class T>
bool ConvertMember(T& member, PROPVARIANT& value, bool into_member) {
  return ConvertPropValue(member, value, !into_member);
}

bool ConvertMember(bool& member, PROPVARIANT& value, bool into_member) {
  LONG number = member ? 1 : 0;
  const bool converted = ConvertPropValue(number, value, !into_member);
  if (into_member) member = number != 0;
  return converted;
}

}  // namespace

CRecFileReaderProp::CRecFileReaderProp() = default;

bool CRecFileReaderProp::ProcessProperties(PropertyRequest& request) {
  auto& r = request;
  return OfferProperty(r, kReaderPropSupportedFileExt, &supported_extensions_, kReadOnly, kListDescriptor) ||
         OfferProperty(r, kReaderPropSupportedFileDesc, &supported_descriptions_, kReadOnly, kListDescriptor) ||
         OfferProperty(r, kReaderPropBeginTimestamp, begin_timestamp_, kReadOnly, kReadOnlyDescriptor) ||
         OfferProperty(r, kReaderPropEndTimestamp, end_timestamp_, kReadOnly, kReadOnlyDescriptor) ||
         OfferProperty(r, kReaderPropEndOfFile, end_of_file_, kReadOnly, kReadOnlyDescriptor) ||
         OfferProperty(r, kReaderPropBeginOfFile, begin_of_file_, kReadOnly, kReadOnlyDescriptor) ||
         OfferProperty(r, kReaderPropCanChangeRecProp, can_change_rec_prop_, kReadOnly, kReadOnlyDescriptor) ||
         OfferProperty(r, kReaderPropCanChangeMarkers, can_change_markers_, kReadOnly, kReadOnlyDescriptor) ||
         OfferProperty(r, kReaderPropCanChangeMarkerProp, can_change_marker_prop_, kReadOnly, kReadOnlyDescriptor) ||
         OfferProperty(r, kReaderPropCanExtractRecPart, can_extract_rec_part_, kReadOnly, kReadOnlyDescriptor) ||
         OfferProperty(r, kReaderPropDataPackagesVersion, data_packages_version_, kReadOnly, kReadOnlyDescriptor) ||
         OfferProperty(r, kReaderPropDataChanged, data_changed_, kReadOnly, kReadOnlyDescriptor) ||
         OfferProperty(r, kReaderPropCacheEntrySize, cache_entry_size_, kWritable, kWritableDescriptor) ||
         OfferProperty(r, kReaderPropCacheMemoryLimit, cache_memory_limit_, kWritable, kWritableDescriptor) ||
         OfferProperty(r, kReaderPropCacheSystemMemoryLimit, cache_system_memory_limit_, kWritable,
                       kWritableDescriptor) ||
         OfferProperty(r, kReaderPropCacheIsTransparent, cache_is_transparent_, kWritable, kWritableDescriptor) ||
         OfferProperty(r, kReaderPropCacheAspect, cache_aspect_, kWritable, kWritableDescriptor) ||
         OfferProperty(r, kReaderPropDontDecompressPackets, dont_decompress_packets_, kWritable,
                       kWritableDescriptor);
}

bool CRecFileReaderProp::SetDirectProperty(LONG number, const PROPVARIANT* value) {
  if (value == nullptr) return false;
  try {
    // Reading a value without growth leaves it as it was.
    return DirectMember(number, const_cast<PROPVARIANT&>(*value), true);
  } catch (...) {
    return false;
  }
}

bool CRecFileReaderProp::GetDirectProperty(LONG number, PROPVARIANT* value) {
  if (value == nullptr) return false;
  try {
    return DirectMember(number, *value, false);
  } catch (...) {
    return false;
  }
}

bool CRecFileReaderProp::DirectMember(LONG number, PROPVARIANT& value, bool into_member) {
  switch (number) {
    case kDirectBeginTimestamp: ConvertMember(begin_timestamp_, value, into_member); return true;
    case kDirectEndTimestamp: ConvertMember(end_timestamp_, value, into_member); return true;
    case kDirectBeginOfFile: ConvertMember(begin_of_file_, value, into_member); return true;
    case kDirectEndOfFile: ConvertMember(end_of_file_, value, into_member); return true;
    case kDirectCanChangeRecProp: ConvertMember(can_change_rec_prop_, value, into_member); return true;
    case kDirectCanChangeMarkers: ConvertMember(can_change_markers_, value, into_member); return true;
    case kDirectCanChangeMarkerProp: ConvertMember(can_change_marker_prop_, value, into_member); return true;
    case kDirectCanExtractRecPart: ConvertMember(can_extract_rec_part_, value, into_member); return true;
    case kDirectDataPackagesVersion: ConvertMember(data_packages_version_, value, into_member); return true;
    case kDirectDataChanged: ConvertMember(data_changed_, value, into_member); return true;
    default: return false;
  }
}

}  // namespace recfilereader
