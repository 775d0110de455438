// The AVI writer's file layout, checked against the offsets of files the platform's AVI
// services wrote for the same input, and its refusal of formats no player could use.
#include "platform/media/aviwriter.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/bytes.h"
#include "mediatestsupport.h"
#include "platform/media/mediaformats.h"
#include "support/tempdir.h"

namespace recfilereader {
namespace {

using mediatest::Pcm;

using rectest::ReadFileBytes;
using rectest::TempDir;

std::string FourCCAt(const std::vector<std::uint8_t>& file, std::size_t offset) {
  return std::string(file.begin() + static_cast<std::ptrdiff_t>(offset),
                     file.begin() + static_cast<std::ptrdiff_t>(offset + 4));
}

// A chunk's fourcc and size; size 0 checks a fourcc alone (list and stream types).
struct ChunkAt { std::size_t offset; const char* id; std::uint32_t size; };
struct FieldAt { std::size_t offset; std::uint32_t value; };  // little-endian 32 bits

void ExpectLayout(const std::vector<std::uint8_t>& file, std::size_t size, std::initializer_list<ChunkAt> chunks,
                  std::initializer_list<FieldAt> fields) {
  ASSERT_EQ(file.size(), size);
  for (const ChunkAt& chunk : chunks) {
    SCOPED_TRACE(chunk.id);
    EXPECT_EQ(FourCCAt(file, chunk.offset), chunk.id);
    EXPECT_TRUE(chunk.size == 0 || LoadLe32(&file[chunk.offset + 4]) == chunk.size) << LoadLe32(&file[chunk.offset + 4]);
  }
  for (const FieldAt& field : fields) EXPECT_EQ(LoadLe32(&file[field.offset]), field.value) << field.offset;
}

// An audio stream counted in blocks, as the audio converter makes it.
AviStreamSettings AudioStream(const WAVEFORMATEX& format) {
  return {.type = kStreamTypeAudio, .scale = format.nBlockAlign, .rate = format.nSamplesPerSec * format.nBlockAlign,
          .sample_size = format.nBlockAlign, .name = {}};
}

// Files of the same input as the platform's AVI services wrote them, offset by offset.
TEST(AviWriter, FilesHaveTheLayoutOfThePlatformWriter) {
  TempDir dir;
  auto write = [&](const AviStreamSettings& stream, const std::vector<std::uint8_t>& format,
                   std::vector<std::vector<std::uint8_t>> chunks, std::uint32_t flags) {
    AviWriter avi;
    EXPECT_EQ(avi.Create((dir / "x.avi").string()), 0);
    EXPECT_EQ(avi.CreateStream(stream), 0);
    EXPECT_EQ(avi.SetFormat(format), 0);
    for (const auto& chunk : chunks) EXPECT_EQ(avi.Write(chunk, flags), 0);
    EXPECT_EQ(avi.Close(), 0);
    return ReadFileBytes(dir / "x.avi");
  };
  auto audio = [&](const WAVEFORMATEX& format, std::size_t bytes) {
    const auto encoded = format.Encode();
    return write(AudioStream(format), {encoded.begin(), encoded.end()}, {std::vector<std::uint8_t>(bytes, 0x55)}, 0);
  };
  // avih: 125 us per sample, 16000 bytes/s, index present, 8000 samples, one stream; strh: scale =
  // block size, rate = bytes per second, length in blocks, sample size. idx1: the chunk's header
  // lies 4 bytes after the 'movi' fourcc; audio is always a key frame.
  const auto mono = audio(Pcm(1, 8000, 16), 16000);
  ExpectLayout(mono, 18080,
               {{0x000, "RIFF", 18072}, {0x00C, "LIST", 170}, {0x018, "avih", 56}, {0x058, "LIST", 94},
                {0x064, "strh", 56}, {0x06C, "auds", 0}, {0x0A4, "strf", 18}, {0x0BE, "JUNK", 1838},
                {0x7F4, "LIST", 16012}, {0x7FC, "movi", 0}, {0x800, "00wb", 16000}, {0x4688, "idx1", 16},
                {0x4690, "00wb", 0}},
               {{0x020, 125}, {0x024, 16000}, {0x030, 8000}, {0x038, 1}, {0x06C + 20, 2},
                {0x06C + 24, 16000}, {0x06C + 32, 8000}, {0x06C + 44, 2}, {0x4694, 0x10}, {0x4698, 4},
                {0x469C, 16000}});
  ASSERT_GE(mono.size(), 0x30u);
  EXPECT_EQ(LoadLe32(&mono[0x02C]) & 0x10, 0x10u) << "index present";
  // An odd-sized chunk keeps its size and is padded with a zero after its last sample byte.
  ExpectLayout(audio(Pcm(1, 8000, 8), 8001), 0x800 + 8 + 8002 + 24,
               {{0x000, "RIFF", 0x800 + 8002 + 24}, {0x7F4, "LIST", 4 + 8 + 8002}, {0x800, "00wb", 8001},
                {0x800 + 8 + 8002, "idx1", 16}},
               {{0x800 + 8 + 7998, 0x00555555}});

  BITMAPINFOHEADER header;
  header.biWidth = 160;
  header.biHeight = 120;
  header.biBitCount = 24;
  header.biSizeImage = 57600;
  AviStreamSettings stream{.type = kStreamTypeVideo, .scale = 100, .rate = 1500, .quality = 0xFFFFFFFF, .name = "Video Stream"};
  const auto encoded = header.Encode();
  const auto video = write(stream, {encoded.begin(), encoded.end()},
                           std::vector<std::vector<std::uint8_t>>(3, std::vector<std::uint8_t>(57600, 0x20)),
                           kAviIndexKeyFrame);
  // avih: 66667 us per frame, 864000 bytes/s, 3 frames of 160 x 120; strh: quality -1, rcFrame
  // 0,0,160,120; index offsets run from the 'movi' fourcc.
  ExpectLayout(video, 174928,
               {{0x000, "RIFF", 174920}, {0x00C, "LIST", 214}, {0x058, "LIST", 138}, {0x0A4, "strf", 40},
                {0x0D4, "strn", 14}, {0x0EA, "JUNK", 1794}, {0x7F4, "LIST", 172828},
                {0x800, "00db", 57600}, {0xE908, "00db", 57600}, {0x1CA10, "00db", 57600}, {0x2AB18, "idx1", 48}},
               {{0x020, 66667}, {0x024, 864000}, {0x030, 3}, {0x040, 160}, {0x044, 120}, {0x06C + 40, 0xFFFFFFFF},
                {0x06C + 52, 160 | 120 << 16}, {0x2AB20 + 8, 4}, {0x2AB20 + 16 + 8, 0xE908 - 0x7FC}});
  EXPECT_EQ(std::string(video.begin() + 0xDC, video.begin() + 0xDC + 14), std::string("Video Stream\0\0", 14));
}

TEST(AviWriter, RefusesFormatsNoPlayerCouldUseAndChangesAfterData) {
  struct Case {
    const char* name;
    std::uint32_t type;
    std::uint32_t scale;
    std::vector<std::uint8_t> format;
    int create_stream;
    int set_format;
  };
  auto audio = [](auto edit) {
    WAVEFORMATEX f = Pcm(1, 8000, 16);
    edit(f);
    const auto bytes = f.Encode();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
  };
  auto video = [](auto edit, std::size_t palette_entries) {
    BITMAPINFOHEADER h;
    h.biWidth = h.biHeight = 4;
    h.biBitCount = 8;
    edit(h);
    const auto bytes = h.Encode();
    std::vector<std::uint8_t> out(bytes.begin(), bytes.end());
    out.resize(out.size() + 4 * palette_entries);
    return out;
  };
  const std::vector<Case> cases = {
      {"zero scale", kStreamTypeAudio, 0, audio([](auto&) {}), EINVAL, EINVAL},
      {"unknown stream type", MakeFourCC('t', 'x', 't', 's'), 2, audio([](auto&) {}), EINVAL, EINVAL},
      {"zero block align", kStreamTypeAudio, 2, audio([](auto& f) { f.nBlockAlign = 0; }), 0, EINVAL},
      {"zero bits per sample", kStreamTypeAudio, 2, audio([](auto& f) { f.wBitsPerSample = 0; }), 0, EINVAL},
      {"zero channels", kStreamTypeAudio, 2, audio([](auto& f) { f.nChannels = 0; }), 0, EINVAL},
      {"short audio format", kStreamTypeAudio, 2, std::vector<std::uint8_t>(15, 1), 0, EINVAL},
      {"8 bpp without its palette", kStreamTypeVideo, 100, video([](auto&) {}, 255), 0, EINVAL},
      {"8 bpp with its palette", kStreamTypeVideo, 100, video([](auto&) {}, 256), 0, 0},
      {"palette larger than the depth", kStreamTypeVideo, 100, video([](auto& h) { h.biClrUsed = 257; }, 257), 0, EINVAL},
      {"zero width", kStreamTypeVideo, 100, video([](auto& h) { h.biWidth = 0; }, 256), 0, EINVAL},
      {"12 bpp", kStreamTypeVideo, 100, video([](auto& h) { h.biBitCount = 12; }, 0), 0, EINVAL},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AviWriter avi;
    ASSERT_EQ(avi.Create((dir / "x.avi").string()), 0);
    EXPECT_EQ(avi.CreateStream({.type = c.type, .scale = c.scale, .rate = 16000, .name = {}}), c.create_stream);
    EXPECT_EQ(avi.SetFormat(c.format), c.set_format);
    EXPECT_EQ(avi.Write(std::vector<std::uint8_t>(4), 0), c.set_format != 0 ? EINVAL : 0);
  }
  // Once data is written, the stream and its format are fixed.
  AviWriter avi;
  ASSERT_EQ(avi.Create((dir / "x.avi").string()), 0);
  ASSERT_EQ(avi.CreateStream(AudioStream(Pcm(1, 8000, 16))), 0);
  ASSERT_EQ(avi.SetFormat(Pcm(1, 8000, 16).Encode()), 0);
  ASSERT_EQ(avi.Write(std::vector<std::uint8_t>(4), 0), 0);
  EXPECT_EQ(avi.SetFormat(Pcm(2, 8000, 16).Encode()), EINVAL);
  EXPECT_EQ(avi.CreateStream(AudioStream(Pcm(1, 8000, 16))), EINVAL);
}

}  // namespace
}  // namespace recfilereader
