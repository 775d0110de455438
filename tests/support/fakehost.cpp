#include "recfilereader/propvariant.h"
#include "support/fakehost.h"

#include <cstdlib>
#include <cwchar>

namespace rectest {

void* FakeMemoryMgr::Allocate(std::size_t size, DWORD) {
  void* block = std::malloc(size == 0 ? 1 : size);
  ++allocations;
  live.insert(block);
  return block;
}

void* FakeMemoryMgr::Reallocate(void* block, std::size_t size) {
  if (block == nullptr) return Allocate(size, 0);
  live.erase(block);
  void* moved = std::realloc(block, size);
  live.insert(moved);
  return moved;
}

void FakeMemoryMgr::Free(void* block) {
  ++frees;
  live.erase(block);
  std::free(block);
}

bool FakeHostProperties::GetPropertyName(LONG index, wchar_t* buffer, LONG capacity) {
  if (index != 0 || buffer == nullptr || capacity < 7) return false;
  std::wcscpy(buffer, L"Handle");
  return true;
}

bool FakeHostProperties::GetProperty(const wchar_t* name, PROPVARIANT* value) {
  if (name == nullptr || std::wcscmp(name, L"Handle") != 0 || handle.vt == VT_EMPTY) return false;
  PropVariantClear(value);
  return PropVariantCopy(value, &handle) == S_OK;
}

bool FakeThreadedProcessService::RunProcess(IThreadedProcess* process, DWORD, DWORD, const wchar_t* caption) {
  ++runs;
  captions.emplace_back(caption ? caption : L"");
  process->Start(0);
  process->Execute(this, this);
  process->Finish(0);
  return true;
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
