// A small host on the host library: makes a reader over its own services, prints the interfaces
// the reader hands out and its properties with their types, values and flags, and, given a
// recording, its span and first packages. The reader is destroyed when its owner ends.
#include <cinttypes>
#include <cstdio>

#include "rechost/rechost.h"

namespace {

const wchar_t* const kInterfaceNames[] = {
    L"IInterfaceAccess",   L"IObjectDestroy",       L"IPerformanceTable",     L"IRecordingSupport",
    L"IRecordingReader",   L"IRecordingReaderEx",   L"IRecordingData",        L"IRecordingDataEx",
    L"IRecordingNavigate", L"IRecordingPosition",   L"IRecordingPositionEx",  L"IRecordingPositionCmp",
    L"IRecordingEdit",     L"IRecordingSave",       L"IRecordingRepair",      L"IExMemoryMgr",
    L"IRecordingError",    L"IObjectProperties",
};

void PrintReader(rechost::Reader& reader) {
  std::printf("Interfaces:\n");
  for (const wchar_t* name : kInterfaceNames)
    std::printf("  %-24s %s\n", rechost::Narrow(name).c_str(), reader.Face<void>(name) != nullptr ? "yes" : "no");
  const auto properties = rechost::ReadProperties(reader.properties());
  std::printf("\nProperties (%zu):\n", properties.size());
  for (const auto& p : properties)
    std::printf("  %-24s %-20s %-28s %s\n", p.name.c_str(), rechost::TypeName(p.type).c_str(),
                rechost::DisplayText(p.value).c_str(), p.read_only() ? "read-only" : "writable");
}

void PrintRecording(rechost::Reader& reader, const char* path) {
  reader.Open(path);
  std::printf("\n%s: span %" PRIu64 " .. %" PRIu64 "\n", path, reader.BeginTimestamp(), reader.EndTimestamp());
  int shown = 0;
  for (const rechost::Package& p : rechost::Packages(reader, kReadForward)) {
    std::printf("  %10" PRIu64 " %12" PRIu64 " source %" PRIu32 " %zu bytes\n", p.position, p.timestamp, p.source, p.data.size());
    if (++shown == 5) break;
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    rechost::HostServices host;
    rechost::Reader reader(host);
    PrintReader(reader);
    if (argc > 1) PrintRecording(reader, argv[1]);
    return 0;
  } catch (const rechost::Error& e) {
    std::fprintf(stderr, "example_host: %s\n", e.what());
    return 1;
  }
}
