// sources, markers and props: the property tables of a recording, listed with every property and
// its type, and the edits of markers and recording or system properties saved into the file.
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <memory>

#include "jsonoutput.h"
#include "recording.h"
#include "verbs.h"

namespace rectool {
namespace {

void PrintProperties(const std::vector<rechost::Property>& properties) {
  for (const auto& p : properties)
    std::printf("  %-26s %-20s %s%s\n", p.name.c_str(), rechost::TypeName(p.type).c_str(),
                rechost::DisplayText(p.value).c_str(), p.read_only() ? "  (read-only)" : "");
}

// Prints a list in the session's form: a document, one line per item, or text.
void Emit(Session& session, const Json& items, void (*print_text)(const Json&)) {
  if (session.options().json) return PrintDocument(items);
  if (session.options().ndjson) {
    for (const auto& item : items) PrintLine(item);
    return;
  }
  for (const auto& item : items) print_text(item);
}

std::pair<std::string, std::string> SplitAssignment(const std::string& assignment) {
  const auto equals = assignment.find('=');
  if (equals == std::string::npos || equals == 0) throw UsageError("expected NAME=VALUE, got \"" + assignment + "\"");
  return {assignment.substr(0, equals), assignment.substr(equals + 1)};
}

void SetFromAssignment(IObjectProperties& table, const std::string& assignment) {
  const auto [name, text] = SplitAssignment(assignment);
  if (!rechost::SetPropertyText(table, name, text)) {
    const auto type = (*rechost::GetProperty(table, name)).vt;
    throw UsageError("\"" + text + "\" does not convert to " + rechost::TypeName(type) + " for property \"" + name + "\"");
  }
}

// Edits are saved into the file: one the user may not write is refused before anything changes.
std::unique_ptr<rechost::Reader> OpenForEditing(Session& session, const std::string& file) {
  session.set_file(file);
  if (access(file.c_str(), F_OK) == 0 && access(file.c_str(), W_OK) != 0)
    throw ToolError(file + ": no write permission; edits are saved into the file");
  return OpenRecording(session, file);
}

struct FileOption {
  std::string file;
};

void ListSources(Session& session, const std::string& file) {
  auto reader = OpenRecording(session, file);
  Json items = Json::array();
  for (const auto& s : ReadSources(*reader))
    items.push_back({{"id", GuidText(s.id)}, {"handle", s.handle ? Json(*s.handle) : Json(nullptr)}, {"class", s.class_name},
                     {"name", s.name}, {"properties", ToJson(s.properties)}});
  Emit(session, items, [](const Json& s) {
    std::printf("source %s %s\n", s["id"].get<std::string>().c_str(), s["name"].get<std::string>().c_str());
    for (const auto& p : s["properties"])
      std::printf("  %-26s %-20s %s%s\n", p["name"].get<std::string>().c_str(), p["type"].get<std::string>().c_str(),
                  p["value"].is_string() ? p["value"].get<std::string>().c_str() : p["value"].dump().c_str(),
                  p["read_only"].get<bool>() ? "  (read-only)" : "");
  });
}

struct MarkerOptions {
  std::string file;
  LONGLONG add_at = 0;
  std::string description;
  LONGLONG delete_at = 0;
  LONGLONG set_at = 0;
  std::string assignment;
};

void PrintMarker(const Json& m) {
  std::printf("marker %" PRId64 "\n", m["timestamp"].get<std::int64_t>());
  for (const auto& p : m["properties"]) {
    const Json& v = p["value"];
    const std::string shown = v.is_string() ? v.get<std::string>() : v.is_object() ? "(" + std::to_string(v["size"].get<std::size_t>()) + " bytes)" : v.dump();
    std::printf("  %-26s %-20s %s\n", p["name"].get<std::string>().c_str(), p["type"].get<std::string>().c_str(), shown.c_str());
  }
}

void ListMarkers(Session& session, const std::string& file) {
  auto reader = OpenRecording(session, file);
  Json items = Json::array();
  for (LONGLONG t : reader->MarkerTimestamps())
    items.push_back({{"timestamp", t}, {"properties", ToJson(rechost::ReadProperties(*reader->MarkerProperties(t)))}});
  Emit(session, items, PrintMarker);
}

struct PropsOptions {
  std::string file;
  bool system = false;
  std::string assignment;
};

void ListProps(Session& session, const PropsOptions& options) {
  auto reader = OpenRecording(session, options.file);
  const auto properties = rechost::ReadProperties(options.system ? *reader->SystemProperties() : *reader->RecordingProperties());
  if (!session.options().json && !session.options().ndjson) return PrintProperties(properties);
  Emit(session, ToJson(properties), nullptr);
}

}  // namespace

void AddSourcesVerb(CLI::App& app, Session& session) {
  auto options = std::make_shared<FileOption>();
  CLI::App& verb = AddVerb(app, session, "sources", "List the sources (devices) with every property and its type",
                           "rectool sources demo.rec --json", true);
  verb.add_option("FILE", options->file, "recording")->required();
  verb.callback([&session, options] { ListSources(session, options->file); });
}

void AddMarkersVerb(CLI::App& app, Session& session) {
  auto options = std::make_shared<MarkerOptions>();
  CLI::App& verb = AddVerb(app, session, "markers", "List markers, or add, delete or change one and save the file",
                           "rectool markers demo.rec add 2500000 --description \"valve opened\"", true);
  verb.add_option("FILE", options->file, "recording")->required();
  verb.require_subcommand(0, 1);
  CLI::App* add = verb.add_subcommand("add", "add a marker (saved into the file)");
  add->add_option("TIMESTAMP", options->add_at, "where")->required();
  add->add_option("--description", options->description, "its description");
  CLI::App* remove = verb.add_subcommand("delete", "delete the marker at TIMESTAMP (saved into the file)");
  remove->add_option("TIMESTAMP", options->delete_at, "which")->required();
  CLI::App* set = verb.add_subcommand("set", "set a property of the marker at TIMESTAMP (saved into the file)");
  set->add_option("TIMESTAMP", options->set_at, "which")->required();
  set->add_option("NAME=VALUE", options->assignment, "the property and its new value")->required();
  verb.callback([&session, options, add, remove, set] {
    if (!add->parsed() && !remove->parsed() && !set->parsed()) return ListMarkers(session, options->file);
    auto reader = OpenForEditing(session, options->file);
    if (add->parsed()) {
      if (!reader->markers().AddMarker(options->add_at))
        throw ToolError(options->file + ": a marker at " + std::to_string(options->add_at) + " exists");
      if (!options->description.empty()) {
        auto table = reader->MarkerProperties(options->add_at);
        SetFromAssignment(*table, "Description=" + options->description);
      }
    } else if (remove->parsed()) {
      if (!reader->markers().DeleteMarker(options->delete_at))
        throw ToolError(options->file + ": no marker at " + std::to_string(options->delete_at));
    } else {
      SetFromAssignment(*reader->MarkerProperties(options->set_at), options->assignment);
    }
    reader->Save();
  });
}

void AddPropsVerb(CLI::App& app, Session& session) {
  auto options = std::make_shared<PropsOptions>();
  CLI::App& verb = AddVerb(app, session, "props", "List recording (or --system) properties, or set one and save the file",
                           "rectool props demo.rec set Description=\"bench run 7\"", true);
  verb.add_option("FILE", options->file, "recording")->required();
  verb.add_flag("--system", options->system, "the system properties instead of the recording's");
  verb.require_subcommand(0, 1);
  CLI::App* set = verb.add_subcommand("set", "set a property (saved into the file)");
  set->add_option("NAME=VALUE", options->assignment, "the property and its new value")->required();
  set->add_flag("--system", options->system, "a system property");
  verb.callback([&session, options, set] {
    if (!set->parsed()) return ListProps(session, *options);
    auto reader = OpenForEditing(session, options->file);
    {
      auto table = options->system ? reader->SystemProperties() : reader->RecordingProperties();
      SetFromAssignment(*table, options->assignment);
    }
    reader->Save();
  });
}

}  // namespace rectool
