#include "platform/media/picture.h"

#include <cassert>
#include <cstring>

#include "platform/bytes.h"
#include "platform/media/bmpdecoder.h"
#include "platform/media/stbdecoder.h"

namespace recfilereader {

Picture::Picture(std::uint32_t width, std::uint32_t height, std::uint16_t bits_per_pixel)
    : width_(width),
      height_(height),
      bits_per_pixel_(bits_per_pixel),
      effective_width_(static_cast<std::uint32_t>(DibStride(width, bits_per_pixel))) {
  assert(width > 0 && height > 0);
  assert(bits_per_pixel == 1 || bits_per_pixel == 4 || bits_per_pixel == 8 || bits_per_pixel == 24 ||
         bits_per_pixel == 32);
  if (bits_per_pixel <= 8) palette_.resize(std::size_t{1} << bits_per_pixel);
  bits_.resize(static_cast<std::size_t>(effective_width_) * height_);
}

std::span<std::uint8_t> Picture::row(std::uint32_t y) {
  assert(y < height_);
  return std::span<std::uint8_t>(bits_).subspan(static_cast<std::size_t>(y) * effective_width_,
                                                effective_width_);
}

std::span<const std::uint8_t> Picture::row(std::uint32_t y) const {
  assert(y < height_);
  return std::span<const std::uint8_t>(bits_).subspan(static_cast<std::size_t>(y) * effective_width_,
                                                      effective_width_);
}

BITMAPINFOHEADER Picture::InfoHeader() const {
  BITMAPINFOHEADER h;
  h.biWidth = static_cast<std::int32_t>(width_);
  h.biHeight = static_cast<std::int32_t>(height_);
  h.biBitCount = bits_per_pixel_;
  h.biCompression = kBiRgb;
  h.biSizeImage = static_cast<std::uint32_t>(bits_.size());
  h.biClrUsed = static_cast<std::uint32_t>(palette_.size());
  return h;
}

namespace {

bool StartsWith(std::span<const std::uint8_t> bytes, std::initializer_list<std::uint8_t> magic) {
  return bytes.size() >= magic.size() && std::equal(magic.begin(), magic.end(), bytes.begin());
}

// The format the bytes' signature names, among those that have one.
std::optional<PictureFormat> FormatBySignature(std::span<const std::uint8_t> bytes) {
  if (StartsWith(bytes, {'B', 'M'})) return PictureFormat::kBmp;
  if (StartsWith(bytes, {'G', 'I', 'F', '8'})) return PictureFormat::kGif;
  if (StartsWith(bytes, {0xFF, 0xD8, 0xFF})) return PictureFormat::kJpg;
  if (StartsWith(bytes, {0x89, 'P', 'N', 'G'})) return PictureFormat::kPng;
  if (StartsWith(bytes, {0x00, 0x00, 0x01, 0x00})) return PictureFormat::kIco;
  if (StartsWith(bytes, {'I', 'I', 0x2A, 0x00}) || StartsWith(bytes, {'M', 'M', 0x00, 0x2A})) {
    return PictureFormat::kTif;
  }
  if (StartsWith(bytes, {0x8A, 'M', 'N', 'G'})) return PictureFormat::kMng;
  if (StartsWith(bytes, {'8', 'B', 'P', 'S'})) return PictureFormat::kPsd;
  return std::nullopt;
}

}  // namespace

std::optional<Picture> DecodePicture(std::uint32_t format, std::span<const std::uint8_t> encoded) {
  if (format > static_cast<std::uint32_t>(PictureFormat::kPsd)) return std::nullopt;
  // Writers have stored mislabelled pictures; the signature is the better witness. TGA has no
  // signature, so it is decoded only when named.
  PictureFormat actual = static_cast<PictureFormat>(format);
  if (const auto signed_as = FormatBySignature(encoded)) actual = *signed_as;

  switch (actual) {
    case PictureFormat::kBmp:
      return DecodeBmp(encoded);
    case PictureFormat::kGif:
    case PictureFormat::kJpg:
    case PictureFormat::kPng:
    case PictureFormat::kTga:
      return DecodeWithStb(actual, encoded);
    default:
      return std::nullopt;
  }
}

std::optional<Picture> DecodePicturePayload(std::span<const std::uint8_t> payload) {
  if (payload.size() < 4) return std::nullopt;
  return DecodePicture(LoadLe32(payload.data()), payload.subspan(4));
}

}  // namespace recfilereader
