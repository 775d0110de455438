// extract: a time span of a recording into a new file, written by the reader with a progress bar.
#include <cinttypes>
#include <cstdio>
#include <memory>

#include "jsonoutput.h"
#include "recording.h"
#include "verbs.h"

namespace rectool {
namespace {

struct ExtractOptions {
  std::string file;
  std::uint64_t from = 0;
  std::uint64_t to = 0;
  std::string output;
};

void Extract(Session& session, const ExtractOptions& options) {
  if (options.from >= options.to) throw UsageError("--from must lie before --to");
  PendingFile pending(options.output);
  auto reader = OpenRecording(session, options.file);
  reader->Extract(options.output, options.from, options.to);
  // An interrupt that came after the reader's last look at the abort flag still wins: nothing
  // the user stopped is left behind.
  session.CheckInterrupted();
  pending.Commit();
  if (session.options().json)
    return PrintDocument({{"file", options.file}, {"output", options.output}, {"from", options.from}, {"to", options.to}});
  if (!session.options().quiet)
    std::printf("%s: %" PRIu64 " .. %" PRIu64 " written to %s\n", options.file.c_str(), options.from, options.to,
                options.output.c_str());
}

}  // namespace

void AddExtractVerb(CLI::App& app, Session& session) {
  auto options = std::make_shared<ExtractOptions>();
  CLI::App& verb = AddVerb(app, session, "extract", "Write the packages from --from up to --to into a new recording",
                           "rectool extract demo.rec --from 1000000 --to 2000000 -o part.rec", false);
  verb.add_option("FILE", options->file, "recording")->required();
  verb.add_option("--from", options->from, "first timestamp")->required();
  verb.add_option("--to", options->to, "end of the span (not included)")->required();
  verb.add_option("-o,--output", options->output, "the new recording (must not exist)")->required();
  verb.callback([&session, options] { Extract(session, *options); });
}

}  // namespace rectool
