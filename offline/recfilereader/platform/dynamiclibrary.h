// A shared library loaded at run time and unloaded when this object ends.
#ifndef RECFILEREADER_PLATFORM_DYNAMICLIBRARY_H
#define RECFILEREADER_PLATFORM_DYNAMICLIBRARY_H

#include <string>

namespace recfilereader {

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary() { Unload(); }
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Loads `path` (a bare name goes through the normal search path). False when it cannot be
  // loaded; error() then says why.
  bool Load(const std::string& path);
  void Unload();
  bool loaded() const { return handle_ != nullptr; }
  // The address of an exported symbol, or null.
  void* Symbol(const char* name) const;
  const std::string& error() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_DYNAMICLIBRARY_H
