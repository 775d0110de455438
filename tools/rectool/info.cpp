// info: what a recording holds, one block per file.
#include <sys/stat.h>

#include <cinttypes>
#include <cstdio>
#include <map>
#include <memory>

#include "fileheader.h"
#include "jsonoutput.h"
#include "recording.h"
#include "verbs.h"

namespace rectool {
namespace {

Json Summarize(Session& session, const std::string& path) {
  session.set_file(path);
  Json info;
  info["file"] = path;
  struct stat status {};
  info["size"] = stat(path.c_str(), &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
  const auto header = ReadFileHeader(path);
  info["version"] = header ? header->version : "unknown";
  info["format_id"] = header ? header->format_id : "";
  info["format"] = header ? header->format_name : "unknown";
  auto reader = OpenRecording(session, path);
  const ULONGLONG begin = reader->BeginTimestamp(), end = reader->EndTimestamp();
  info["begin"] = begin;
  info["end"] = end;
  info["duration"] = end - begin;
  const auto sources = ReadSources(*reader);
  const auto classes = SourceClasses(sources);
  std::uint64_t packages = 0, damaged = 0;
  std::map<std::uint64_t, std::uint64_t> per_source;
  ForEachPackage(session, *reader, {}, [&](const rechost::Package& p) {
    ++packages;
    if (p.damaged) ++damaged;
    else ++per_source[p.source];
  });
  info["packages"] = packages;
  info["damaged_packages"] = damaged;
  Json counts = Json::array();
  for (const auto& [handle, count] : per_source) {
    const auto found = classes.find(handle);
    counts.push_back({{"source", handle}, {"class", found == classes.end() ? "" : found->second}, {"packages", count}});
  }
  info["packages_per_source"] = counts;
  Json source_list = Json::array();
  for (const auto& s : sources)
    source_list.push_back({{"id", GuidText(s.id)}, {"handle", s.handle ? Json(*s.handle) : Json(nullptr)},
                           {"class", s.class_name}, {"name", s.name}});
  info["sources"] = source_list;
  Json markers = Json::array();
  for (LONGLONG t : reader->MarkerTimestamps()) {
    auto table = reader->MarkerProperties(t);
    const auto description = rechost::ToValue(*rechost::GetProperty(*table, "Description"));
    markers.push_back({{"timestamp", t}, {"description", description.text}});
  }
  info["markers"] = markers;
  info["properties"] = ToJson(rechost::ReadProperties(*reader->RecordingProperties()));
  return info;
}

void PrintText(const Json& info) {
  std::printf("%s\n", info["file"].get<std::string>().c_str());
  std::printf("  version     %s (%s format identifier %s)\n", info["version"].get<std::string>().c_str(),
              info["format"].get<std::string>().c_str(), info["format_id"].get<std::string>().c_str());
  std::printf("  size        %" PRIu64 " bytes\n", info["size"].get<std::uint64_t>());
  std::printf("  span        %" PRIu64 " .. %" PRIu64 " (duration %" PRIu64 ")\n", info["begin"].get<std::uint64_t>(),
              info["end"].get<std::uint64_t>(), info["duration"].get<std::uint64_t>());
  std::printf("  packages    %" PRIu64, info["packages"].get<std::uint64_t>());
  if (info["damaged_packages"].get<std::uint64_t>() != 0)
    std::printf(" (%" PRIu64 " damaged)", info["damaged_packages"].get<std::uint64_t>());
  std::printf("\n");
  for (const auto& c : info["packages_per_source"])
    std::printf("    source %-4" PRIu64 " %-12s %" PRIu64 "\n", c["source"].get<std::uint64_t>(),
                c["class"].get<std::string>().c_str(), c["packages"].get<std::uint64_t>());
  std::printf("  sources     %zu\n", info["sources"].size());
  for (const auto& s : info["sources"])
    std::printf("    %-4s %-12s %s\n", s["handle"].is_null() ? "-" : std::to_string(s["handle"].get<std::uint64_t>()).c_str(),
                s["class"].get<std::string>().c_str(), s["name"].get<std::string>().c_str());
  std::printf("  markers     %zu\n", info["markers"].size());
  for (const auto& m : info["markers"])
    std::printf("    %-12" PRId64 " %s\n", m["timestamp"].get<std::int64_t>(), m["description"].get<std::string>().c_str());
  std::printf("  properties  %zu\n", info["properties"].size());
  for (const auto& p : info["properties"]) {
    const Json& v = p["value"];
    const std::string shown = v.is_string() ? v.get<std::string>() : v.is_object() ? "(" + std::to_string(v["size"].get<std::size_t>()) + " bytes)" : v.dump();
    std::printf("    %-24s %-12s %s\n", p["name"].get<std::string>().c_str(), p["type"].get<std::string>().c_str(), shown.c_str());
  }
}

}  // namespace

void AddInfoVerb(CLI::App& app, Session& session) {
  auto files = std::make_shared<std::vector<std::string>>();
  CLI::App& verb = AddVerb(app, session, "info", "Show a recording's version, span, packages, sources, markers and properties",
                           "rectool info demo.rec other.rec", false);
  verb.add_option("FILE", *files, "recordings")->required();
  verb.callback([&session, files] {
    Json all = Json::array();
    for (std::size_t i = 0; i < files->size(); ++i) {
      Json info = Summarize(session, (*files)[i]);
      if (!session.options().json) {
        if (i > 0) std::printf("\n");
        PrintText(info);
        std::fflush(stdout);
      }
      all.push_back(std::move(info));
    }
    if (session.options().json) PrintDocument(files->size() == 1 ? all[0] : all);
  });
}

}  // namespace rectool
