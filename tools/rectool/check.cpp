// check: a structural walk of a recording through the reader. The file must start with a file
// header; the reader must open it (which reads the section index, the tail and the navigation
// table); every package must be readable forward, at rising positions; the packages must span
// what the navigation table says; and walking backward from the end must meet as many packages.
#include <cinttypes>
#include <cstdio>
#include <memory>

#include "fileheader.h"
#include "jsonoutput.h"
#include "recording.h"
#include "verbs.h"

namespace rectool {
namespace {

struct Finding {
  std::optional<std::uint64_t> position;
  std::string problem;
};

struct CheckResult {
  std::uint64_t packages = 0;
  ULONGLONG begin = 0;
  ULONGLONG end = 0;
  std::vector<Finding> findings;
};

void WalkForward(Session& session, rechost::Reader& reader, CheckResult& result) {
  std::optional<ULONGLONG> first, last;
  std::optional<std::uint64_t> previous_position;
  ForEachPackage(session, reader, {}, [&](const rechost::Package& p) {
    ++result.packages;
    if (p.damaged) return result.findings.push_back({p.position, "damaged package: " + p.damage});
    if (previous_position && p.position <= *previous_position)
      result.findings.push_back({p.position, "package lies before the one read ahead of it"});
    previous_position = p.position;
    if (!first) first = p.timestamp;
    last = p.timestamp;
  });
  if (!first) return result.findings.push_back({std::nullopt, "no readable package"});
  if (*first != result.begin)
    result.findings.push_back({std::nullopt, "the navigation table begins at " + std::to_string(result.begin) +
                                                 " but the first package is at " + std::to_string(*first)});
  if (*last + 1 != result.end)
    result.findings.push_back({std::nullopt, "the navigation table ends at " + std::to_string(result.end) +
                                                 " but the last package is at " + std::to_string(*last)});
}

void WalkBackward(Session& session, rechost::Reader& reader, CheckResult& result) {
  std::uint64_t backward = 0;
  PackageSelection from_end;
  from_end.reverse = true;
  ForEachPackage(session, reader, from_end, [&](const rechost::Package&) { ++backward; });
  if (backward != result.packages)
    result.findings.push_back({std::nullopt, "walking backward meets " + std::to_string(backward) + " packages, forward " +
                                                 std::to_string(result.packages)});
}

CheckResult CheckFile(Session& session, const std::string& path) {
  session.set_file(path);
  CheckResult result;
  if (!ReadFileHeader(path)) {
    // Unreadable files and files that are no recording fail the check outright.
    rechost::Reader probe(session.host());
    probe.Open(path);
    throw ToolError(path + ": not a recording");
  }
  std::unique_ptr<rechost::Reader> reader;
  try {
    reader = OpenRecording(session, path);
  } catch (const rechost::Error& e) {
    if (e.code() == rechost::kCodeAborted) throw;
    result.findings.push_back({std::nullopt, "cannot be opened: " + e.text()});
    return result;
  }
  result.begin = reader->BeginTimestamp();
  result.end = reader->EndTimestamp();
  WalkForward(session, *reader, result);
  WalkBackward(session, *reader, result);
  return result;
}

Json ResultJson(const std::string& path, const CheckResult& r) {
  Json findings = Json::array();
  for (const auto& f : r.findings)
    findings.push_back({{"position", f.position ? Json(*f.position) : Json(nullptr)}, {"problem", f.problem}});
  return {{"file", path}, {"ok", r.findings.empty()}, {"packages", r.packages}, {"begin", r.begin}, {"end", r.end},
          {"findings", findings}};
}

void PrintResult(const std::string& path, const CheckResult& r) {
  if (r.findings.empty()) {
    std::printf("%s: ok, %" PRIu64 " packages, span %" PRIu64 " .. %" PRIu64 "\n", path.c_str(), r.packages, r.begin, r.end);
    return;
  }
  std::printf("%s: DAMAGED, %zu problem(s)\n", path.c_str(), r.findings.size());
  for (const auto& f : r.findings) {
    if (f.position) std::printf("  at %" PRIu64 ": %s\n", *f.position, f.problem.c_str());
    else std::printf("  %s\n", f.problem.c_str());
  }
}

}  // namespace

void AddCheckVerb(CLI::App& app, Session& session) {
  auto files = std::make_shared<std::vector<std::string>>();
  CLI::App& verb = AddVerb(app, session, "check", "Walk every package and compare with the navigation table; exit 3 on damage",
                           "rectool check *.rec", true);
  verb.add_option("FILE", *files, "recordings")->required();
  verb.callback([&session, files] {
    Json all = Json::array();
    bool damaged = false;
    bool failed = false;
    for (const auto& path : *files) {
      CheckResult result;
      // A file that cannot be checked at all is told and the others are still checked.
      try {
        result = CheckFile(session, path);
      } catch (const rechost::Error& e) {
        if (e.code() == rechost::kCodeAborted) throw;
        std::fprintf(stderr, "rectool: %s: %s\n", path.c_str(), e.what());
        failed = true;
        continue;
      } catch (const ToolError& e) {
        std::fprintf(stderr, "rectool: %s\n", e.what());
        failed = true;
        continue;
      }
      damaged = damaged || !result.findings.empty();
      Json json = ResultJson(path, result);
      if (session.options().ndjson) PrintLine(json);
      else if (!session.options().json) PrintResult(path, result);
      all.push_back(std::move(json));
    }
    if (session.options().json) PrintDocument(files->size() == 1 && !all.empty() ? all[0] : all);
    if (damaged) session.set_exit(kExitDamage);
    if (failed) session.set_exit(kExitFailed);
  });
}

}  // namespace rectool
