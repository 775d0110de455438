// The reader's own property table: what the open recording is (time span, position at its
// ends), what may be done with it, which files the reader handles, and the tuning of the file
// cache and of package decompression. The host reads it and sets the writable settings
// through IObjectProperties / IExObjectProperties; the reader sets the read-only values through
// IDirectPropAccess, which does not count as a change for the table hash.
//
// Stands on its own: construct it, then register its faces wherever it is to be found.
// Not thread-safe.
#ifndef RECFILEREADER_PROPERTIES_RECFILEREADERPROP_H
#define RECFILEREADER_PROPERTIES_RECFILEREADERPROP_H

#include <string>
#include <vector>

#include "base/directpropaccess.h"
#include "properties/tvkpropmanager.h"

namespace recfilereader {

inline constexpr ULONG kDefaultCacheEntrySize = 0x200000;            // 2 MiB
inline constexpr ULONG kDefaultCacheMemoryLimit = 0;                 // cache off
inline constexpr ULONG kDefaultCacheSystemMemoryLimit = 0xC800000;   // 200 MiB
inline constexpr double kDefaultCacheAspect = 0.8;

class CRecFileReaderProp final : public CTVKPropManager, public IDirectPropAccess {
 public:
  CRecFileReaderProp();

  // IDirectPropAccess
  bool SetDirectProperty(LONG number, const PROPVARIANT* value) override;
  bool GetDirectProperty(LONG number, PROPVARIANT* value) override;

  // The eighteen entries, in their fixed order.
  bool ProcessProperties(PropertyRequest& request) override;

  // The settings the reader reads back when it opens a file.
  ULONG cache_entry_size() const { return cache_entry_size_; }
  ULONG cache_memory_limit() const { return cache_memory_limit_; }
  ULONG cache_system_memory_limit() const { return cache_system_memory_limit_; }
  bool cache_is_transparent() const { return cache_is_transparent_; }
  double cache_aspect() const { return cache_aspect_; }
  bool dont_decompress_packets() const { return dont_decompress_packets_; }

 private:
  // Both directions of IDirectPropAccess: one switch over the numbers. True for a known number.
  bool DirectMember(LONG number, PROPVARIANT& value, bool into_member);

  std::vector<std::wstring> supported_extensions_{L"rec"};
  std::vector<std::wstring> supported_descriptions_{L"TVK recording"};
  ULONGLONG begin_timestamp_ = 0;
  ULONGLONG end_timestamp_ = 0;
  bool end_of_file_ = false;
  bool begin_of_file_ = false;
  bool can_change_rec_prop_ = false;
  bool can_change_markers_ = false;
  bool can_change_marker_prop_ = false;
  bool can_extract_rec_part_ = false;
  LONG data_packages_version_ = 0;
  bool data_changed_ = false;
  ULONG cache_entry_size_ = kDefaultCacheEntrySize;
  ULONG cache_memory_limit_ = kDefaultCacheMemoryLimit;
  ULONG cache_system_memory_limit_ = kDefaultCacheSystemMemoryLimit;
  bool cache_is_transparent_ = false;
  double cache_aspect_ = kDefaultCacheAspect;
  bool dont_decompress_packets_ = false;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PROPERTIES_RECFILEREADERPROP_H
