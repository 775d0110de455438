// GIF, JPEG, PNG and TGA decoding through stb_image, into bottom-up BGR or BGRA rows.
#ifndef RECFILEREADER_PLATFORM_MEDIA_STBDECODER_H
#define RECFILEREADER_PLATFORM_MEDIA_STBDECODER_H

#include <cstdint>
#include <optional>
#include <span>

#include "platform/media/picture.h"

namespace recfilereader {

// 24 bits per pixel, or 32 when the picture has an alpha channel with some pixel not opaque.
// Empty when the bytes do not decode, or declare more pixels than their size can hold.
// `format` is what the bytes are known to be: GIF, JPEG, PNG or TGA.
std::optional<Picture> DecodeWithStb(PictureFormat format, std::span<const std::uint8_t> encoded);

// The most pixels one encoded byte may stand for: deflate's best ratio (1032:1) at one bit
// per pixel. No format decoded here packs pixels more densely in a picture worth showing, so
// a header that declares more is damaged or hostile, and is refused before anything is
// allocated for it.
constexpr std::uint64_t kMaxPixelsPerEncodedByte = 8 * 1032;

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_MEDIA_STBDECODER_H
