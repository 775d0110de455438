// A small host: creates a reader, prints the interfaces it hands out and destroys it.
#include <cstdio>

#include "recfilereader/recfilereader.h"

int main() {
  IInterfaceAccess* reader = CreateRecordingReader(nullptr);
  if (reader == nullptr) {
    std::fprintf(stderr, "CreateRecordingReader failed\n");
    return 1;
  }
  auto* destroy = static_cast<IObjectDestroy*>(reader->GetInterface(L"IObjectDestroy"));
  if (destroy != nullptr) destroy->Destroy();
  return 0;
}
