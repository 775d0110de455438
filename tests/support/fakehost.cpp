#include "recfilereader/propvariant.h"
#include "support/fakehost.h"

#include <cwchar>

namespace rectest {

bool FakeHostProperties::GetProperty(const wchar_t* name, PROPVARIANT* value) {
  if (name == nullptr || std::wcscmp(name, L"Handle") != 0 || handle.vt == VT_EMPTY) return false;
  PropVariantClear(value);
  return PropVariantCopy(value, &handle) == S_OK;
}

void* FakeHost::GetInterface(const wchar_t* name) {
  if (name == nullptr) return nullptr;
  const std::wstring wanted = name;
  asked.push_back(wanted);
  if (!offered_.contains(wanted)) return nullptr;
  if (wanted == L"IRCMemoryMgr") return static_cast<IRCMemoryMgr*>(&memory);
  if (wanted == L"IExMemoryMgr") return static_cast<IExMemoryMgr*>(&memory);
  if (wanted == L"IRCErrorMgr") return static_cast<IRCErrorMgr*>(&errors);
  if (wanted == L"IExErrorMgr") return static_cast<IExErrorMgr*>(&errors);
  if (wanted == L"ITimebase") return static_cast<ITimebase*>(&timebase);
  if (wanted == L"IObjectProperties") return static_cast<IObjectProperties*>(&properties);
  if (wanted == L"IRCThreadProcSvc" || wanted == L"IThreadedProcessService")
    return static_cast<IThreadedProcessService*>(&processes);
  return nullptr;
}

}  // namespace rectest
