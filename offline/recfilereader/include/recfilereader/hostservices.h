// The services a host may offer to the reader, each found by name through the host's
// IInterfaceAccess and each optional, and the record handed to the host's error manager.
#ifndef RECFILEREADER_HOSTSERVICES_H
#define RECFILEREADER_HOSTSERVICES_H

#include <cstddef>

#include "recfilereader/base.h"
#include "recfilereader/compat.h"

// Memory manager ("IRCMemoryMgr", "IExMemoryMgr"). Data handed to the host is allocated here.
struct IExMemoryMgr {
  // A block of `size` bytes, or null. The second word is the host's; the reader passes 0.
  virtual void* Allocate(std::size_t size, DWORD flags) = 0;
  // Resizes `block` (null: allocates); the new address or null.
  virtual void* Reallocate(void* block, std::size_t size) = 0;
  virtual void Free(void* block) = 0;

 protected:
  ~IExMemoryMgr() = default;
};
struct IRCMemoryMgr : IExMemoryMgr {
 protected:
  ~IRCMemoryMgr() = default;
};

// Reference counts on blocks of the memory manager.
struct IMemoryLock {
  virtual void Lock(void* block) = 0;
  virtual void Unlock(void* block) = 0;
  // True when the block is known and more than one holder has it.
  virtual bool IsShared(void* block) = 0;

 protected:
  ~IMemoryLock() = default;
};
struct IRCMemoryLock : IMemoryLock {
 protected:
  ~IRCMemoryLock() = default;
};

// Progress sink of a threaded process.
struct IThreadedProcessStatus {
  // Progress as an integer; the reader's processes pass the completed fraction times 5000.
  virtual void SetProgress(LONG progress) = 0;
  virtual void SetStatusText(const wchar_t* text) = 0;
  // Two further notifications whose meaning is the host's; the reader does not call them.
  virtual void Notify(DWORD value) = 0;
  virtual void Refresh() = 0;

 protected:
  ~IThreadedProcessStatus() = default;
};

// Abort source of a threaded process.
struct IAbort {
  // True when the user asked to abort.
  virtual bool IsAborted() = 0;
  // Sleeps `milliseconds`; false when the sleep was cut short by an abort.
  virtual bool Sleep(DWORD milliseconds) = 0;
  // Waits for one handle; `result` receives WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
  virtual bool WaitForObject(HANDLE handle, DWORD milliseconds, DWORD* result) = 0;
  // Waits until any handle is signalled; `result` receives WAIT_OBJECT_0 + its index,
  // WAIT_TIMEOUT or WAIT_FAILED.
  virtual bool WaitForObjects(DWORD count, const HANDLE* handles, DWORD milliseconds,
                              DWORD* result) = 0;

 protected:
  ~IAbort() = default;
};

// A long piece of work (opening, extracting, repairing) run by a threaded-process service.
struct IThreadedProcess {
  virtual void Start(DWORD value) = 0;
  virtual void Execute(IThreadedProcessStatus* status, IAbort* abort) = 0;
  // `discard` non-zero: throw away what the process produced.
  virtual void Finish(DWORD discard) = 0;

 protected:
  ~IThreadedProcess() = default;
};

// Threaded-process service ("IRCThreadProcSvc", "IThreadedProcessService"). RunProcess returns
// once the process has finished or was aborted.
struct IThreadedProcessService {
  virtual bool RunProcess(IThreadedProcess* process, DWORD options, DWORD flags,
                          const wchar_t* caption) = 0;

 protected:
  ~IThreadedProcessService() = default;
};

// The record a host's error manager receives. Texts are wide characters of this platform.
struct HostErrorRecord {
  // ((id AND 0x1FFF) OR (severity << 13)) << 16: bits 16-28 the id, 29-31 the severity.
  DWORD Code;
  DWORD Reserved;        // 0
  DWORD HostHandle;      // the host object's "Handle" property, 0 when there is none
  wchar_t Text[1024];    // at most 1,023 characters, terminated
  DWORD Padding;
  ULONGLONG HostTime;    // the host time base's time, 0 without one
  SYSTEMTIME LocalTime;  // when the record was made
  DWORD One;             // 1
};
static_assert(offsetof(HostErrorRecord, Code) == 0);
static_assert(offsetof(HostErrorRecord, Reserved) == 4);
static_assert(offsetof(HostErrorRecord, HostHandle) == 8);
static_assert(offsetof(HostErrorRecord, Text) == 12);
static_assert(offsetof(HostErrorRecord, Padding) == 12 + 1024 * sizeof(wchar_t));
static_assert(offsetof(HostErrorRecord, HostTime) == 16 + 1024 * sizeof(wchar_t));
static_assert(offsetof(HostErrorRecord, LocalTime) == 24 + 1024 * sizeof(wchar_t));
static_assert(offsetof(HostErrorRecord, One) == 40 + 1024 * sizeof(wchar_t));

// Error manager ("IRCErrorMgr", "IExErrorMgr"; "IErrorMgr" has the same shape).
struct IExErrorMgr {
  // Not called by the reader.
  virtual void Reserved() = 0;
  virtual void Report(const HostErrorRecord* record) = 0;

 protected:
  ~IExErrorMgr() = default;
};
struct IRCErrorMgr : IExErrorMgr {
 protected:
  ~IRCErrorMgr() = default;
};
struct IErrorMgr {
  virtual void Reserved() = 0;
  virtual void Report(const HostErrorRecord* record) = 0;

 protected:
  ~IErrorMgr() = default;
};

// Time base ("ITimebase").
struct ITimebase {
  // Not called by the reader.
  virtual void Reserved() = 0;
  virtual ULONGLONG GetCurrentTime() = 0;

 protected:
  ~ITimebase() = default;
};

#endif  // RECFILEREADER_HOSTSERVICES_H
