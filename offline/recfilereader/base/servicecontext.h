// What every component of a reader holds to reach the others: an IInterfaceAccess that answers
// from the reader's registry, private entries included, plus the reader's property table and
// last error, looked up once.
#ifndef RECFILEREADER_BASE_SERVICECONTEXT_H
#define RECFILEREADER_BASE_SERVICECONTEXT_H

#include "base/privateinterfaces.h"
#include "base/directpropaccess.h"

struct IObjectProperties;

namespace recfilereader {

class CServiceContext final : public IInterfaceAccess {
 public:
  explicit CServiceContext(IPrivInterfaceAccess& registry) : registry_(registry) {}
  CServiceContext(const CServiceContext&) = delete;
  CServiceContext& operator=(const CServiceContext&) = delete;

  void* GetInterface(const wchar_t* name) override { return registry_.GetInterface(name, false); }

  // Looks the reader's own services up, once they are registered.
  void Bind();

  IObjectProperties* properties() const { return properties_; }
  IDirectPropAccess* direct_properties() const { return direct_properties_; }
  IPrivSetLastError* last_error() const { return last_error_; }

 private:
  IPrivInterfaceAccess& registry_;
  IObjectProperties* properties_ = nullptr;
  IDirectPropAccess* direct_properties_ = nullptr;
  IPrivSetLastError* last_error_ = nullptr;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_BASE_SERVICECONTEXT_H
