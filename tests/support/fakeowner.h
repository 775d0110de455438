// A reader's service context for tests of components built with the owner's IInterfaceAccess:
// it hands out the reader's property table (settings by name), a last-error holder, a temporary
// files manager, and an external interface access whose host object has a "Handle" and whose
// error manager records every report, from any thread.
#ifndef RECFILEREADER_TESTS_SUPPORT_FAKEOWNER_H
#define RECFILEREADER_TESTS_SUPPORT_FAKEOWNER_H

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/privateinterfaces.h"
#include "host/tempfilesmgrwrp.h"
#include "platform/propvariantholder.h"
#include "recfilereader/base.h"
#include "recfilereader/hostservices.h"
#include "recfilereader/properties.h"

namespace rectest {

// A free-form property table: names compared exactly, values copied in and out. Readers of
// settings only get them by name, so the table offers no enumeration.
class FakePropertyTable final : public IObjectProperties {
 public:
  LONG GetPropertyCount() override { return 0; }
  bool GetPropertyName(LONG, wchar_t*, LONG) override { return false; }
  bool GetProperty(const wchar_t* name, PROPVARIANT* value) override;
  bool SetProperty(const wchar_t* name, const PROPVARIANT* value) override;
  bool GetPropertyFlags(const wchar_t*, ULONG*) override { return false; }

  void SetUI4(const std::wstring& name, std::uint32_t v) { Set(name, VT_UI4, &PROPVARIANT::ulVal, v); }
  void SetUI8(const std::wstring& name, std::uint64_t v) { Set(name, VT_UI8, &PROPVARIANT::uhVal, v); }
  void SetI4(const std::wstring& name, std::int32_t v) { Set(name, VT_I4, &PROPVARIANT::lVal, v); }
  void SetR8(const std::wstring& name, double v) { Set(name, VT_R8, &PROPVARIANT::dblVal, v); }
  void SetBool(const std::wstring& name, bool v) {
    Set(name, VT_BOOL, &PROPVARIANT::boolVal, v ? VARIANT_TRUE : VARIANT_FALSE);
  }
  void SetText(const std::wstring& name, const std::wstring& v) {  // the table copies the text
    Set(name, VT_LPWSTR, &PROPVARIANT::pwszVal, const_cast<wchar_t*>(v.c_str()));
  }

 private:
  template <class Member, class Value>
  void Set(const std::wstring& name, VARTYPE type, Member PROPVARIANT::*member, Value value) {
    PROPVARIANT v{};
    v.vt = type;
    v.*member = static_cast<Member>(value);
    SetProperty(name.c_str(), &v);
  }

  std::map<std::wstring, recfilereader::PropVariantHolder> values_;
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
  recfilereader::CTempFilesMgrWrp temp_files_{nullptr};  // the reader's "IPrivTempFilesMgr"
  ErrorMgr errors_;
  External external_{*this};
  FakePropertyTable host_properties_;
};

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_SUPPORT_FAKEOWNER_H
