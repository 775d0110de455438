// A host for tests: offers any subset of the host services by name and records every
// HostErrorRecord its error manager receives.
#ifndef RECFILEREADER_TESTS_SUPPORT_FAKEHOST_H
#define RECFILEREADER_TESTS_SUPPORT_FAKEHOST_H

#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "recfilereader/base.h"
#include "recfilereader/hostservices.h"
#include "recfilereader/properties.h"

namespace rectest {

// Memory from malloc; tests only compare its address with what the reader hands out.
class FakeMemoryMgr final : public IRCMemoryMgr {
 public:
  void* Allocate(std::size_t size, DWORD) override { return std::malloc(size == 0 ? 1 : size); }
  void* Reallocate(void* block, std::size_t size) override { return std::realloc(block, size); }
  void Free(void* block) override { std::free(block); }
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
  // The reader only asks for "Handle" by name.
  LONG GetPropertyCount() override { return 0; }
  bool GetPropertyName(LONG, wchar_t*, LONG) override { return false; }
  bool GetProperty(const wchar_t* name, PROPVARIANT* value) override;
  bool SetProperty(const wchar_t*, const PROPVARIANT*) override { return false; }
  bool GetPropertyFlags(const wchar_t*, ULONG*) override { return false; }
  PROPVARIANT handle{};
};

// Tests only compare its address with the service the reader hands out.
class FakeThreadedProcessService final : public IThreadedProcessService {
 public:
  bool RunProcess(IThreadedProcess*, DWORD, DWORD, const wchar_t*) override { return false; }
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
