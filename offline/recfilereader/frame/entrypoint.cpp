#include <new>

#include "frame/recfilereader.h"
#include "recfilereader/recfilereader.h"

extern "C" RECFILEREADER_API IInterfaceAccess* CreateRecordingReader(IInterfaceAccess* host) {
  try {
    auto* reader = new (std::nothrow) recfilereader::CRecFileReader(host);
    return reader != nullptr ? static_cast<IInterfaceAccess*>(reader) : nullptr;
  } catch (...) {
    return nullptr;
  }
}
