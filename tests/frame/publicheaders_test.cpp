// The public header must be enough for a host on its own, also for a host whose own Windows
// compatibility headers define SUCCEEDED and FAILED as macros, and every interface must keep
// its slot numbers and signatures: a host written in another language or built by another
// compiler reaches the operations by their position in the interface's table, not by name.
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#include "recfilereader/recfilereader.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

namespace {

constexpr std::size_t kNotVirtual = static_cast<std::size_t>(-1);

// The table slot a pointer to a virtual member names, read from its representation in the
// Itanium C++ ABI (GCC and Clang on Linux): the table offset in bytes plus one, or on ARM the
// offset with the virtual flag in the adjustment's low bit.
template <class Member>
std::size_t SlotOf(Member member) {
  static_assert(sizeof(Member) == 2 * sizeof(std::ptrdiff_t));
  std::ptrdiff_t words[2];
  std::memcpy(words, &member, sizeof words);
#if defined(__arm__) || defined(__aarch64__)
  if ((words[1] & 1) == 0) return kNotVirtual;
  return static_cast<std::size_t>(words[0]) / sizeof(void*);
#else
  if ((words[0] & 1) == 0) return kNotVirtual;
  return static_cast<std::size_t>(words[0] - 1) / sizeof(void*);
#endif
}

template <class Signature, class Interface>
using Operation = Signature Interface::*;

struct SlotCase {
  const char* operation;
  std::size_t slot;
  std::size_t expected;
};

// The cast fails to compile when the operation's signature changes; the slot is compared at
// run time.
#define SLOT(Interface, Name, Signature, expected) \
  SlotCase{#Interface "::" #Name, SlotOf(static_cast<Operation<Signature, Interface>>(&Interface::Name)), expected}

TEST(PublicHeadersTest, EveryInterfaceKeepsItsSlotsAndSignatures) {
  const SlotCase cases[] = {
      SLOT(IInterfaceAccess, GetInterface, void*(const wchar_t*), 0),
      SLOT(IObjectDestroy, Destroy, void(), 0),
      SLOT(IPerformanceTable, GetPerformanceTable, bool(PerformanceQuery*), 0),
      SLOT(IRecordingSupport, IsFileSupported, BOOL(const wchar_t*, BOOL*), 0),
      SLOT(IRecordingReaderEx, Open, BOOL(const wchar_t*, ULONG), 0),
      SLOT(IRecordingReaderEx, Close, BOOL(), 1),
      SLOT(IRecordingReaderEx, OpenEx, BOOL(const wchar_t*, ULONG, ULONG), 2),
      SLOT(IRecordingDataEx, ReadDataPackage, BOOL(ULONG, DataPackageRecord*), 0),
      SLOT(IRecordingDataEx, GetRecordingProperties, BOOL(IRecordingObjectProperties**), 1),
      SLOT(IRecordingDataEx, ReleaseRecordingProperties, BOOL(IRecordingObjectProperties*), 2),
      SLOT(IRecordingDataEx, GetSystemProperties, BOOL(IObjectProperties**), 3),
      SLOT(IRecordingDataEx, ReleaseSystemProperties, BOOL(IObjectProperties*), 4),
      SLOT(IRecordingDataEx, ReservedQuery, BOOL(), 5),
      SLOT(IRecordingDataEx, WriteDataPackages, BOOL(const DataPackageRecord*, ULONG), 6),
      SLOT(IRecordingDataEx, GetSystemPropertiesEx, BOOL(IRecordingObjectProperties**), 7),
      SLOT(IRecordingDataEx, ReleaseSystemPropertiesEx, BOOL(IRecordingObjectProperties*), 8),
      SLOT(IRecordingNavigate, JumpToReferenceTimestamp, BOOL(ULONGLONG), 0),
      SLOT(IRecordingNavigate, GetCurrentTimestamp, BOOL(ULONGLONG*), 1),
      SLOT(IRecordingPositionEx, GetPositionSize, ULONG(), 0),
      SLOT(IRecordingPositionEx, GetPosition, BOOL(void*), 1),
      SLOT(IRecordingPositionEx, SetPosition, BOOL(const void*, ULONG), 2),
      SLOT(IRecordingPositionEx, GetNextPosition, BOOL(const void*, void*), 3),
      SLOT(IRecordingPositionEx, GetPrevPosition, BOOL(const void*, void*), 4),
      SLOT(IRecordingPositionCmp, IsPositionEqual, BOOL(const void*, const void*, BOOL*), 0),
      SLOT(IRecordingPositionCmp, IsPositionLess, BOOL(const void*, const void*, BOOL*), 1),
      SLOT(IRecordingEdit, ExtractRecordingPart, BOOL(const wchar_t*, ULONGLONG, ULONGLONG), 0),
      SLOT(IRecordingSave, SaveRecording, BOOL(), 0),
      SLOT(IRecordingRepair, RepairRecording, bool(const wchar_t*), 0),

      SLOT(IExObjectProperties, GetPropertyCount, LONG(), 0),
      SLOT(IExObjectProperties, GetPropertyName, bool(LONG, wchar_t*, LONG), 1),
      SLOT(IExObjectProperties, GetProperty, bool(const wchar_t*, PROPVARIANT*), 2),
      SLOT(IExObjectProperties, SetProperty, bool(const wchar_t*, const PROPVARIANT*), 3),
      SLOT(IExObjectProperties, GetPropertyFlags, bool(const wchar_t*, ULONG*), 4),
      SLOT(IExObjectProperties, GetPropertyInfo, bool(const wchar_t*, PropertyInfo*), 5),
      SLOT(IRecordingObjectProperties, DeletePropertyByName, bool(const wchar_t*), 5),
      SLOT(IObjectPropertyTableHash, GetTableHash, DWORD(), 0),

      SLOT(IRecordingSources2, GetSourceCount, bool(ULONG*), 0),
      SLOT(IRecordingSources2, GetSourceId, bool(ULONG, GUID*), 1),
      SLOT(IRecordingSources2, AddSource, bool(REFGUID), 2),
      SLOT(IRecordingSources2, RemoveSource, bool(REFGUID), 3),
      SLOT(IRecordingSources2, GetSource, bool(REFGUID, IRecordingObjectProperties**), 4),
      SLOT(IRecordingSources2, ReleaseSource, bool(IRecordingObjectProperties*), 5),
      SLOT(IRecordingSources, GetSourceCount, bool(ULONG*), 0),
      SLOT(IRecordingSources, GetSource, bool(ULONG, IRecordingObjectProperties**), 1),
      SLOT(IRecordingSources, ReleaseSource, bool(IRecordingObjectProperties*), 2),
      SLOT(IRecordingMarker, GetMarkerCount, bool(ULONG*), 0),
      SLOT(IRecordingMarker, GetMarkerTimestamp, bool(ULONG, LONGLONG*), 1),
      SLOT(IRecordingMarker, AddMarker, bool(LONGLONG), 2),
      SLOT(IRecordingMarker, DeleteMarker, bool(LONGLONG), 3),
      SLOT(IRecordingMarker, GetMarkerProperties, bool(LONGLONG, IRecordingObjectProperties**), 4),
      SLOT(IRecordingMarker, ReleaseMarkerProperties, bool(IRecordingObjectProperties*), 5),
      SLOT(IRecordingError, GetErrorCode, LONG(), 0),
      SLOT(IRecordingError, GetErrorText, const wchar_t*(), 1),

      // Built apart from the reader: slot 1 must be the decompression.
      SLOT(ICompressionAlgo, CompressPackage, LONG(DataPackageRecord*, const wchar_t*), 0),
      SLOT(ICompressionAlgo, DecompressPackage, LONG(DataPackageRecord*, const wchar_t*), 1),

      // The host's services, which the library calls through their tables.
      SLOT(IRCMemoryMgr, Allocate, void*(std::size_t, DWORD), 0),
      SLOT(IRCMemoryMgr, Reallocate, void*(void*, std::size_t), 1),
      SLOT(IRCMemoryMgr, Free, void(void*), 2),
      SLOT(IRCMemoryLock, Lock, void(void*), 0),
      SLOT(IRCMemoryLock, Unlock, void(void*), 1),
      SLOT(IRCMemoryLock, IsShared, bool(void*), 2),
      SLOT(IThreadedProcessStatus, SetProgress, void(LONG), 0),
      SLOT(IThreadedProcessStatus, SetStatusText, void(const wchar_t*), 1),
      SLOT(IThreadedProcessStatus, Notify, void(DWORD), 2),
      SLOT(IThreadedProcessStatus, Refresh, void(), 3),
      SLOT(IAbort, IsAborted, bool(), 0),
      SLOT(IAbort, Sleep, bool(DWORD), 1),
      SLOT(IAbort, WaitForObject, bool(HANDLE, DWORD, DWORD*), 2),
      SLOT(IAbort, WaitForObjects, bool(DWORD, const HANDLE*, DWORD, DWORD*), 3),
      SLOT(IThreadedProcess, Start, void(DWORD), 0),
      SLOT(IThreadedProcess, Execute, void(IThreadedProcessStatus*, IAbort*), 1),
      SLOT(IThreadedProcess, Finish, void(DWORD), 2),
      SLOT(IThreadedProcessService, RunProcess,
           bool(IThreadedProcess*, DWORD, DWORD, const wchar_t*), 0),
      SLOT(IRCErrorMgr, Report, void(const HostErrorRecord*), 1),
      SLOT(IErrorMgr, Report, void(const HostErrorRecord*), 1),
      SLOT(ITimebase, GetCurrentTime, ULONGLONG(), 1),
  };
  for (const SlotCase& c : cases) EXPECT_EQ(c.slot, c.expected) << c.operation;
}

// Compiles only while the headers leave a host's own SUCCEEDED and FAILED macros alone.
static_assert(SUCCEEDED(S_OK) && SUCCEEDED(S_FALSE) && FAILED(E_FAIL));

}  // namespace
