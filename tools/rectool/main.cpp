// rectool: inspect, walk, edit, cut and repair recordings from the command line.
#include <cstdio>
#include <string>

#include <CLI/CLI.hpp>

#include "session.h"
#include "verbs.h"

namespace rectool {

CLI::App& AddVerb(CLI::App& app, Session& session, const char* name, const char* description, const char* example,
                  bool lists) {
  CLI::App& verb = *app.add_subcommand(name, description);
  verb.footer(std::string("Example:\n  ") + example);
  CommonOptions& common = session.options();
  auto* json = verb.add_flag("--json", common.json, "print one JSON document");
  if (lists) verb.add_flag("--ndjson", common.ndjson, "print one JSON object per line")->excludes(json);
  verb.add_flag("-q,--quiet", common.quiet, "no progress bar, no summary lines");
  verb.add_flag("-v,--verbose", common.verbose, "print the reader's information messages too");
  return verb;
}

namespace {

void PrintError(const Session& session, const std::string& text) {
  if (session.file().empty()) std::fprintf(stderr, "rectool: %s\n", text.c_str());
  else std::fprintf(stderr, "rectool: %s: %s\n", session.file().c_str(), text.c_str());
}

bool IsVerb(CLI::App& app, const std::string& name) {
  try {
    app.get_subcommand(name);
    return true;
  } catch (const CLI::OptionNotFound&) {
    return false;
  }
}

int Run(int argc, char** argv) {
  Session session;
  CLI::App app{"rectool: inspect, walk, edit, cut and repair REC recordings", "rectool"};
  app.require_subcommand(1);
  app.footer("Run `rectool VERB --help` for a verb's options and an example.\n"
             "Exit codes: 0 success, 1 failure, 2 wrong usage, 3 damage found or data dropped, 130 interrupted.");
  for (auto add : {AddInfoVerb, AddPackagesVerb, AddCatVerb, AddExportVerb, AddSourcesVerb, AddMarkersVerb, AddPropsVerb,
                   AddExtractVerb, AddCheckVerb, AddRepairVerb, AddMediaVerb, AddDemoVerb})
    add(app, session);
  if (argc > 1 && argv[1][0] != '-' && !IsVerb(app, argv[1])) {
    std::fprintf(stderr, "rectool: unknown verb \"%s\"\nRun with --help for the verbs.\n", argv[1]);
    return kExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "rectool: %s\n", e.what());
    if (e.get_name() != "RequiredError" || argc > 1) std::fprintf(stderr, "Run with --help for usage.\n");
    return kExitUsage;
  } catch (const UsageError& e) {
    PrintError(session, e.what());
    return kExitUsage;
  } catch (const Interrupted&) {
    std::fprintf(stderr, "rectool: interrupted\n");
    return kExitInterrupted;
  } catch (const rechost::Error& e) {
    if (e.code() == rechost::kCodeAborted || session.interrupted()) {
      std::fprintf(stderr, "rectool: interrupted\n");
      return kExitInterrupted;
    }
    PrintError(session, e.what());
    return kExitFailed;
  } catch (const ToolError& e) {
    std::fprintf(stderr, "rectool: %s\n", e.what());
    return kExitFailed;
  } catch (const std::exception& e) {
    PrintError(session, e.what());
    return kExitFailed;
  }
  if (std::fflush(stdout) != 0) {
    std::fprintf(stderr, "rectool: stdout: write failed\n");
    return kExitFailed;
  }
  return session.exit_code();
}

}  // namespace
}  // namespace rectool

int main(int argc, char** argv) { return rectool::Run(argc, argv); }
