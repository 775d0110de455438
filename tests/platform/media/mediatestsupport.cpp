#include "platform/media/mediatestsupport.h"

namespace mediatest {
namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::size_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, static_cast<std::uint32_t>(v >> 16));
}

}  // namespace

std::vector<std::uint8_t> EncodeBmp(const BmpSpec& spec) {
  const bool core = spec.header_size == 12;
  const std::size_t entry = core ? 3 : 4;
  const bool masks_after = spec.header_size == 40 && spec.compression == 3;
  const std::size_t head = 14 + spec.header_size + (masks_after ? 12 : 0) + entry * spec.palette.size();

  std::vector<std::uint8_t> out{'B', 'M'};
  for (std::size_t v : {head + spec.pixels.size(), std::size_t{0}, head, std::size_t{spec.header_size}}) Put32(out, v);
  const auto width = static_cast<std::uint32_t>(spec.width), height = static_cast<std::uint32_t>(spec.height);
  for (std::uint32_t v : {width, height}) core ? Put16(out, v) : Put32(out, v);
  Put16(out, 1);
  Put16(out, spec.bits_per_pixel);
  if (!core) {
    for (std::size_t v : {std::size_t{spec.compression}, spec.pixels.size(), std::size_t{2835}, std::size_t{2835},
                          spec.palette.size(), std::size_t{0}})
      Put32(out, v);
    if (spec.header_size > 40 || masks_after) {
      const int count = spec.header_size >= 56 ? 4 : 3;
      for (int i = 0; i < count; ++i) Put32(out, spec.masks[static_cast<std::size_t>(i)]);
    }
    while (out.size() < 14 + spec.header_size) out.push_back(0);
  }
  for (const auto& color : spec.palette) {
    out.insert(out.end(), color.begin(), color.end());
    if (!core) out.push_back(0);
  }
  out.insert(out.end(), spec.pixels.begin(), spec.pixels.end());
  return out;
}

void PeerTest::SetUp() {
  if (!RunCapture("command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null")) GTEST_SKIP() << "no ffmpeg or ffprobe";
}

std::string Probe(const std::filesystem::path& file, std::initializer_list<const char*> keys) {
  const std::string probe = "\n" + RunCapture("ffprobe -v error -count_frames -show_streams -of default=noprint_wrappers=1 '" +
                                               file.string() + "'").value_or("");
  std::string values;
  for (const std::string key : keys) {
    const std::size_t at = probe.find("\n" + key + "="), from = at == std::string::npos ? probe.size() : at + key.size() + 2;
    values += (values.empty() ? "" : " ") + probe.substr(from, probe.find('\n', from) - from);
  }
  return values;
}

std::array<std::uint8_t, 3> TestColor(std::uint32_t x, std::uint32_t y) {
  return {static_cast<std::uint8_t>(40 + 6 * x), static_cast<std::uint8_t>(200 - 5 * y),
          static_cast<std::uint8_t>(100 + 3 * (x + y))};
}

recfilereader::WAVEFORMATEX Pcm(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
  recfilereader::WAVEFORMATEX f;
  f.wFormatTag = 1;
  f.nChannels = channels;
  f.nSamplesPerSec = rate;
  f.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
  f.nAvgBytesPerSec = rate * f.nBlockAlign;
  f.wBitsPerSample = bits;
  return f;
}

}  // namespace mediatest
