// The two stream formats an AVI file of this library carries, decoded and encoded field by
// field (little-endian, no struct casts):
//
//   WAVEFORMATEX (18 bytes)              BITMAPINFOHEADER (40 bytes)
//   OFF SIZE FIELD                       OFF SIZE FIELD
//    0   2   wFormatTag (1 = PCM)         0   4   biSize (40)
//    2   2   nChannels                    4   4   biWidth
//    4   4   nSamplesPerSec               8   4   biHeight (> 0: bottom-up rows)
//    8   4   nAvgBytesPerSec             12   2   biPlanes (1)
//   12   2   nBlockAlign                 14   2   biBitCount
//   14   2   wBitsPerSample              16   4   biCompression (0 = uncompressed)
//   16   2   cbSize (extra bytes)        20   4   biSizeImage
//                                        24   8   biXPelsPerMeter, biYPelsPerMeter
//                                        32   4   biClrUsed (0 with <= 8 bpp: 2^bpp)
//                                        36   4   biClrImportant
//
// A palette of RGBQUADs (blue, green, red, 0) follows a BITMAPINFOHEADER.
#ifndef RECFILEREADER_PLATFORM_MEDIA_MEDIAFORMATS_H
#define RECFILEREADER_PLATFORM_MEDIA_MEDIAFORMATS_H

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace recfilereader {

struct WAVEFORMATEX {
  static constexpr std::size_t kEncodedSize = 18;
  // The classic PCMWAVEFORMAT without cbSize; the smallest audio format a stream may carry.
  static constexpr std::size_t kMinimumSize = 16;

  std::uint16_t wFormatTag = 0;
  std::uint16_t nChannels = 0;
  std::uint32_t nSamplesPerSec = 0;
  std::uint32_t nAvgBytesPerSec = 0;
  std::uint16_t nBlockAlign = 0;
  std::uint16_t wBitsPerSample = 0;
  std::uint16_t cbSize = 0;

  // Empty when fewer than kMinimumSize bytes are given; cbSize reads as 0 then.
  static std::optional<WAVEFORMATEX> DecodeFrom(std::span<const std::uint8_t> bytes);
  std::array<std::uint8_t, kEncodedSize> Encode() const;
};

struct BITMAPINFOHEADER {
  static constexpr std::size_t kEncodedSize = 40;

  std::uint32_t biSize = kEncodedSize;
  std::int32_t biWidth = 0;
  std::int32_t biHeight = 0;
  std::uint16_t biPlanes = 1;
  std::uint16_t biBitCount = 0;
  std::uint32_t biCompression = 0;
  std::uint32_t biSizeImage = 0;
  std::int32_t biXPelsPerMeter = 0;
  std::int32_t biYPelsPerMeter = 0;
  std::uint32_t biClrUsed = 0;
  std::uint32_t biClrImportant = 0;

  // Empty when fewer than kEncodedSize bytes are given.
  static std::optional<BITMAPINFOHEADER> DecodeFrom(std::span<const std::uint8_t> bytes);
  std::array<std::uint8_t, kEncodedSize> Encode() const;
};

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;

// Bytes per stored row of a DIB: rows are padded to whole 32-bit words.
constexpr std::uint64_t DibStride(std::uint64_t width, std::uint32_t bits_per_pixel) {
  return (width * bits_per_pixel + 31) / 32 * 4;
}

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_MEDIA_MEDIAFORMATS_H
