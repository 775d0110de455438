#include "platform/media/mediaformats.h"

#include "platform/bytes.h"

namespace recfilereader {

std::optional<WAVEFORMATEX> WAVEFORMATEX::DecodeFrom(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kMinimumSize) return std::nullopt;
  ByteReader in(bytes);
  WAVEFORMATEX f;
  f.wFormatTag = in.U16();
  f.nChannels = in.U16();
  f.nSamplesPerSec = in.U32();
  f.nAvgBytesPerSec = in.U32();
  f.nBlockAlign = in.U16();
  f.wBitsPerSample = in.U16();
  if (in.Have(2)) f.cbSize = in.U16();
  return f;
}

std::array<std::uint8_t, WAVEFORMATEX::kEncodedSize> WAVEFORMATEX::Encode() const {
  std::array<std::uint8_t, kEncodedSize> out{};
  StoreLe16(&out[0], wFormatTag);
  StoreLe16(&out[2], nChannels);
  StoreLe32(&out[4], nSamplesPerSec);
  StoreLe32(&out[8], nAvgBytesPerSec);
  StoreLe16(&out[12], nBlockAlign);
  StoreLe16(&out[14], wBitsPerSample);
  StoreLe16(&out[16], cbSize);
  return out;
}

std::optional<BITMAPINFOHEADER> BITMAPINFOHEADER::DecodeFrom(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kEncodedSize) return std::nullopt;
  ByteReader in(bytes);
  BITMAPINFOHEADER h;
  h.biSize = in.U32();
  h.biWidth = static_cast<std::int32_t>(in.U32());
  h.biHeight = static_cast<std::int32_t>(in.U32());
  h.biPlanes = in.U16();
  h.biBitCount = in.U16();
  h.biCompression = in.U32();
  h.biSizeImage = in.U32();
  h.biXPelsPerMeter = static_cast<std::int32_t>(in.U32());
  h.biYPelsPerMeter = static_cast<std::int32_t>(in.U32());
  h.biClrUsed = in.U32();
  h.biClrImportant = in.U32();
  return h;
}

std::array<std::uint8_t, BITMAPINFOHEADER::kEncodedSize> BITMAPINFOHEADER::Encode() const {
  std::array<std::uint8_t, kEncodedSize> out{};
  StoreLe32(&out[0], biSize);
  StoreLe32(&out[4], static_cast<std::uint32_t>(biWidth));
  StoreLe32(&out[8], static_cast<std::uint32_t>(biHeight));
  StoreLe16(&out[12], biPlanes);
  StoreLe16(&out[14], biBitCount);
  StoreLe32(&out[16], biCompression);
  StoreLe32(&out[20], biSizeImage);
  StoreLe32(&out[24], static_cast<std::uint32_t>(biXPelsPerMeter));
  StoreLe32(&out[28], static_cast<std::uint32_t>(biYPelsPerMeter));
  StoreLe32(&out[32], biClrUsed);
  StoreLe32(&out[36], biClrImportant);
  return out;
}

}  // namespace recfilereader
