// Named, typed properties: the interface family through which the reader, recordings, systems,
// markers and sources show their properties to a host, and the records that describe a property.
// Every value is a PROPVARIANT; names compare without regard to case. Operations answer true or
// false and never throw: an unknown name, a read-only property or a value that does not convert
// simply gives false.
#ifndef RECFILEREADER_PROPERTIES_H
#define RECFILEREADER_PROPERTIES_H

#include <cstddef>

#include "recfilereader/compat.h"

// Property flags (32-bit).
constexpr ULONG kPropertyFlagReadOnly = 0x1;  // SetProperty refuses the property
constexpr ULONG kPropertyFlagUnhashed = 0x8;  // the property stays out of the table hash

// How a property may be presented and edited. Handed to the host inside PropertyInfo.
//
// OFFSET  SIZE  FIELD
//      0     4  size: 56, the size of this record
//      4     4  read_only: 1 or 0
//      8     8  reserved, 0
//     16     8  minimum value (double)
//     24     8  maximum value (double)
//     32     2  style: 64 in every descriptor this library hands out
//     34    22  reserved, 0
struct PropertyDescriptor {
  ULONG size;
  ULONG read_only;
  ULONG reserved1;
  ULONG reserved2;
  double minimum;
  double maximum;
  USHORT style;
  BYTE reserved3[22];
};
static_assert(sizeof(PropertyDescriptor) == 56);
static_assert(offsetof(PropertyDescriptor, read_only) == 4);
static_assert(offsetof(PropertyDescriptor, reserved1) == 8);
static_assert(offsetof(PropertyDescriptor, reserved2) == 12);
static_assert(offsetof(PropertyDescriptor, minimum) == 16);
static_assert(offsetof(PropertyDescriptor, maximum) == 24);
static_assert(offsetof(PropertyDescriptor, style) == 32);
static_assert(offsetof(PropertyDescriptor, reserved3) == 34);

// What GetPropertyInfo tells about one property. The two texts belong to the answering object
// and stay valid as long as it lives.
struct PropertyInfo {
  ULONG flags;                    // kPropertyFlag* bits
  PropertyDescriptor descriptor;  // 8-byte aligned
  const wchar_t* category;
  const wchar_t* description;
};
static_assert(offsetof(PropertyInfo, descriptor) == 8);
static_assert(offsetof(PropertyInfo, category) == 64);
static_assert(offsetof(PropertyInfo, description) == 64 + sizeof(const wchar_t*));

struct IObjectProperties {
  // 0: the number of properties the object has.
  virtual LONG GetPropertyCount() = 0;
  // 1: copies the name of the property at position `index` into `buffer` (at most
  // capacity - 1 characters, terminated); false for a position out of range, a null buffer or
  // a capacity below 1.
  virtual bool GetPropertyName(LONG index, wchar_t* buffer, LONG capacity) = 0;
  // 2: clears `value` and fills it with a copy of the named property's value; false when the
  // property does not exist, `value` then left untouched. The host clears `value` when done.
  virtual bool GetProperty(const wchar_t* name, PROPVARIANT* value) = 0;
  // 3: sets the named property from `value`, converting it to the property's type; `value`
  // stays the caller's. False for a read-only property or a value that does not convert.
  virtual bool SetProperty(const wchar_t* name, const PROPVARIANT* value) = 0;
  // 4: the named property's kPropertyFlag* bits into `*flags` (0 first, whatever the result);
  // false when the property does not exist.
  virtual bool GetPropertyFlags(const wchar_t* name, ULONG* flags) = 0;

 protected:
  ~IObjectProperties() = default;
};

struct IExObjectProperties : IObjectProperties {
  // 5: the named property's flags, descriptor, category and description into `info`; false
  // when the property does not exist.
  virtual bool GetPropertyInfo(const wchar_t* name, PropertyInfo* info) = 0;

 protected:
  ~IExObjectProperties() = default;
};

struct IRecordingObjectProperties : IObjectProperties {
  // 5: removes the named property; false when it does not exist.
  virtual bool DeletePropertyByName(const wchar_t* name) = 0;

 protected:
  ~IRecordingObjectProperties() = default;
};

struct IObjectPropertyTableHash {
  // 0: a 32-bit hash over every hashed property's value; it changes when a value changes, so
  // a host can tell whether the table is still what it saw. 0xFFFFFFFF for an empty table.
  virtual DWORD GetTableHash() = 0;

 protected:
  ~IObjectPropertyTableHash() = default;
};

#endif  // RECFILEREADER_PROPERTIES_H
