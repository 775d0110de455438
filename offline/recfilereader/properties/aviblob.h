// What the two AVI converters share: turning a failed AVI or file call into its located
// exception, and reading the finished AVI file back into a VT_BLOB value.
#ifndef RECFILEREADER_PROPERTIES_AVIBLOB_H
#define RECFILEREADER_PROPERTIES_AVIBLOB_H

#include <source_location>
#include <string>

#include "base/location.h"
#include "recfilereader/compat.h"

namespace recfilereader {

// Reads the whole file at `path` (UTF-8) into `result`, a VT_BLOB in task memory; result's
// earlier value is released. Throws exception_rt, located at `where`, when the file cannot be
// opened, sized or read, or the memory cannot be had. The file stays where it is.
void ReadFileToBlob(const std::string& path, PROPVARIANT& result, SourceTag where,
                    std::source_location at = std::source_location::current());

}  // namespace recfilereader

#endif  // RECFILEREADER_PROPERTIES_AVIBLOB_H
