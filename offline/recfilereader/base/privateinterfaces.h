// Interfaces the reader's own components use to find each other and the host's services.
// They are registered privately: a host's GetInterface never returns them.
#ifndef RECFILEREADER_BASE_PRIVATEINTERFACES_H
#define RECFILEREADER_BASE_PRIVATEINTERFACES_H

#include "recfilereader/base.h"
#include "recfilereader/compat.h"

// The registry's management face ("IPrivInterfaceMgr").
struct IPrivInterfaceMgr {
  virtual void RegisterInterface(const wchar_t* name, void* pointer, bool is_public) = 0;
  // Removes the newest registration of `pointer`; nothing when there is none.
  virtual void UnregisterInterface(void* pointer) = 0;

 protected:
  ~IPrivInterfaceMgr() = default;
};

// The registry's lookup face ("IPrivInterfaceAccess").
struct IPrivInterfaceAccess {
  // The pointer registered under `name`; with `public_only`, only public registrations count.
  virtual void* GetInterface(const wchar_t* name, bool public_only) = 0;

 protected:
  ~IPrivInterfaceAccess() = default;
};

// The last-error holder's writing face ("IPrivSetLastError").
struct IPrivSetLastError {
  // Code 0 stores "No error" whatever the text.
  virtual void SetLastError(LONG code, const wchar_t* text) = 0;

 protected:
  ~IPrivSetLastError() = default;
};

// The host's services as the reader resolved them once, with its fallbacks
// ("IExternalInterfaceAccess").
struct IExternalInterfaceAccess {
  virtual void* GetInterface(const wchar_t* name) = 0;

 protected:
  ~IExternalInterfaceAccess() = default;
};

// Temporary files that live no longer than the reader ("IPrivTempFilesMgr").
struct IPrivTempFilesMgr {
  // Creates an empty file named prefix.<time>.extension in the temporary directory; its path
  // goes to `path` (at least kMaxTempPath characters). False when it cannot be created.
  virtual bool CreateTempFile(const wchar_t* prefix, const wchar_t* extension, wchar_t* path,
                              DWORD capacity) = 0;
  // Deletes a file this manager created; other paths are ignored.
  virtual void DeleteTempFile(const wchar_t* path) = 0;

 protected:
  ~IPrivTempFilesMgr() = default;
};

#endif  // RECFILEREADER_BASE_PRIVATEINTERFACES_H
