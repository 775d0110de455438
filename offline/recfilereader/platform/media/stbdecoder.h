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

// The most pixels one encoded byte can stand for in each format, at its densest: PNG's
// deflate at 1032:1 with one bit per pixel; GIF's LZW with 12-bit codes that each stand for
// up to 4096 pixels; JPEG with one bit per 8 x 8 block; TGA with a 2-byte run of 128 pixels.
// A header that declares more pixels than its bytes can carry is damaged or hostile, and is
// refused before anything is allocated for it.
constexpr std::uint64_t MaxPixelsPerEncodedByte(PictureFormat format) {
  switch (format) {
    case PictureFormat::kPng: return 8 * 1032;
    case PictureFormat::kGif: return 4096 * 8 / 12 + 1;
    case PictureFormat::kJpg: return 64 * 8;
    case PictureFormat::kTga: return 128 / 2;
    default: return 0;
  }
}

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_MEDIA_STBDECODER_H
