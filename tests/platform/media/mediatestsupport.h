// Helpers of the media tests: an independent BMP encoder, the ffmpeg peer and raw pictures.
#ifndef RECFILEREADER_TESTS_PLATFORM_MEDIA_MEDIATESTSUPPORT_H
#define RECFILEREADER_TESTS_PLATFORM_MEDIA_MEDIATESTSUPPORT_H

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/media/mediaformats.h"
#include "support/peerprograms.h"
#include "support/tempdir.h"

namespace mediatest {

using rectest::RunCapture;

// A BMP file to encode. `rows` are the stored rows in file order, each already padded to the
// stride; `height` negative writes a top-down file.
struct BmpSpec {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t bits_per_pixel = 24;
  std::uint32_t compression = 0;
  std::uint32_t header_size = 40;  // 12 (core), 40, 56, 108 or 124
  std::vector<std::array<std::uint8_t, 3>> palette;  // B, G, R
  std::array<std::uint32_t, 4> masks{};              // R, G, B, A (bit fields only)
  std::vector<std::uint8_t> pixels;
};
std::vector<std::uint8_t> EncodeBmp(const BmpSpec& spec);


// A test that runs ffmpeg and ffprobe (skipped without them) in a private temporary directory.
class PeerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  rectest::TempDir dir_;
};

// The values `ffprobe -show_streams -count_frames` gives for `keys` of the only stream of `file`,
// separated by blanks (empty for a key it does not give).
std::string Probe(const std::filesystem::path& file, std::initializer_list<const char*> keys);

// A deterministic BGR colour for pixel (x, y) of a test picture, smooth enough for JPEG.
std::array<std::uint8_t, 3> TestColor(std::uint32_t x, std::uint32_t y);

// A PCM format: `channels` of `bits` at `rate` samples per second.
recfilereader::WAVEFORMATEX Pcm(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits);

}  // namespace mediatest

#endif  // RECFILEREADER_TESTS_PLATFORM_MEDIA_MEDIATESTSUPPORT_H
