#include "recfilereader/recfilereader.h"

extern "C" RECFILEREADER_API IInterfaceAccess* CreateRecordingReader(IInterfaceAccess* /*host*/) {
  return nullptr;
}
