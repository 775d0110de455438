#include "platform/media/stbdecoder.h"

#include <climits>
#include <cstring>
#include <memory>

// stb_image's implementation lives in this file only. Only the formats it decodes for us are
// compiled in, and nothing touches files.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_GIF
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 65535
#include <stb/stb_image.h>

namespace recfilereader {
namespace {

struct StbFree {
  void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

// ---- Walks that refuse what this stb_image release would mishandle ------------------------
//
// Its JPEG reader builds a Huffman table from counts it does not check: counts summing above
// 256 write past the table. Its PNG reader grows its buffer to an IDAT chunk's declared
// length before it finds that the bytes are missing. Both walks follow the stream as the
// reader does and refuse such input up front.

std::uint32_t LoadBe16(const std::uint8_t* p) { return static_cast<std::uint32_t>(p[0] << 8 | p[1]); }
std::uint32_t LoadBe32(const std::uint8_t* p) { return LoadBe16(p) << 16 | LoadBe16(p + 2); }

constexpr std::uint8_t kJpegDht = 0xC4;
constexpr std::uint8_t kJpegSos = 0xDA;
constexpr std::uint8_t kJpegEoi = 0xD9;

// Every table of a DHT segment (at `at`, just past the marker) holds at most 256 codes. Bytes
// past the end read as zero, as they do for the reader.
bool HuffmanSegmentFits(std::span<const std::uint8_t> jpeg, std::size_t at) {
  auto byte = [&](std::size_t i) -> std::uint32_t { return i < jpeg.size() ? jpeg[i] : 0; };
  std::int64_t left = static_cast<std::int64_t>(byte(at) << 8 | byte(at + 1)) - 2;
  at += 2;
  while (left > 0 && at < jpeg.size()) {
    std::uint32_t codes = 0;
    for (std::size_t i = 1; i <= 16; ++i) codes += byte(at + i);
    if (codes > 256) return false;
    at += 17 + codes;
    left -= 17 + static_cast<std::int64_t>(codes);
  }
  return true;
}

// Past the entropy-coded data that starts at `at`: 0xFF (repeated or not) followed by 0x00
// is a stuffed byte; followed by anything else it starts the next marker.
std::size_t SkipEntropyCodedData(std::span<const std::uint8_t> jpeg, std::size_t at) {
  while (at < jpeg.size()) {
    if (jpeg[at] != 0xFF) {
      ++at;
      continue;
    }
    std::size_t next = at + 1;
    while (next < jpeg.size() && jpeg[next] == 0xFF) ++next;
    if (next < jpeg.size() && jpeg[next] == 0x00) {
      at = next + 1;
      continue;
    }
    return at;
  }
  return at;
}

// Walks the markers from the start of the image to its end, through the entropy-coded data
// of every scan, as the reader does: bytes that are not a marker where one is due are
// skipped up to the next 0xFF.
bool JpegHuffmanTablesFit(std::span<const std::uint8_t> jpeg) {
  std::size_t at = 2;  // past the start-of-image marker
  while (at < jpeg.size()) {
    while (at < jpeg.size() && jpeg[at] != 0xFF) ++at;
    while (at < jpeg.size() && jpeg[at] == 0xFF) ++at;
    if (at >= jpeg.size()) return true;
    const std::uint8_t marker = jpeg[at++];
    if (marker == kJpegEoi) return true;
    if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;  // no segment
    if (marker == kJpegDht && !HuffmanSegmentFits(jpeg, at)) return false;
    if (jpeg.size() - at < 2) return true;
    at += LoadBe16(&jpeg[at]);
    if (marker == kJpegSos) at = SkipEntropyCodedData(jpeg, at);
  }
  return true;
}

// Every chunk up to IEND lies whole within the bytes: length, type, data, CRC.
bool PngChunksFit(std::span<const std::uint8_t> png) {
  std::size_t at = 8;  // past the signature
  while (at < png.size()) {
    if (png.size() - at < 12) return false;
    const std::uint64_t length = LoadBe32(&png[at]);
    if (length > png.size() - at - 12) return false;
    const bool end = std::memcmp(&png[at + 4], "IEND", 4) == 0;
    at += 12 + static_cast<std::size_t>(length);
    if (end) return true;
  }
  return false;
}

bool HasTranslucentPixel(const stbi_uc* rgba, std::size_t pixels) {
  for (std::size_t i = 0; i < pixels; ++i) {
    if (rgba[4 * i + 3] != 0xFF) return true;
  }
  return false;
}

}  // namespace

std::optional<Picture> DecodeWithStb(PictureFormat format, std::span<const std::uint8_t> encoded) {
  if (encoded.empty() || encoded.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
  if (format == PictureFormat::kJpg && !JpegHuffmanTablesFit(encoded)) return std::nullopt;
  if (format == PictureFormat::kPng && !PngChunksFit(encoded)) return std::nullopt;
  const auto* data = reinterpret_cast<const stbi_uc*>(encoded.data());
  const int length = static_cast<int>(encoded.size());

  int width = 0;
  int height = 0;
  int channels = 0;
  if (stbi_info_from_memory(data, length, &width, &height, &channels) == 0) return std::nullopt;
  if (width <= 0 || height <= 0) return std::nullopt;
  const std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  if (pixels > kMaxPicturePixels || pixels > encoded.size() * MaxPixelsPerEncodedByte(format)) {
    return std::nullopt;
  }

  // Grey and colour pictures both come out as colour; alpha, when present, is kept for now.
  const bool with_alpha = channels == 2 || channels == 4;
  const int wanted = with_alpha ? 4 : 3;
  int decoded_width = 0;
  int decoded_height = 0;
  int decoded_channels = 0;
  std::unique_ptr<stbi_uc, StbFree> rgb(
      stbi_load_from_memory(data, length, &decoded_width, &decoded_height, &decoded_channels, wanted));
  if (!rgb || decoded_width != width || decoded_height != height) return std::nullopt;

  const bool keep_alpha = with_alpha && HasTranslucentPixel(rgb.get(), static_cast<std::size_t>(pixels));
  Picture picture(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), keep_alpha ? 32 : 24);
  const std::size_t in_stride = static_cast<std::size_t>(width) * static_cast<std::size_t>(wanted);
  const std::size_t out_bytes = keep_alpha ? 4 : 3;
  // stb gives top-down RGB(A) rows; the picture keeps bottom-up BGR(A) rows.
  for (std::uint32_t y = 0; y < picture.height(); ++y) {
    const stbi_uc* in = rgb.get() + static_cast<std::size_t>(picture.height() - 1 - y) * in_stride;
    std::uint8_t* out = picture.row(y).data();
    for (int x = 0; x < width; ++x, in += wanted, out += out_bytes) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      if (keep_alpha) out[3] = in[3];
    }
  }
  return picture;
}

}  // namespace recfilereader
