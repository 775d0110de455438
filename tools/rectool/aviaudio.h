// A RIFF AVI file with one PCM audio stream, as recordings carry audio comments: the demo
// recording's markers get one.
#ifndef RECTOOL_AVIAUDIO_H
#define RECTOOL_AVIAUDIO_H

#include <cstdint>
#include <vector>

namespace rectool {

// Mono 16-bit samples at `rate` samples per second.
std::vector<std::uint8_t> AudioAvi(const std::vector<std::int16_t>& samples, std::uint32_t rate);

}  // namespace rectool

#endif  // RECTOOL_AVIAUDIO_H
