// RIFF AVI files of one stream, as recordings carry audio comments and video previews: the
// demo recording gets one of each.
#ifndef RECTOOL_AVIFILE_H
#define RECTOOL_AVIFILE_H

#include <cstdint>
#include <vector>

namespace rectool {

// Mono 16-bit samples at `rate` samples per second.
std::vector<std::uint8_t> AudioAvi(const std::vector<std::int16_t>& samples, std::uint32_t rate);
// Uncompressed 24-bit frames of `width` x `height` (rows bottom-up, each padded to 4 bytes) at
// 15 frames per second.
std::vector<std::uint8_t> VideoAvi(const std::vector<std::vector<std::uint8_t>>& frames, std::uint32_t width,
                                   std::uint32_t height);

}  // namespace rectool

#endif  // RECTOOL_AVIFILE_H
