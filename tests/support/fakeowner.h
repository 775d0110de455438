// A reader's service context for tests of components built with the owner's IInterfaceAccess:
// it hands out the reader's property table (settings by name), a last-error holder, and an
// external interface access whose host object has a "Handle" and whose error manager records
// every report, from any thread.
#ifndef RECFILEREADER_TESTS_SUPPORT_FAKEOWNER_H
#define RECFILEREADER_TESTS_SUPPORT_FAKEOWNER_H

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "frame/privateinterfaces.h"
#include "recfilereader/base.h"
#include "recfilereader/hostservices.h"
#include "recfilereader/properties.h"

namespace rectest {

// A free-form property table: names compared exactly, values copied in and out.
class FakePropertyTable final : public IObjectProperties {
 public:
  FakePropertyTable() = default;
  FakePropertyTable(const FakePropertyTable&) = delete;
  FakePropertyTable& operator=(const FakePropertyTable&) = delete;
  ~FakePropertyTable();

  LONG GetPropertyCount() override { return static_cast<LONG>(values_.size()); }
  bool GetPropertyName(LONG index, wchar_t* buffer, LONG capacity) override;
  bool GetProperty(const wchar_t* name, PROPVARIANT* value) override;
  bool SetProperty(const wchar_t* name, const PROPVARIANT* value) override;
  bool GetPropertyFlags(const wchar_t* name, ULONG* flags) override;

  void SetUI4(const std::wstring& name, std::uint32_t value);
  void SetUI8(const std::wstring& name, std::uint64_t value);
  void SetI4(const std::wstring& name, std::int32_t value);
  void SetR8(const std::wstring& name, double value);
  void SetBool(const std::wstring& name, bool value);
  void SetText(const std::wstring& name, const std::wstring& value);
  void Remove(const std::wstring& name);

 private:
  std::map<std::wstring, PROPVARIANT> values_;
};

struct HostReport {
  DWORD severity;
  DWORD id;
  DWORD host_handle;
  std::wstring text;
};

class FakeOwner final : public IInterfaceAccess {
 public:
  FakeOwner();
  void* GetInterface(const wchar_t* name) override;

  // Cache settings in one call: entry size, memory limit, system limit, transparent, aspect.
  void SetCache(std::uint32_t entry_size, std::uint32_t memory_limit, bool transparent = false,
                double aspect = 0.8, std::uint32_t system_limit = 209'715'200);

  std::vector<HostReport> Reports();
  FakePropertyTable settings;  // the reader's "IObjectProperties"
  const std::uint32_t host_handle = 0x4711;  // the host object's "Handle"

 private:
  struct LastError final : IPrivSetLastError {
    void SetLastError(LONG c, const wchar_t* t) override { code = c; text = t ? t : L""; }
    LONG code = 0;
    std::wstring text;
  };
  struct ErrorMgr final : IExErrorMgr {
    void Reserved() override {}
    void Report(const HostErrorRecord* record) override;
    std::mutex mutex;
    std::vector<HostReport> reports;
  };
  struct External final : IExternalInterfaceAccess {
    explicit External(FakeOwner& o) : owner(o) {}
    void* GetInterface(const wchar_t* name) override;
    FakeOwner& owner;
  };

  LastError last_error_;
  ErrorMgr errors_;
  External external_{*this};
  FakePropertyTable host_properties_;
};

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_SUPPORT_FAKEOWNER_H
