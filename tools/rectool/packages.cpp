// packages, cat and export: the data packages of a recording as a listing, as raw bytes and as
// rows for other programs.
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <memory>

#include "jsonoutput.h"
#include "recording.h"
#include "verbs.h"

namespace rectool {
namespace {

struct ListingOptions {
  std::string file;
  PackageSelection selection;
  bool hex = false;
};

Json PackageJson(const rechost::Package& p, const std::map<std::uint64_t, std::string>& classes) {
  const auto found = classes.find(p.source);
  Json row{{"position", p.position},  {"timestamp", p.timestamp}, {"source", p.source},
           {"class", found == classes.end() ? "" : found->second},  {"size", p.data.size()},
           {"extra_size", p.extra.size()}, {"flags", p.descriptor.PackageFlags}};
  if (p.damaged) row["damage"] = p.damage;
  return row;
}

void PrintPackageLine(const rechost::Package& p, const std::map<std::uint64_t, std::string>& classes, bool hex) {
  if (p.damaged) {
    std::printf("%12" PRIu64 "  damaged: %s\n", p.position, p.damage.c_str());
    return;
  }
  const auto found = classes.find(p.source);
  std::printf("%12" PRIu64 " %16" PRIu64 " %6" PRIu32 " %-10s %8zu %6zu 0x%08" PRIX32 "%s%s\n", p.position, p.timestamp,
              p.source, found == classes.end() ? "-" : found->second.c_str(), p.data.size(), p.extra.size(),
              p.descriptor.PackageFlags, hex ? "  " : "", hex ? Hex(p.data).c_str() : "");
}

void ListPackages(Session& session, const ListingOptions& options) {
  auto reader = OpenRecording(session, options.file);
  const auto classes = SourceClasses(ReadSources(*reader));
  const CommonOptions& common = session.options();
  Json all = Json::array();
  if (!common.json && !common.ndjson)
    std::printf("%12s %16s %6s %-10s %8s %6s %s\n", "POSITION", "TIMESTAMP", "SOURCE", "CLASS", "SIZE", "EXTRA", "FLAGS");
  ForEachPackage(session, *reader, options.selection, [&](const rechost::Package& p) {
    if (!common.json && !common.ndjson) return PrintPackageLine(p, classes, options.hex);
    Json row = PackageJson(p, classes);
    if (options.hex) row["data_hex"] = Hex(p.data);
    if (common.ndjson) return PrintLine(row);
    all.push_back(std::move(row));
  });
  if (common.json) PrintDocument(all);
}

void CatPayloads(Session& session, const ListingOptions& options) {
  if (isatty(STDOUT_FILENO)) throw UsageError("cat writes raw bytes: redirect stdout to a file or a pipe");
  auto reader = OpenRecording(session, options.file);
  ForEachPackage(session, *reader, options.selection, [&](const rechost::Package& p) {
    if (p.damaged) return;
    if (std::fwrite(p.data.data(), 1, p.data.size(), stdout) != p.data.size()) throw ToolError("stdout: write failed");
  });
  if (std::fflush(stdout) != 0) throw ToolError("stdout: write failed");
}

struct ExportOptions {
  std::string file;
  std::string format;
  std::string output;
};

void Export(Session& session, const ExportOptions& options) {
  auto reader = OpenRecording(session, options.file);
  const auto classes = SourceClasses(ReadSources(*reader));
  std::unique_ptr<PendingFile> pending;
  std::ofstream file;
  if (!options.output.empty()) {
    pending = std::make_unique<PendingFile>(options.output);
    file.open(options.output, std::ios::binary);
    if (!file) throw ToolError(options.output + ": cannot be created");
  }
  std::ostream& out = options.output.empty() ? std::cout : file;
  const bool csv = options.format == "csv";
  if (csv) out << "position,timestamp,source,class,size,extra_size,flags,damaged,data_hex,extra_hex\n";
  ForEachPackage(session, *reader, {}, [&](const rechost::Package& p) {
    if (csv) {
      const auto found = classes.find(p.source);
      out << p.position << ',' << p.timestamp << ',' << p.source << ','
          << (found == classes.end() ? "" : found->second) << ',' << p.data.size() << ',' << p.extra.size() << ','
          << p.descriptor.PackageFlags << ',' << (p.damaged ? 1 : 0) << ',' << Hex(p.data) << ',' << Hex(p.extra) << '\n';
    } else {
      Json row = PackageJson(p, classes);
      row["data"] = Base64(p.data);
      row["extra"] = Base64(p.extra);
      out << row.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
    }
  });
  out.flush();
  if (!out) throw ToolError((options.output.empty() ? std::string("stdout") : options.output) + ": write failed");
  session.CheckInterrupted();
  if (pending) pending->Commit();
}

}  // namespace

void AddPackagesVerb(CLI::App& app, Session& session) {
  auto options = std::make_shared<ListingOptions>();
  CLI::App& verb = AddVerb(app, session, "packages", "List data packages: position, timestamp, source, size, flags",
                           "rectool packages demo.rec --from 2000000 --source 2 --limit 10", true);
  verb.add_option("FILE", options->file, "recording")->required();
  AddSelectionOptions(verb, options->selection);
  verb.add_flag("--hex", options->hex, "show each payload in hexadecimal");
  verb.callback([&session, options] { ListPackages(session, *options); });
}

void AddCatVerb(CLI::App& app, Session& session) {
  auto options = std::make_shared<ListingOptions>();
  CLI::App& verb = AddVerb(app, session, "cat", "Write the raw payloads of the selected packages to stdout",
                           "rectool cat demo.rec --source 1 > engine.bin", false);
  verb.add_option("FILE", options->file, "recording")->required();
  AddSelectionOptions(verb, options->selection);
  verb.callback([&session, options] { CatPayloads(session, *options); });
}

void AddExportVerb(CLI::App& app, Session& session) {
  auto options = std::make_shared<ExportOptions>();
  CLI::App& verb = AddVerb(app, session, "export", "One row per package, payload as hex (csv) or base64 (ndjson)",
                           "rectool export demo.rec --format csv -o demo.csv", false);
  verb.add_option("FILE", options->file, "recording")->required();
  verb.add_option("--format", options->format, "csv or ndjson")->required()->check(CLI::IsMember({"csv", "ndjson"}));
  verb.add_option("-o,--output", options->output, "write here instead of stdout (must not exist)");
  verb.callback([&session, options] { Export(session, *options); });
}

}  // namespace rectool
