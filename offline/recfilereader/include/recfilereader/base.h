// The two interfaces every object handed to a host carries: GetInterface finds the object's
// other interfaces by name, Destroy ends its life. Interfaces carry no reference counts.
#ifndef RECFILEREADER_BASE_H
#define RECFILEREADER_BASE_H

#include "recfilereader/compat.h"

#if defined(RECFILEREADER_BUILDING)
#define RECFILEREADER_API __attribute__((visibility("default")))
#else
#define RECFILEREADER_API
#endif

struct IInterfaceAccess {
  // The interface registered under `name` (exact comparison), or null.
  virtual void* GetInterface(const wchar_t* name) = 0;

 protected:
  ~IInterfaceAccess() = default;
};

struct IObjectDestroy {
  virtual void Destroy() = 0;

 protected:
  ~IObjectDestroy() = default;
};

#endif  // RECFILEREADER_BASE_H
