// What the two AVI converters share: the temporary file the AVI is written into and read back
// from through one descriptor, and turning a failed AVI or file call into its located exception.
#ifndef RECFILEREADER_PROPERTIES_AVIBLOB_H
#define RECFILEREADER_PROPERTIES_AVIBLOB_H

#include <source_location>
#include <string>

#include "base/location.h"
#include "recfilereader/compat.h"

namespace recfilereader {

// The converter's temporary file, open for reading and writing from construction to
// destruction. The file read back is the one written, whatever happens to the name meanwhile;
// the file itself stays where it is, for its owner to delete.
class AviTempFile {
 public:
  // Opens the file at `path` (UTF-8), creating it when absent. A symbolic link, or anything
  // but a regular file, at that name is refused. Throws exception_rt with the system text,
  // located at `where`.
  AviTempFile(const std::string& path, SourceTag where, std::source_location at = std::source_location::current());
  ~AviTempFile();
  AviTempFile(const AviTempFile&) = delete;
  AviTempFile& operator=(const AviTempFile&) = delete;

  int fd() const { return fd_; }

  // Reads the whole file into `result`, a VT_BLOB in task memory; result's earlier value is
  // released. Throws exception_rt, located at `where`, when the file cannot be sized or read,
  // or the memory cannot be had.
  void ReadToBlob(PROPVARIANT& result, std::source_location at = std::source_location::current()) const;

 private:
  int fd_;
  SourceTag where_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PROPERTIES_AVIBLOB_H
