// Data packages: the record in which a package passes between the reader, the host, the
// compression library and a recording being written, and the interfaces that read packages
// from the open recording (and append them to one being written) and hand out its recording
// and system properties.
#ifndef RECFILEREADER_DATA_H
#define RECFILEREADER_DATA_H

#include <cstddef>

#include "recfilereader/compat.h"
#include "recfilereader/properties.h"

// The 32 bytes that describe a package of the second package format; all zero for a package
// of the first format.
struct DataPackageDescriptor {
  ULONG CycleId;          // shown in the decompression messages
  ULONG DescriptorWord1;  // copied through
  ULONG DescriptorWord2;  // copied through
  ULONG PackageFlags;     // kPackageFlag* bits; other bits copied through
  ULONG DescriptorWord4;  // copied through
  ULONG DescriptorWord5;  // copied through
  ULONG DescriptorWord6;  // copied through
  ULONG DescriptorWord7;  // copied through
};
static_assert(sizeof(DataPackageDescriptor) == 32);
static_assert(offsetof(DataPackageDescriptor, PackageFlags) == 12);

// Bits of DataPackageDescriptor::PackageFlags.
constexpr ULONG kPackageFlagMethodMask = 0x0F;    // compression method, 0 = not compressed
constexpr ULONG kPackageFlagTrailerMask = 0x30;   // either bit: 8 trailing bytes after the data
constexpr ULONG kPackageTrailerSize = 8;

// One data package. Buffers that the reader hands out (Data, ExtraData) are allocated through
// the host's memory manager and belong to the receiver, who frees them through that manager.
// The fields follow the package's extended header in the file; here the two buffers are native
// pointers, so the record is larger than the 72 bytes it has on 32-bit hosts.
struct DataPackageRecord {
  ULONG SourceHandle;  // the source (device) that produced the package; 0 marks a skipped one
  ULONG Reserved;      // 0
  ULONGLONG Timestamp;
  ULONG DataSize;      // bytes at Data that belong to the package
  void* Data;
  ULONG Info1;
  ULONG Info2;
  ULONG ExtraSize;     // bytes at ExtraData, 0 when there are none
  void* ExtraData;     // null when there are none
  DataPackageDescriptor Descriptor;
};
static_assert(offsetof(DataPackageRecord, Reserved) == 4);
static_assert(offsetof(DataPackageRecord, Timestamp) == 8);
static_assert(offsetof(DataPackageRecord, DataSize) == 16);
static_assert(sizeof(void*) != 4 || sizeof(DataPackageRecord) == 72);
static_assert(sizeof(void*) != 8 || sizeof(DataPackageRecord) == 88);

// Directions of IRecordingData::ReadDataPackage.
constexpr ULONG kReadForward = 1;
constexpr ULONG kReadBackward = 2;

struct IRecordingData {
  // 0: reads the package after the cursor (forward) or before it (backward) into `record` and
  // moves the cursor past it. Returns 1, or 0 at the end or beginning of the data or on a
  // failure. A damaged package is skipped with result 1, SourceHandle 0 and the damage kept in
  // the last error.
  virtual BOOL ReadDataPackage(ULONG direction, DataPackageRecord* record) = 0;
  // 1: the open recording's properties into `*properties`; hand them back with
  // ReleaseRecordingProperties. Returns 1, or 0 when no recording is open.
  virtual BOOL GetRecordingProperties(IRecordingObjectProperties** properties) = 0;
  // 2: hands back what GetRecordingProperties gave; the last release of changed properties
  // marks the recording's data as changed. Returns 1, or 0 for an interface not handed out or
  // released once too often.
  virtual BOOL ReleaseRecordingProperties(IRecordingObjectProperties* properties) = 0;
  // 3: the open recording's system properties into `*properties` (written only on success);
  // hand them back with ReleaseSystemProperties. Returns 1 or 0.
  virtual BOOL GetSystemProperties(IObjectProperties** properties) = 0;
  // 4: hands back what GetSystemProperties gave. Returns 1, or 0 as for
  // ReleaseRecordingProperties.
  virtual BOOL ReleaseSystemProperties(IObjectProperties* properties) = 0;

 protected:
  ~IRecordingData() = default;
};

struct IRecordingDataEx : IRecordingData {
  // 5: reserved; returns 0.
  virtual BOOL ReservedQuery() = 0;
  // 6: appends `count` packages, in array order, to the recording opened for writing.
  // Returns 1, or 0 when no recording is open for writing.
  virtual BOOL WriteDataPackages(const DataPackageRecord* records, ULONG count) = 0;
  // 7: the open recording's system properties, with their deletion, into `*properties`; hand
  // them back with ReleaseSystemPropertiesEx. Returns 1, or 0 when no recording is open.
  virtual BOOL GetSystemPropertiesEx(IRecordingObjectProperties** properties) = 0;
  // 8: hands back what GetSystemPropertiesEx gave. Returns 1 or 0.
  virtual BOOL ReleaseSystemPropertiesEx(IRecordingObjectProperties* properties) = 0;

 protected:
  ~IRecordingDataEx() = default;
};

#endif  // RECFILEREADER_DATA_H
