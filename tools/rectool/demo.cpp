// demo: a sample recording written by the reader's writer, then given markers, an audio comment,
// a video preview and properties through the reader and saved, so that a new user has something
// to try every verb on.
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <memory>

#include "avifile.h"
#include "jsonoutput.h"
#include "recording.h"
#include "verbs.h"

namespace rectool {
namespace {

struct DemoSource {
  std::uint32_t handle;
  const char* class_name;
  const char* name;
  const char* description;
  std::size_t payload_size;
  bool described;  // its packages carry a filled descriptor
};
constexpr DemoSource kSources[] = {
    {1, "CAN", "Engine bus", "500 kbit/s CAN frames", 16, false},
    {2, "Analog", "Pressure sensors", "8 channels, 16-bit samples", 128, true},
    {3, "GPS", "Vehicle position", "latitude, longitude, altitude", 24, false},
};
constexpr ULONGLONG kFirstTimestamp = 1'000'000;
constexpr ULONGLONG kTimestampStep = 1'000;

struct DemoMarker {
  ULONGLONG package;  // placed at this package's timestamp
  const char* description;
  bool audio;
};
constexpr DemoMarker kMarkers[] = {
    {500, "Engine start", true}, {2'500, "Valve opened", false}, {4'800, "Pressure peak", false}};

GUID SourceId(std::uint32_t handle) { return {0x5EC0DE00u + handle, 0x2026, 0x0C12, {0x80, 0, 0, 0, 0, 0, 0, 1}}; }

ULONGLONG TimestampOf(ULONGLONG index) { return kFirstTimestamp + index * kTimestampStep; }

void AddSources(rechost::Reader& reader) {
  for (const auto& s : kSources) {
    const GUID id = SourceId(s.handle);
    if (!reader.sources().AddSource(id)) reader.ThrowLastError();
    auto table = reader.SourceProperties(id);
    rechost::OwnedValue handle;
    handle.get()->vt = VT_UI4;
    handle.get()->ulVal = s.handle;
    table->SetProperty(L"Handle", handle.get());
    for (const auto& [name, text] : {std::pair{"Class", s.class_name}, {"Name", s.name}, {"Description", s.description}})
      table->SetProperty(rechost::Widen(name).c_str(), rechost::OwnedValue::Text(text).get());
  }
}

// Payload bytes that change from package to package, so that listings show something.
std::vector<std::uint8_t> Payload(const DemoSource& source, ULONGLONG index) {
  std::vector<std::uint8_t> bytes(source.payload_size);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(index * 7 + i * source.handle);
  return bytes;
}

void WritePackages(Session& session, rechost::Reader& reader, ULONGLONG count) {
  for (ULONGLONG i = 0; i < count; ++i) {
    if (i % 1024 == 0) session.CheckInterrupted();
    const DemoSource& source = kSources[i % std::size(kSources)];
    std::vector<std::uint8_t> data = Payload(source, i);
    std::vector<std::uint8_t> extra = i % 10 == 0 ? std::vector<std::uint8_t>{0xEE, static_cast<std::uint8_t>(i)} : std::vector<std::uint8_t>{};
    DataPackageRecord record{};
    record.SourceHandle = source.handle;
    record.Timestamp = TimestampOf(i);
    record.DataSize = static_cast<ULONG>(data.size());
    record.Data = data.data();
    record.ExtraSize = static_cast<ULONG>(extra.size());
    record.ExtraData = extra.empty() ? nullptr : extra.data();
    if (source.described) {
      record.Descriptor.CycleId = static_cast<ULONG>(i / std::size(kSources));
      record.Descriptor.DescriptorWord1 = 0x0008;  // channels
    }
    reader.Write(record);
  }
}

// One second of a 440 Hz tone.
std::vector<std::uint8_t> ToneAvi() {
  constexpr std::uint32_t kRate = 8000;
  std::vector<std::int16_t> samples(kRate);
  for (std::size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<std::int16_t>(8000 * std::sin(2 * 3.14159265358979 * 440 * static_cast<double>(i) / kRate));
  return AudioAvi(samples, kRate);
}

// Three frames of a bar that moves across the picture.
std::vector<std::uint8_t> PreviewAvi() {
  constexpr std::uint32_t kWidth = 160, kHeight = 120, kRow = kWidth * 3;
  std::vector<std::vector<std::uint8_t>> frames;
  for (std::uint32_t f = 0; f < 3; ++f) {
    std::vector<std::uint8_t> frame(kRow * kHeight, 0x30);
    for (std::uint32_t y = 0; y < kHeight; ++y)
      for (std::uint32_t x = 40 * (f + 1); x < 40 * (f + 1) + 20; ++x) frame[y * kRow + x * 3 + 1] = 0xC0;
    frames.push_back(std::move(frame));
  }
  return VideoAvi(frames, kWidth, kHeight);
}

void AddMetadata(rechost::Reader& reader, ULONGLONG count) {
  for (const auto& m : kMarkers) {
    if (m.package >= count) continue;
    const auto at = static_cast<LONGLONG>(TimestampOf(m.package));
    if (!reader.markers().AddMarker(at)) reader.ThrowLastError();
    auto table = reader.MarkerProperties(at);
    table->SetProperty(L"Description", rechost::OwnedValue::Text(m.description).get());
    if (m.audio) table->SetProperty(L"AudioComment", rechost::OwnedValue::Blob(ToneAvi()).get());
  }
  {
    auto recording = reader.RecordingProperties();
    recording->SetProperty(L"Description", rechost::OwnedValue::Text("Demo recording written by rectool").get());
    recording->SetProperty(L"Operator", rechost::OwnedValue::Text("Test bench 3").get());
    recording->SetProperty(L"VideoPreview", rechost::OwnedValue::Blob(PreviewAvi()).get());
    rechost::OwnedValue run;
    run.get()->vt = VT_I4;
    run.get()->lVal = 7;
    recording->SetProperty(L"RunNumber", run.get());
  }
  auto system = reader.SystemProperties();
  system->SetProperty(L"Computer", rechost::OwnedValue::Text("bench-pc-03").get());
  rechost::OwnedValue rate;
  rate.get()->vt = VT_R8;
  rate.get()->dblVal = 1000.0;
  system->SetProperty(L"SampleRate", rate.get());
}

struct DemoOptions {
  std::string output;
  ULONGLONG packages = 6'000;
};

void WriteDemo(Session& session, const DemoOptions& options) {
  if (options.packages == 0) throw UsageError("--packages must be at least 1");
  session.set_file(options.output);
  PendingFile pending(options.output);
  {
    rechost::Reader writer(session.host());
    writer.Create(options.output, false);
    AddSources(writer);
    WritePackages(session, writer, options.packages);
    writer.Close();
  }
  auto reader = OpenRecording(session, options.output);
  AddMetadata(*reader, options.packages);
  reader->Save();
  reader.reset();
  session.CheckInterrupted();
  pending.Commit();
  if (session.options().json)
    return PrintDocument({{"output", options.output}, {"packages", options.packages}, {"sources", std::size(kSources)}});
  if (!session.options().quiet)
    std::printf("%s: %" PRIu64 " packages of %zu sources written\n", options.output.c_str(),
                static_cast<std::uint64_t>(options.packages), std::size(kSources));
}

}  // namespace

void AddDemoVerb(CLI::App& app, Session& session) {
  auto options = std::make_shared<DemoOptions>();
  CLI::App& verb = AddVerb(app, session, "demo", "Write a sample recording: three sources, markers, an audio comment, properties",
                           "rectool demo demo.rec", false);
  verb.add_option("OUT", options->output, "the new recording (must not exist)")->required();
  verb.add_option("--packages", options->packages, "how many data packages (default 6000)");
  verb.callback([&session, options] { WriteDemo(session, *options); });
}

}  // namespace rectool
