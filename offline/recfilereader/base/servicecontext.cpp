#include "base/servicecontext.h"

namespace recfilereader {

void CServiceContext::Bind() {
  properties_ = static_cast<IObjectProperties*>(GetInterface(L"IObjectProperties"));
  direct_properties_ = static_cast<IDirectPropAccess*>(GetInterface(L"IDirectPropAccess"));
  last_error_ = static_cast<IPrivSetLastError*>(GetInterface(L"IPrivSetLastError"));
}

}  // namespace recfilereader
