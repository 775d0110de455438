// A decoded picture held the way device-independent bitmaps are: 1, 4, 8, 24 or 32 bits per
// pixel, rows padded to 32-bit words and stored bottom row first, a palette of 2^bpp RGBQUADs
// for the palettized depths. The video preview writes these rows into its AVI frames as they
// are, so their layout is that of an uncompressed AVI frame.
#ifndef RECFILEREADER_PLATFORM_MEDIA_PICTURE_H
#define RECFILEREADER_PLATFORM_MEDIA_PICTURE_H

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/media/mediaformats.h"

namespace recfilereader {

// The picture-format codes that precede an encoded picture in recordings.
enum class PictureFormat : std::uint32_t {
  kUnknown = 0,  // the bytes tell the format
  kBmp = 1,
  kGif = 2,
  kJpg = 3,
  kPng = 4,
  kIco = 5,
  kTif = 6,
  kTga = 7,
  kPcx = 8,
  kWbmp = 9,
  kWmf = 10,
  kJp2 = 11,
  kJpc = 12,
  kPgx = 13,
  kPnm = 14,
  kRas = 15,
  kJbg = 16,
  kMng = 17,
  kSka = 18,
  kRaw = 19,
  kPsd = 20,
};

struct RgbQuad {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
  std::uint8_t reserved = 0;
};

class Picture {
 public:
  // A black picture. REQUIRES: width and height > 0; bits_per_pixel 1, 4, 8, 24 or 32; the
  // caller has checked that the size is one the input justifies.
  Picture(std::uint32_t width, std::uint32_t height, std::uint16_t bits_per_pixel);

  std::uint32_t width() const { return width_; }
  std::uint32_t height() const { return height_; }
  std::uint16_t bits_per_pixel() const { return bits_per_pixel_; }
  // Bytes per stored row, padding included.
  std::uint32_t effective_width() const { return effective_width_; }

  // 2^bpp entries for 1, 4 and 8 bits per pixel, none otherwise.
  std::span<const RgbQuad> palette() const { return palette_; }
  std::span<RgbQuad> palette() { return palette_; }

  // All rows, bottom row first.
  std::span<const std::uint8_t> bits() const { return bits_; }
  // Row y counted from the bottom (y = 0 is the bottom row).
  std::span<std::uint8_t> row(std::uint32_t y);
  std::span<const std::uint8_t> row(std::uint32_t y) const;

  // The header an uncompressed frame of this picture carries; the palette follows it.
  BITMAPINFOHEADER InfoHeader() const;

 private:
  std::uint32_t width_;
  std::uint32_t height_;
  std::uint16_t bits_per_pixel_;
  std::uint32_t effective_width_;
  std::vector<RgbQuad> palette_;
  std::vector<std::uint8_t> bits_;
};

// Decodes `encoded` given its picture-format code. BMP keeps 1-, 4- and 8-bit palettes; GIF,
// JPEG, PNG and TGA come out as 24-bit BGR, or 32-bit BGRA when some pixel is not opaque.
// When the bytes carry the signature of another known format than `format` names, the
// signature wins. Empty for unsupported formats and for bytes that do not decode.
std::optional<Picture> DecodePicture(std::uint32_t format, std::span<const std::uint8_t> encoded);

// The same for a picture payload as recordings store it: the format code (32-bit
// little-endian), then the encoded picture. Empty for payloads shorter than the code.
std::optional<Picture> DecodePicturePayload(std::span<const std::uint8_t> payload);

// Pictures no larger than this many pixels are decoded (256 Mi bytes at 32 bits per pixel).
constexpr std::uint64_t kMaxPicturePixels = std::uint64_t{1} << 26;

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_MEDIA_PICTURE_H
