#include "recording.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "rechost/progressbar.h"

namespace rectool {

std::unique_ptr<rechost::Reader> OpenRecording(Session& session, const std::string& path, ULONG load_flags) {
  session.set_file(path);
  auto reader = std::make_unique<rechost::Reader>(session.host());
  reader->Open(path, load_flags);
  session.CheckInterrupted();
  return reader;
}

std::vector<SourceInfo> ReadSources(rechost::Reader& reader) {
  std::vector<SourceInfo> sources;
  for (const GUID& id : reader.SourceIds()) {
    SourceInfo source;
    source.id = id;
    auto table = reader.SourceProperties(id);
    source.properties = rechost::ReadProperties(*table);
    for (const auto& p : source.properties) {
      using Kind = rechost::Value::Kind;
      if (p.name == "Handle" && p.value.kind == Kind::kUnsigned) source.handle = p.value.unsigned_integer;
      if (p.name == "Handle" && p.value.kind == Kind::kInteger) source.handle = static_cast<std::uint64_t>(p.value.integer);
      if (p.name == "Class") source.class_name = p.value.text;
      if (p.name == "Name") source.name = p.value.text;
    }
    sources.push_back(std::move(source));
  }
  return sources;
}

std::map<std::uint64_t, std::string> SourceClasses(const std::vector<SourceInfo>& sources) {
  std::map<std::uint64_t, std::string> classes;
  for (const auto& s : sources)
    if (s.handle) classes[*s.handle] = s.class_name;
  return classes;
}

void AddSelectionOptions(CLI::App& verb, PackageSelection& selection) {
  verb.add_option("--from", selection.from, "first timestamp (the cursor jumps there through the navigation table)");
  verb.add_option("--to", selection.to, "timestamps from this one on are left out");
  verb.add_flag("--reverse", selection.reverse, "walk backward from the end of the span");
  verb.add_option("--source", selection.source, "only packages of this source handle");
  verb.add_option("--limit", selection.limit, "at most this many packages");
}

namespace {

// The cursor at the start of the walk: a jump lands on the first package at or after a timestamp,
// and one past the span puts the cursor behind the last package.
void PlaceCursor(rechost::Reader& reader, const PackageSelection& selection) {
  const ULONGLONG begin = reader.BeginTimestamp();
  const ULONGLONG end = reader.EndTimestamp();
  auto clamp = [&](ULONGLONG t) { return t < begin ? begin : (t > end ? end : t); };
  if (selection.reverse) {
    reader.JumpTo(selection.to ? clamp(*selection.to) : end);
  } else if (selection.from && *selection.from > begin) {
    reader.JumpTo(clamp(*selection.from));
  }
}

// A walk over many packages shows how far it got, by timestamp, once it has run for a second.
class WalkProgress {
 public:
  WalkProgress(std::FILE* stream, ULONGLONG begin, ULONGLONG end)
      : bar_(stream, "Reading packages"), shown_(stream != nullptr), begin_(begin), end_(end) {}
  ~WalkProgress() { bar_.Erase(); }
  void At(ULONGLONG timestamp) {
    if (!shown_ || ++calls_ % 256 != 0 || end_ <= begin_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - started_ < std::chrono::seconds(1) || now - drawn_ < std::chrono::milliseconds(100)) return;
    const double fraction = timestamp < begin_ ? 0 : static_cast<double>(timestamp - begin_) / static_cast<double>(end_ - begin_);
    bar_.SetProgress(static_cast<LONG>(fraction * rechost::kProgressScale));
    bar_.Draw();
    drawn_ = now;
  }

 private:
  rechost::ProgressBar bar_;
  bool shown_;
  ULONGLONG begin_, end_;
  std::uint64_t calls_ = 0;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point drawn_{};
};

}  // namespace

void ForEachPackage(Session& session, rechost::Reader& reader, const PackageSelection& selection,
                    const std::function<void(const rechost::Package&)>& visit) {
  if (selection.from && selection.to && *selection.from >= *selection.to) return;
  PlaceCursor(reader, selection);
  std::uint64_t given = 0;
  rechost::PackageCursor cursor(reader, selection.reverse ? kReadBackward : kReadForward);
  WalkProgress progress(session.progress_stream(), reader.BeginTimestamp(), reader.EndTimestamp());
  while (!selection.limit || given < *selection.limit) {
    session.CheckInterrupted();
    const auto package = cursor.Next();
    if (!package) break;
    progress.At(package->timestamp);
    // Damaged stretches carry no timestamp of their own: they are shown wherever they are met.
    if (!package->damaged) {
      if (!selection.reverse && selection.to && package->timestamp >= *selection.to) break;
      if (selection.reverse && selection.from && package->timestamp < *selection.from) break;
      if (selection.reverse && selection.to && package->timestamp >= *selection.to) continue;
    }
    if (selection.source && package->source != *selection.source) continue;
    visit(*package);
    ++given;
  }
}

PendingFile::PendingFile(const std::string& path) : path_(path) {
  std::error_code error;
  if (std::filesystem::exists(std::filesystem::symlink_status(path, error)))
    throw ToolError(path + ": exists; rectool does not overwrite files");
}

PendingFile::~PendingFile() {
  if (committed_) return;
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) throw ToolError(path + ": " + std::strerror(errno));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      const int error = errno;
      close(fd);
      throw ToolError(path + ": " + std::strerror(error));
    }
    done += static_cast<std::size_t>(written);
  }
  if (close(fd) != 0) throw ToolError(path + ": " + std::strerror(errno));
}

}  // namespace rectool
