// media: the audio comment (of the recording or of a marker) or the video preview as the AVI
// file the reader holds it as.
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <optional>

#include "jsonoutput.h"
#include "recording.h"
#include "verbs.h"

namespace rectool {
namespace {

struct MediaOptions {
  std::string file;
  std::optional<LONGLONG> marker;
  std::string audio_output;
  std::string video_output;
};

void WriteMedia(Session& session, const MediaOptions& options) {
  const bool audio = !options.audio_output.empty();
  const std::string& output = audio ? options.audio_output : options.video_output;
  const char* name = audio ? "AudioComment" : "VideoPreview";
  if (options.marker && !audio) throw UsageError("markers carry audio comments only");
  PendingFile pending(output);
  auto reader = OpenRecording(session, options.file);
  auto table = options.marker ? reader->MarkerProperties(*options.marker) : reader->RecordingProperties();
  const rechost::Value value = rechost::ToValue(*rechost::GetProperty(*table, name));
  if (value.kind != rechost::Value::Kind::kBytes || value.bytes.empty()) {
    const std::string where = options.marker ? "the marker at " + std::to_string(*options.marker) : "the recording";
    throw ToolError(options.file + ": " + where + " has no " + (audio ? "audio comment" : "video preview"));
  }
  WriteWholeFile(output, value.bytes);
  pending.Commit();
  if (session.options().json)
    return PrintDocument({{"file", options.file}, {"output", output}, {"property", name}, {"size", value.bytes.size()}});
  if (!session.options().quiet) std::printf("%s: %s (%zu bytes) written to %s\n", options.file.c_str(), name, value.bytes.size(), output.c_str());
}

}  // namespace

void AddMediaVerb(CLI::App& app, Session& session) {
  auto options = std::make_shared<MediaOptions>();
  CLI::App& verb = AddVerb(app, session, "media", "Save the audio comment or the video preview as an AVI file",
                           "rectool media demo.rec --marker 1500000 --audio-comment note.avi", false);
  verb.add_option("FILE", options->file, "recording")->required();
  verb.add_option("--marker", options->marker, "the marker whose audio comment is wanted");
  auto* audio = verb.add_option("--audio-comment", options->audio_output, "write the audio comment here");
  auto* video = verb.add_option("--video-preview", options->video_output, "write the video preview here");
  audio->excludes(video);
  verb.callback([&session, options] {
    if (options->audio_output.empty() && options->video_output.empty())
      throw UsageError("give --audio-comment OUT.avi or --video-preview OUT.avi");
    WriteMedia(session, *options);
  });
}

}  // namespace rectool
