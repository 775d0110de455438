// What several verbs do with an open recording: open it for the session, read its sources, pick
// packages by time span, source and count, and make an output file that only appears whole.
#ifndef RECTOOL_RECORDING_H
#define RECTOOL_RECORDING_H

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "rechost/rechost.h"
#include "session.h"

namespace rectool {

// Opens `path` for reading; errors name the file.
std::unique_ptr<rechost::Reader> OpenRecording(Session& session, const std::string& path,
                                               ULONG load_flags = kRecordingLoadFull);

struct SourceInfo {
  GUID id{};
  std::optional<std::uint64_t> handle;
  std::string class_name;
  std::string name;
  std::vector<rechost::Property> properties;
};
std::vector<SourceInfo> ReadSources(rechost::Reader& reader);
// Source handle to class name.
std::map<std::uint64_t, std::string> SourceClasses(const std::vector<SourceInfo>& sources);

struct PackageSelection {
  std::optional<std::uint64_t> from;  // first timestamp, through the timestamp jump
  std::optional<std::uint64_t> to;    // timestamps from here on are left out
  bool reverse = false;
  std::optional<std::uint32_t> source;
  std::optional<std::uint64_t> limit;
};
void AddSelectionOptions(CLI::App& verb, PackageSelection& selection);
// Calls `visit` for each selected package, in the selection's order.
void ForEachPackage(Session& session, rechost::Reader& reader, const PackageSelection& selection,
                    const std::function<void(const rechost::Package&)>& visit);

// A file the tool writes that only stays when Commit is called: an error or Ctrl-C removes it.
class PendingFile {
 public:
  // Refuses a path that exists: the tool never overwrites.
  explicit PendingFile(const std::string& path);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  const std::string& path() const { return path_; }
  void Commit() { committed_ = true; }

 private:
  std::string path_;
  bool committed_ = false;
};
void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace rectool

#endif  // RECTOOL_RECORDING_H
