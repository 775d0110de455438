// Creates and destroys readers in a loop through the installed headers and library only.
#include <cstdio>

#include "recfilereader/recfilereader.h"

int main() {
  for (int i = 0; i < 200; ++i) {
    IInterfaceAccess* reader = CreateRecordingReader(nullptr);
    if (reader == nullptr) return 1;
    auto* error = static_cast<IRecordingError*>(reader->GetInterface(L"IRecordingError"));
    auto* memory = static_cast<IExMemoryMgr*>(reader->GetInterface(L"IExMemoryMgr"));
    if (error == nullptr || memory == nullptr || error->GetErrorCode() != 0) return 2;
    void* block = memory->Allocate(128, 0);
    if (block == nullptr) return 3;
    memory->Free(block);
    static_cast<IObjectDestroy*>(reader->GetInterface(L"IObjectDestroy"))->Destroy();
  }
  std::puts("install host: 200 readers created and destroyed");
  return 0;
}
