// The file's signature and version, read from its first blocks. The reader takes both in when
// it opens a file but hands neither out, and `info` shows them.
#ifndef RECTOOL_FILEHEADER_H
#define RECTOOL_FILEHEADER_H

#include <optional>
#include <string>

namespace rectool {

struct FileHeader {
  std::string format_id;    // the 16-byte format identifier as a GUID text
  std::string format_name;  // "first", "second", "third" or "unknown"
  std::string version;      // "1.0", "2.0", "2.1" or "unknown"
};

// Nothing when the file does not start with a file header block.
std::optional<FileHeader> ReadFileHeader(const std::string& path);

}  // namespace rectool

#endif  // RECTOOL_FILEHEADER_H
