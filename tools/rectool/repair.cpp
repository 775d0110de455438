// repair: the reader rewrites the tail of a recording from what a scan of its blocks finds,
// either in a copy (the original stays as it was) or in place. What the scan could not read is
// dropped; the reader tells each such loss as a message, and the tool counts the packages that
// the repaired file holds.
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "jsonoutput.h"
#include "recording.h"
#include "verbs.h"

namespace rectool {
namespace {

struct RepairOptions {
  std::string file;
  std::string output;
  bool in_place = false;
};

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }
bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Each step of the scan reports "...OK" when it read what it met; the others tell a loss.
std::vector<std::string> Losses(const std::vector<rechost::HostMessage>& messages) {
  std::vector<std::string> losses;
  for (const auto& m : messages) {
    if (EndsWith(m.text, "OK") || StartsWith(m.text, "Starting repairing") || EndsWith(m.text, "was repaired successfully"))
      continue;
    losses.push_back(m.text);
  }
  return losses;
}

void Repair(Session& session, const RepairOptions& options) {
  if (options.in_place == !options.output.empty()) throw UsageError("give either -o OUT or --in-place");
  session.set_file(options.file);
  std::unique_ptr<PendingFile> pending;
  std::string target = options.file;
  if (!options.in_place) {
    pending = std::make_unique<PendingFile>(options.output);
    std::error_code error;
    std::filesystem::copy_file(options.file, options.output, error);
    if (error) throw ToolError(options.file + ": cannot be copied to " + options.output + ": " + error.message());
    target = options.output;
  }
  rechost::HostServices& host = session.host();
  host.messages().Mark();
  {
    rechost::Reader reader(host);
    session.set_file(target);
    reader.Repair(target);
  }
  const auto losses = Losses(host.messages().Collected());
  session.CheckInterrupted();
  auto reader = OpenRecording(session, target);
  std::uint64_t packages = 0, damaged = 0;
  ForEachPackage(session, *reader, {}, [&](const rechost::Package& p) {
    ++packages;
    if (p.damaged) ++damaged;
  });
  if (pending) pending->Commit();
  if (!losses.empty() || damaged != 0) session.set_exit(kExitDamage);
  if (session.options().json) {
    return PrintDocument({{"file", options.file}, {"output", target}, {"packages", packages}, {"damaged_packages", damaged},
                          {"begin", reader->BeginTimestamp()}, {"end", reader->EndTimestamp()},
                          {"dropped", !losses.empty()}, {"losses", losses}});
  }
  std::printf("%s: repaired into %s: %" PRIu64 " packages recovered, span %" PRIu64 " .. %" PRIu64 "\n",
              options.file.c_str(), target.c_str(), packages, reader->BeginTimestamp(), reader->EndTimestamp());
  if (losses.empty()) std::printf("  nothing was dropped\n");
  for (const auto& loss : losses) std::printf("  dropped: %s\n", loss.c_str());
}

}  // namespace

void AddRepairVerb(CLI::App& app, Session& session) {
  auto options = std::make_shared<RepairOptions>();
  CLI::App& verb = AddVerb(app, session, "repair", "Rebuild the tail of a damaged recording; exit 3 when data was dropped",
                           "rectool repair broken.rec -o fixed.rec", false);
  verb.add_option("FILE", options->file, "recording")->required();
  verb.add_option("-o,--output", options->output, "repair a copy written here (must not exist)");
  verb.add_flag("--in-place", options->in_place, "repair the file itself");
  verb.callback([&session, options] { Repair(session, *options); });
}

}  // namespace rectool
