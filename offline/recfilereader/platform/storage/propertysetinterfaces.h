// COM property-set stand-ins: IPropertySetStorage, IPropertyStorage and their enumerators with
// the records and flags they use, and StgCreatePropSetStg, which gives the property sets of a
// storage. Slot order, arguments and results follow COM so that code written against COM
// property storage works unchanged. Only simple property sets (one stream each) exist here.
#ifndef RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETINTERFACES_H
#define RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETINTERFACES_H

#include "platform/storage/storageinterfaces.h"
#include "recfilereader/compat.h"

// Special property identifiers.
constexpr PROPID PID_DICTIONARY = 0x00000000;
constexpr PROPID PID_CODEPAGE = 0x00000001;
constexpr PROPID PID_FIRST_USABLE = 0x00000002;
constexpr PROPID PID_FIRST_NAME_DEFAULT = 0x00000FFF;
constexpr PROPID PID_LOCALE = 0x80000000;
constexpr PROPID PID_MODIFY_TIME = 0x80000001;
constexpr PROPID PID_SECURITY = 0x80000002;
constexpr PROPID PID_BEHAVIOR = 0x80000003;
constexpr PROPID PID_ILLEGAL = 0xFFFFFFFF;
constexpr PROPID PID_MIN_READONLY = 0x80000000;
constexpr PROPID PID_MAX_READONLY = 0xBFFFFFFF;

// IPropertySetStorage::Create flags.
constexpr DWORD PROPSETFLAG_DEFAULT = 0;
constexpr DWORD PROPSETFLAG_NONSIMPLE = 1;
constexpr DWORD PROPSETFLAG_ANSI = 2;
constexpr DWORD PROPSETFLAG_UNBUFFERED = 4;
constexpr DWORD PROPSETFLAG_CASE_SENSITIVE = 8;

// PROPSPEC kinds.
constexpr ULONG PRSPEC_LPWSTR = 0;
constexpr ULONG PRSPEC_PROPID = 1;

constexpr USHORT CP_WINUNICODE = 1200;

struct PROPSPEC {
  ULONG ulKind;
  union {
    PROPID propid;
    LPOLESTR lpwstr;
  };
};

// One property as IEnumSTATPROPSTG reports it; lpwstrName is task memory or null (unnamed).
struct STATPROPSTG {
  LPOLESTR lpwstrName;
  PROPID propid;
  VARTYPE vt;
};

// One property set as IEnumSTATPROPSETSTG and IPropertyStorage::Stat report it.
struct STATPROPSETSTG {
  FMTID fmtid;
  CLSID clsid;
  DWORD grfFlags;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD dwOSVersion;
};

constexpr IID IID_IPropertyStorage = {
    0x00000138, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IPropertySetStorage = {
    0x0000013A, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IEnumSTATPROPSTG = {
    0x00000139, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IEnumSTATPROPSETSTG = {
    0x0000013B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Well-known format identifiers.
constexpr FMTID FMTID_SummaryInformation = {
    0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9}};
constexpr FMTID FMTID_DocSummaryInformation = {
    0xD5CDD502, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE}};
constexpr FMTID FMTID_UserDefinedProperties = {
    0xD5CDD505, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE}};

struct IEnumSTATPROPSTG : IUnknown {
  virtual HRESULT Next(ULONG count, STATPROPSTG* elements, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumSTATPROPSTG** clone) = 0;

 protected:
  ~IEnumSTATPROPSTG() = default;
};

struct IEnumSTATPROPSETSTG : IUnknown {
  virtual HRESULT Next(ULONG count, STATPROPSETSTG* elements, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumSTATPROPSETSTG** clone) = 0;

 protected:
  ~IEnumSTATPROPSETSTG() = default;
};

// One property set. Changes are kept in memory and reach the set's stream on Commit and when
// the last reference goes (when the set was opened for writing).
struct IPropertyStorage : IUnknown {
  // Found values are copied into `values` (VT_EMPTY for the others); S_FALSE when none was found.
  virtual HRESULT ReadMultiple(ULONG count, const PROPSPEC* specs, PROPVARIANT* values) = 0;
  // New names receive unused identifiers from `first_name_id` (2 to 0x7FFFFFFF) upwards.
  virtual HRESULT WriteMultiple(ULONG count, const PROPSPEC* specs, const PROPVARIANT* values,
                                PROPID first_name_id) = 0;
  virtual HRESULT DeleteMultiple(ULONG count, const PROPSPEC* specs) = 0;
  virtual HRESULT ReadPropertyNames(ULONG count, const PROPID* ids, LPOLESTR* names) = 0;
  virtual HRESULT WritePropertyNames(ULONG count, const PROPID* ids, const LPOLESTR* names) = 0;
  virtual HRESULT DeletePropertyNames(ULONG count, const PROPID* ids) = 0;
  virtual HRESULT Commit(DWORD commit_flags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT Enum(IEnumSTATPROPSTG** enumerator) = 0;
  virtual HRESULT SetTimes(const FILETIME* ctime, const FILETIME* atime, const FILETIME* mtime) = 0;
  virtual HRESULT SetClass(REFCLSID clsid) = 0;
  virtual HRESULT Stat(STATPROPSETSTG* stat) = 0;

 protected:
  ~IPropertyStorage() = default;
};

// The property sets of one storage.
struct IPropertySetStorage : IUnknown {
  virtual HRESULT Create(REFFMTID fmtid, const CLSID* clsid, DWORD flags, DWORD mode,
                         IPropertyStorage** storage) = 0;
  virtual HRESULT Open(REFFMTID fmtid, DWORD mode, IPropertyStorage** storage) = 0;
  virtual HRESULT Delete(REFFMTID fmtid) = 0;
  virtual HRESULT Enum(IEnumSTATPROPSETSTG** enumerator) = 0;

 protected:
  ~IPropertySetStorage() = default;
};

// The property sets of `storage`; the result holds a reference to the storage.
HRESULT StgCreatePropSetStg(IStorage* storage, DWORD reserved, IPropertySetStorage** sets);

#endif  // RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETINTERFACES_H
