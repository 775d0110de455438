// Each verb adds its subcommand, with its options, help and example, to the application.
#ifndef RECTOOL_VERBS_H
#define RECTOOL_VERBS_H

#include <CLI/CLI.hpp>

#include "session.h"

namespace rectool {

void AddInfoVerb(CLI::App& app, Session& session);
void AddPackagesVerb(CLI::App& app, Session& session);
void AddCatVerb(CLI::App& app, Session& session);
void AddExportVerb(CLI::App& app, Session& session);
void AddSourcesVerb(CLI::App& app, Session& session);
void AddMarkersVerb(CLI::App& app, Session& session);
void AddPropsVerb(CLI::App& app, Session& session);
void AddExtractVerb(CLI::App& app, Session& session);
void AddCheckVerb(CLI::App& app, Session& session);
void AddRepairVerb(CLI::App& app, Session& session);
void AddMediaVerb(CLI::App& app, Session& session);
void AddDemoVerb(CLI::App& app, Session& session);

// A verb with the common options (--json, --ndjson when it lists, --quiet, --verbose) and a help
// text that ends with an example.
CLI::App& AddVerb(CLI::App& app, Session& session, const char* name, const char* description, const char* example,
                  bool lists);

}  // namespace rectool

#endif  // RECTOOL_VERBS_H
