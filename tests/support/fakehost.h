// A host for tests: offers any subset of the host services by name and records every
// HostErrorRecord its error manager receives.
#ifndef RECFILEREADER_TESTS_SUPPORT_FAKEHOST_H
#define RECFILEREADER_TESTS_SUPPORT_FAKEHOST_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "recfilereader/base.h"
#include "recfilereader/hostservices.h"
#include "recfilereader/properties.h"

namespace rectest {

class FakeMemoryMgr final : public IRCMemoryMgr {
 public:
  void* Allocate(std::size_t size, DWORD flags) override;
  void* Reallocate(void* block, std::size_t size) override;
  void Free(void* block) override;
  int allocations = 0;
  int frees = 0;
  std::set<void*> live;
};

class FakeErrorMgr final : public IRCErrorMgr {
 public:
  void Reserved() override {}
  void Report(const HostErrorRecord* record) override { records.push_back(*record); }
  std::vector<HostErrorRecord> records;
};

class FakeTimebase final : public ITimebase {
 public:
  void Reserved() override {}
  ULONGLONG GetCurrentTime() override { return now; }
  ULONGLONG now = 0x0123456789ABCDEFull;
};

// Host object properties holding just "Handle".
class FakeHostProperties final : public IObjectProperties {
 public:
  LONG GetPropertyCount() override { return 1; }
  bool GetPropertyName(LONG index, wchar_t* buffer, LONG capacity) override;
  bool GetProperty(const wchar_t* name, PROPVARIANT* value) override;
  bool SetProperty(const wchar_t*, const PROPVARIANT*) override { return false; }
  bool GetPropertyFlags(const wchar_t*, ULONG* flags) override { *flags = 1; return true; }
  PROPVARIANT handle{};
};

class FakeThreadedProcessService final : public IThreadedProcessService, public IThreadedProcessStatus,
                                         public IAbort {
 public:
  bool RunProcess(IThreadedProcess* process, DWORD options, DWORD flags, const wchar_t* caption) override;
  void SetProgress(LONG progress) override { progress_values.push_back(progress); }
  void SetStatusText(const wchar_t* text) override { status_texts.emplace_back(text ? text : L""); }
  void Notify(DWORD) override {}
  void Refresh() override {}
  bool IsAborted() override { return abort_now; }
  bool Sleep(DWORD) override { return !abort_now; }
  bool WaitForObject(HANDLE, DWORD, DWORD* result) override { *result = WAIT_TIMEOUT; return true; }
  bool WaitForObjects(DWORD, const HANDLE*, DWORD, DWORD* result) override { *result = WAIT_TIMEOUT; return true; }
  int runs = 0;
  bool abort_now = false;
  std::vector<std::wstring> captions;
  std::vector<LONG> progress_values;
  std::vector<std::wstring> status_texts;
};

class FakeHost final : public IInterfaceAccess {
 public:
  // Names of the services offered; the default offers none.
  explicit FakeHost(std::set<std::wstring> offered = {}) : offered_(std::move(offered)) {}
  void* GetInterface(const wchar_t* name) override;

  std::vector<std::wstring> asked;
  FakeMemoryMgr memory;
  FakeErrorMgr errors;
  FakeTimebase timebase;
  FakeHostProperties properties;
  FakeThreadedProcessService processes;

 private:
  std::set<std::wstring> offered_;
};

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_SUPPORT_FAKEHOST_H
