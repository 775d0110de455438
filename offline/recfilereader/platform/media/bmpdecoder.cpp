#include "platform/media/bmpdecoder.h"

#include <algorithm>
#include <bit>
#include <limits>

#include "platform/bytes.h"

namespace recfilereader {
namespace {

// BITMAPFILEHEADER: 'BM', u32 file size, u32 reserved, u32 offset of the pixel data.
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kBiAlphaBitfields = 6;

struct ChannelMask {
  std::uint32_t mask = 0;
  int shift = 0;
  int bits = 0;

  explicit ChannelMask(std::uint32_t m) : mask(m) {
    if (m == 0) return;
    shift = std::countr_zero(m);
    bits = std::min(std::popcount(m >> shift), 31);
  }
  // The channel of `pixel` scaled to 0..255; `absent` when there is no mask.
  std::uint8_t Extract(std::uint32_t pixel, std::uint8_t absent) const {
    if (mask == 0) return absent;
    const std::uint32_t value = (pixel & mask) >> shift;
    if (bits >= 8) return static_cast<std::uint8_t>(value >> (bits - 8));
    return static_cast<std::uint8_t>(value * 255 / ((1u << bits) - 1));
  }
};

struct BmpLayout {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  bool top_down = false;
  std::uint16_t bits_per_pixel = 0;
  std::uint32_t compression = kBiRgb;
  std::uint32_t colors_used = 0;
  std::size_t palette_offset = 0;
  std::size_t palette_entry_size = 4;
  std::uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
};

std::optional<BmpLayout> ReadCoreHeader(ByteReader& in) {
  BmpLayout layout;
  layout.width = in.U16();
  layout.height = in.U16();
  in.Skip(2);  // planes
  layout.bits_per_pixel = in.U16();
  layout.palette_entry_size = 3;
  layout.palette_offset = kFileHeaderSize + kCoreHeaderSize;
  if (!in.ok()) return std::nullopt;
  return layout;
}

std::optional<BmpLayout> ReadInfoHeader(ByteReader& in, std::uint32_t header_size) {
  BmpLayout layout;
  const auto width = static_cast<std::int32_t>(in.U32());
  const auto height = static_cast<std::int32_t>(in.U32());
  in.Skip(2);  // planes
  layout.bits_per_pixel = in.U16();
  layout.compression = in.U32();
  in.Skip(12);  // image size, resolution
  layout.colors_used = in.U32();
  in.Skip(4);  // important colours
  if (!in.ok() || width <= 0 || height == 0 || height == std::numeric_limits<std::int32_t>::min()) {
    return std::nullopt;
  }
  layout.width = static_cast<std::uint32_t>(width);
  layout.top_down = height < 0;
  layout.height = static_cast<std::uint32_t>(height < 0 ? -height : height);

  // Bit-field masks sit inside the larger headers, or right after a 40-byte one.
  std::size_t masks_after_header = 0;
  const bool bitfields = layout.compression == kBiBitfields || layout.compression == kBiAlphaBitfields;
  if (bitfields) {
    const int mask_count = header_size >= 56 || layout.compression == kBiAlphaBitfields ? 4 : 3;
    if (header_size < 52) masks_after_header = 4 * static_cast<std::size_t>(mask_count);
    for (int i = 0; i < mask_count; ++i) layout.masks[i] = in.U32();
    if (!in.ok()) return std::nullopt;
  }
  layout.palette_offset = kFileHeaderSize + header_size + masks_after_header;
  return layout;
}

// The palette lies between the headers and the pixels; files that store fewer entries than
// the depth allows leave the rest black.
bool ReadPalette(std::span<const std::uint8_t> file, std::size_t pixel_offset, const BmpLayout& layout,
                 Picture& picture) {
  std::size_t count = picture.palette().size();
  if (layout.colors_used != 0) count = std::min<std::size_t>(layout.colors_used, count);
  count = std::min(count, (pixel_offset - layout.palette_offset) / layout.palette_entry_size);
  if (count == 0) return false;
  const std::uint8_t* entry = file.data() + layout.palette_offset;
  for (std::size_t i = 0; i < count; ++i, entry += layout.palette_entry_size) {
    picture.palette()[i] = RgbQuad{entry[0], entry[1], entry[2], 0};
  }
  return true;
}

// 16- and 32-bit pixels through their masks; plain files use the classic 5-5-5 and 8-8-8.
std::optional<Picture> DecodeMasked(std::span<const std::uint8_t> pixels, std::size_t stride,
                                    const BmpLayout& layout) {
  std::uint32_t masks[4] = {layout.masks[0], layout.masks[1], layout.masks[2], layout.masks[3]};
  if (layout.compression == kBiRgb) {
    const bool wide = layout.bits_per_pixel == 32;
    masks[0] = wide ? 0x00FF0000 : 0x7C00;
    masks[1] = wide ? 0x0000FF00 : 0x03E0;
    masks[2] = wide ? 0x000000FF : 0x001F;
    masks[3] = 0;
  }
  const ChannelMask red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
  const std::size_t step = layout.bits_per_pixel / 8;
  auto pixel_at = [&](std::uint32_t stored_row, std::uint32_t x) {
    const std::uint8_t* p = pixels.data() + stored_row * stride + x * step;
    return step == 2 ? LoadLe16(p) : LoadLe32(p);
  };

  // Alpha counts only when it varies from "unused": some pixel translucent, some not clear.
  bool translucent = false;
  bool visible = false;
  if (alpha.mask != 0) {
    for (std::uint32_t y = 0; y < layout.height; ++y) {
      for (std::uint32_t x = 0; x < layout.width; ++x) {
        const std::uint8_t a = alpha.Extract(pixel_at(y, x), 0xFF);
        translucent |= a != 0xFF;
        visible |= a != 0;
      }
    }
  }
  const bool keep_alpha = translucent && visible;

  Picture picture(layout.width, layout.height, keep_alpha ? 32 : 24);
  const std::size_t out_step = keep_alpha ? 4 : 3;
  for (std::uint32_t y = 0; y < layout.height; ++y) {
    const std::uint32_t stored_row = layout.top_down ? layout.height - 1 - y : y;
    std::uint8_t* out = picture.row(y).data();
    for (std::uint32_t x = 0; x < layout.width; ++x, out += out_step) {
      const std::uint32_t value = pixel_at(stored_row, x);
      out[0] = blue.Extract(value, 0);
      out[1] = green.Extract(value, 0);
      out[2] = red.Extract(value, 0);
      if (keep_alpha) out[3] = alpha.Extract(value, 0xFF);
    }
  }
  return picture;
}

}  // namespace

std::optional<Picture> DecodeBmp(std::span<const std::uint8_t> file) {
  ByteReader in(file);
  if (in.U8() != 'B' || in.U8() != 'M') return std::nullopt;
  in.Skip(8);  // file size and reserved words: writers disagree on them
  const std::uint32_t pixel_offset = in.U32();
  const std::uint32_t header_size = in.U32();
  if (!in.ok()) return std::nullopt;

  std::optional<BmpLayout> layout;
  if (header_size == kCoreHeaderSize) {
    layout = ReadCoreHeader(in);
  } else if (header_size >= BITMAPINFOHEADER::kEncodedSize && header_size <= 124) {
    layout = ReadInfoHeader(in, header_size);
  }
  if (!layout || layout->width == 0 || layout->height == 0) return std::nullopt;

  const std::uint16_t bpp = layout->bits_per_pixel;
  const bool masked_depth = bpp == 16 || bpp == 32;
  const bool supported = layout->compression == kBiRgb
                             ? masked_depth || bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24
                             : masked_depth && layout->masks[0] != 0;  // bit fields; run lengths are not
  if (!supported) return std::nullopt;

  // The rows must all be there: this bounds every allocation by the file's size.
  const std::uint64_t stride = DibStride(layout->width, bpp);
  const std::uint64_t pixel_bytes = stride * layout->height;
  if (pixel_offset < layout->palette_offset || pixel_offset > file.size() ||
      pixel_bytes > file.size() - pixel_offset ||
      static_cast<std::uint64_t>(layout->width) * layout->height > kMaxPicturePixels) {
    return std::nullopt;
  }
  const auto pixels = file.subspan(pixel_offset, static_cast<std::size_t>(pixel_bytes));

  if (masked_depth) return DecodeMasked(pixels, static_cast<std::size_t>(stride), *layout);

  Picture picture(layout->width, layout->height, bpp);
  if (bpp <= 8 && !ReadPalette(file, pixel_offset, *layout, picture)) return std::nullopt;
  for (std::uint32_t y = 0; y < layout->height; ++y) {
    const std::uint32_t stored_row = layout->top_down ? layout->height - 1 - y : y;
    const auto source = pixels.subspan(static_cast<std::size_t>(stored_row * stride), static_cast<std::size_t>(stride));
    std::copy(source.begin(), source.end(), picture.row(y).begin());
  }
  return picture;
}

}  // namespace recfilereader
