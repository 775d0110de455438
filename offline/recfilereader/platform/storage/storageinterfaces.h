// COM structured storage stand-ins: ILockBytes, IStorage, IStream, IEnumSTATSTG with their
// records, flags and results, and the entry points that make and open compound documents over
// lock bytes. Slot order, argument order and results follow COM so that code written against
// COM structured storage works unchanged. Every object returned through an out-pointer carries
// one reference that the caller gives back with Release.
#ifndef RECFILEREADER_PLATFORM_STORAGE_STORAGEINTERFACES_H
#define RECFILEREADER_PLATFORM_STORAGE_STORAGEINTERFACES_H

#include "platform/hresults.h"
#include "recfilereader/compat.h"
#include "recfilereader/propvariant.h"

// 64-bit offsets and sizes, as COM spells them.
union ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  } u;
  ULONGLONG QuadPart;
};
union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};

// A list of element names, ended by a null pointer (unused here: always pass null).
using SNB = OLECHAR**;

// Placeholder for a Windows global memory handle; only null is accepted.
using HGLOBAL = void*;

// Access and creation modes (grfMode).
constexpr DWORD STGM_DIRECT = 0x00000000;
constexpr DWORD STGM_TRANSACTED = 0x00010000;
constexpr DWORD STGM_SIMPLE = 0x08000000;
constexpr DWORD STGM_READ = 0x00000000;
constexpr DWORD STGM_WRITE = 0x00000001;
constexpr DWORD STGM_READWRITE = 0x00000002;
constexpr DWORD STGM_SHARE_DENY_NONE = 0x00000040;
constexpr DWORD STGM_SHARE_DENY_READ = 0x00000030;
constexpr DWORD STGM_SHARE_DENY_WRITE = 0x00000020;
constexpr DWORD STGM_SHARE_EXCLUSIVE = 0x00000010;
constexpr DWORD STGM_PRIORITY = 0x00040000;
constexpr DWORD STGM_DELETEONRELEASE = 0x04000000;
constexpr DWORD STGM_NOSCRATCH = 0x00100000;
constexpr DWORD STGM_CREATE = 0x00001000;
constexpr DWORD STGM_CONVERT = 0x00020000;
constexpr DWORD STGM_FAILIFTHERE = 0x00000000;
constexpr DWORD STGM_NOSNAPSHOT = 0x00200000;
constexpr DWORD STGM_DIRECT_SWMR = 0x00400000;

// Commit flags (grfCommitFlags).
constexpr DWORD STGC_DEFAULT = 0;
constexpr DWORD STGC_OVERWRITE = 1;
constexpr DWORD STGC_ONLYIFCURRENT = 2;
constexpr DWORD STGC_DANGEROUSLYCOMMITMERELYTODISKCACHE = 4;
constexpr DWORD STGC_CONSOLIDATE = 8;

// Element types (STATSTG::type).
constexpr DWORD STGTY_STORAGE = 1;
constexpr DWORD STGTY_STREAM = 2;
constexpr DWORD STGTY_LOCKBYTES = 3;
constexpr DWORD STGTY_PROPERTY = 4;

// Seek origins.
constexpr DWORD STREAM_SEEK_SET = 0;
constexpr DWORD STREAM_SEEK_CUR = 1;
constexpr DWORD STREAM_SEEK_END = 2;

// Stat flags (grfStatFlag).
constexpr DWORD STATFLAG_DEFAULT = 0;
constexpr DWORD STATFLAG_NONAME = 1;
constexpr DWORD STATFLAG_NOOPEN = 2;

// Region lock types.
enum LOCKTYPE : DWORD {
  LOCK_WRITE = 1,
  LOCK_EXCLUSIVE = 2,
  LOCK_ONLYONCE = 4,
};

// MoveElementTo flags.
constexpr DWORD STGMOVE_MOVE = 0;
constexpr DWORD STGMOVE_COPY = 1;
constexpr DWORD STGMOVE_SHALLOWCOPY = 2;

// What Stat and EnumElements report about an element. pwcsName is task memory (CoTaskMemFree)
// unless STATFLAG_NONAME was asked, then null.
struct STATSTG {
  LPOLESTR pwcsName;
  DWORD type;
  ULARGE_INTEGER cbSize;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD grfMode;
  DWORD grfLocksSupported;
  CLSID clsid;
  DWORD grfStateBits;
  DWORD reserved;
};

// Interface identifiers, COM's values.
constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_ILockBytes = {0x0000000A, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IStorage = {0x0000000B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IEnumSTATSTG = {0x0000000D, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_ISequentialStream = {
    0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};

// A flat, growable byte array that a compound document lives on.
struct ILockBytes : IUnknown {
  virtual HRESULT ReadAt(ULARGE_INTEGER offset, void* buffer, ULONG count, ULONG* read) = 0;
  virtual HRESULT WriteAt(ULARGE_INTEGER offset, const void* data, ULONG count,
                          ULONG* written) = 0;
  virtual HRESULT Flush() = 0;
  virtual HRESULT SetSize(ULARGE_INTEGER size) = 0;
  virtual HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lock_type) = 0;
  virtual HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lock_type) = 0;
  virtual HRESULT Stat(STATSTG* stat, DWORD stat_flag) = 0;

 protected:
  ~ILockBytes() = default;
};

struct ISequentialStream : IUnknown {
  virtual HRESULT Read(void* buffer, ULONG count, ULONG* read) = 0;
  virtual HRESULT Write(const void* data, ULONG count, ULONG* written) = 0;

 protected:
  ~ISequentialStream() = default;
};

struct IStream : ISequentialStream {
  virtual HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* new_position) = 0;
  virtual HRESULT SetSize(ULARGE_INTEGER size) = 0;
  virtual HRESULT CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                         ULARGE_INTEGER* written) = 0;
  virtual HRESULT Commit(DWORD commit_flags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lock_type) = 0;
  virtual HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lock_type) = 0;
  virtual HRESULT Stat(STATSTG* stat, DWORD stat_flag) = 0;
  virtual HRESULT Clone(IStream** clone) = 0;

 protected:
  ~IStream() = default;
};

// Walks the elements of one storage. Next fills up to `count` records and answers S_FALSE
// when it fetched fewer.
struct IEnumSTATSTG : IUnknown {
  virtual HRESULT Next(ULONG count, STATSTG* elements, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumSTATSTG** clone) = 0;

 protected:
  ~IEnumSTATSTG() = default;
};

struct IStorage : IUnknown {
  virtual HRESULT CreateStream(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2,
                               IStream** stream) = 0;
  virtual HRESULT OpenStream(const OLECHAR* name, void* reserved1, DWORD mode, DWORD reserved2,
                             IStream** stream) = 0;
  virtual HRESULT CreateStorage(const OLECHAR* name, DWORD mode, DWORD reserved1,
                                DWORD reserved2, IStorage** storage) = 0;
  virtual HRESULT OpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode,
                              SNB exclude, DWORD reserved, IStorage** storage) = 0;
  virtual HRESULT CopyTo(DWORD exclude_count, const IID* exclude_iids, SNB exclude,
                         IStorage* target) = 0;
  virtual HRESULT MoveElementTo(const OLECHAR* name, IStorage* target, const OLECHAR* new_name,
                                DWORD flags) = 0;
  virtual HRESULT Commit(DWORD commit_flags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3,
                               IEnumSTATSTG** enumerator) = 0;
  virtual HRESULT DestroyElement(const OLECHAR* name) = 0;
  virtual HRESULT RenameElement(const OLECHAR* old_name, const OLECHAR* new_name) = 0;
  virtual HRESULT SetElementTimes(const OLECHAR* name, const FILETIME* ctime,
                                  const FILETIME* atime, const FILETIME* mtime) = 0;
  virtual HRESULT SetClass(REFCLSID clsid) = 0;
  virtual HRESULT SetStateBits(DWORD state_bits, DWORD mask) = 0;
  virtual HRESULT Stat(STATSTG* stat, DWORD stat_flag) = 0;

 protected:
  ~IStorage() = default;
};

// Creates a new, empty compound document on `lock_bytes`, replacing whatever they hold, and
// writes it to them at once. `mode` needs write access. Documents work in direct mode only
// (STGM_TRANSACTED, STGM_SIMPLE, STGM_PRIORITY, STGM_DELETEONRELEASE: STG_E_INVALIDFLAG): a
// change is seen at once by every element of the document and reaches the lock bytes, as a
// complete document, at Commit of any storage or stream and when the last element of the
// document is released. Storages and streams inside are created and opened with
// STGM_SHARE_EXCLUSIVE (else STG_E_INVALIDFLAG), and only once at a time (else
// STG_E_ACCESSDENIED).
HRESULT StgCreateDocfileOnILockBytes(ILockBytes* lock_bytes, DWORD mode, DWORD reserved,
                                     IStorage** root);

// Opens the compound document held by `lock_bytes` (versions 3 and 4), for writing when `mode`
// asks for it; `priority` and `exclude` must be null. Bytes that are no compound document
// fail with STG_E_FILEALREADYEXISTS, a damaged header, FAT, DIFAT or directory with
// STG_E_INVALIDHEADER or STG_E_DOCFILECORRUPT. A damaged stream fails only its own OpenStream
// (STG_E_DOCFILECORRUPT), and a document cut short gives every stream whose bytes lie before
// the cut. Opening reads the structure only; stream contents are read from the lock bytes
// when asked for, so they must not change while the document is open.
HRESULT StgOpenStorageOnILockBytes(ILockBytes* lock_bytes, IStorage* priority, DWORD mode,
                                   SNB exclude, DWORD reserved, IStorage** root);

// S_OK when `lock_bytes` begins with the compound-document signature, S_FALSE otherwise.
HRESULT StgIsStorageILockBytes(ILockBytes* lock_bytes);

// In-memory lock bytes, starting empty. `global` must be null (there are no global memory
// blocks here); the memory always goes with the object.
HRESULT CreateILockBytesOnHGlobal(HGLOBAL global, BOOL delete_on_release, ILockBytes** lock_bytes);

#endif  // RECFILEREADER_PLATFORM_STORAGE_STORAGEINTERFACES_H
