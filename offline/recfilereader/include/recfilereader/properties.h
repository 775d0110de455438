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
//      0     4  Size: 56, the size of this record
//      4     4  ReadOnly: 1 or 0
//      8     8  Reserved1, Reserved2: 0
//     16     8  Minimum value (double)
//     24     8  Maximum value (double)
//     32     2  Style: 64 in every descriptor this library hands out
//     34    22  Reserved3: 0
struct PropertyDescriptor {
  ULONG Size;
  ULONG ReadOnly;
  ULONG Reserved1;
  ULONG Reserved2;
  double Minimum;
  double Maximum;
  USHORT Style;
  BYTE Reserved3[22];
};
static_assert(sizeof(PropertyDescriptor) == 56);
static_assert(offsetof(PropertyDescriptor, ReadOnly) == 4);
static_assert(offsetof(PropertyDescriptor, Reserved1) == 8);
static_assert(offsetof(PropertyDescriptor, Reserved2) == 12);
static_assert(offsetof(PropertyDescriptor, Minimum) == 16);
static_assert(offsetof(PropertyDescriptor, Maximum) == 24);
static_assert(offsetof(PropertyDescriptor, Style) == 32);
static_assert(offsetof(PropertyDescriptor, Reserved3) == 34);

// What GetPropertyInfo tells about one property. The two texts belong to the answering object
// and stay valid as long as it lives.
struct PropertyInfo {
  ULONG Flags;                    // kPropertyFlag* bits
  PropertyDescriptor Descriptor;  // 8-byte aligned
  const wchar_t* Category;
  const wchar_t* Description;
};
static_assert(offsetof(PropertyInfo, Descriptor) == 8);
static_assert(offsetof(PropertyInfo, Category) == 64);
static_assert(offsetof(PropertyInfo, Description) == 64 + sizeof(const wchar_t*));

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
