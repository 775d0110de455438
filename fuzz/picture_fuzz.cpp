// Fuzzes picture decoding: the first four bytes are the picture-format code (little-endian),
// the rest the encoded picture. A decoded picture must be internally consistent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/media/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto picture = recfilereader::DecodePicturePayload(std::span<const std::uint8_t>(data, size));
  if (!picture) return 0;

  const std::uint64_t stride = recfilereader::DibStride(picture->width(), picture->bits_per_pixel());
  const bool palettized = picture->bits_per_pixel() <= 8;
  if (picture->effective_width() != stride || picture->bits().size() != stride * picture->height() ||
      picture->palette().size() != (palettized ? std::size_t{1} << picture->bits_per_pixel() : 0) ||
      static_cast<std::uint64_t>(picture->width()) * picture->height() > recfilereader::kMaxPicturePixels) {
    std::abort();
  }
  // Touch every byte, so a short buffer shows under the address sanitizer.
  volatile std::uint8_t sink = 0;
  for (std::uint8_t b : picture->bits()) sink = static_cast<std::uint8_t>(sink + b);
  return 0;
}
