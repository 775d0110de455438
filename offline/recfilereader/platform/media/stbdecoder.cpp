#include "platform/media/stbdecoder.h"

#include <climits>
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

bool HasTranslucentPixel(const stbi_uc* rgba, std::size_t pixels) {
  for (std::size_t i = 0; i < pixels; ++i) {
    if (rgba[4 * i + 3] != 0xFF) return true;
  }
  return false;
}

}  // namespace

std::optional<Picture> DecodeWithStb(std::span<const std::uint8_t> encoded) {
  if (encoded.empty() || encoded.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
  const auto* data = reinterpret_cast<const stbi_uc*>(encoded.data());
  const int length = static_cast<int>(encoded.size());

  int width = 0;
  int height = 0;
  int channels = 0;
  if (stbi_info_from_memory(data, length, &width, &height, &channels) == 0) return std::nullopt;
  if (width <= 0 || height <= 0) return std::nullopt;
  const std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  if (pixels > kMaxPicturePixels || pixels > encoded.size() * kMaxPixelsPerEncodedByte) return std::nullopt;

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
