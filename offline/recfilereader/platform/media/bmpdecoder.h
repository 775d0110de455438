// Windows bitmap (BMP) files, decoded by our own reader so that 1-, 4- and 8-bit pictures keep
// their palettes: stored as they come, they make palettized AVI frames.
#ifndef RECFILEREADER_PLATFORM_MEDIA_BMPDECODER_H
#define RECFILEREADER_PLATFORM_MEDIA_BMPDECODER_H

#include <cstdint>
#include <optional>
#include <span>

#include "platform/media/picture.h"

namespace recfilereader {

// Uncompressed bitmaps with a core (12-byte) or info (40- to 124-byte) header: 1, 4, 8 and 24
// bits per pixel as stored; 16 and 32 bits (plain or with bit-field masks) as 24-bit BGR, or
// 32-bit BGRA when an alpha mask gives translucent pixels. Top-down files are turned
// bottom-up. Empty for run-length-encoded or truncated files and anything else not understood.
std::optional<Picture> DecodeBmp(std::span<const std::uint8_t> file);

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_MEDIA_BMPDECODER_H
