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

struct ChunkAt {
  std::size_t offset;
  const char* id;
  std::uint32_t size;
};

void ExpectChunks(const std::vector<std::uint8_t>& file, std::initializer_list<ChunkAt> chunks) {
  for (const ChunkAt& chunk : chunks) {
    SCOPED_TRACE(chunk.id);
    ASSERT_LE(chunk.offset + 8, file.size());
    EXPECT_EQ(FourCCAt(file, chunk.offset), chunk.id);
    EXPECT_EQ(LoadLe32(&file[chunk.offset + 4]), chunk.size);
  }
}

// An audio stream counted in blocks, as the audio converter makes it.
AviStreamSettings AudioStream(const WAVEFORMATEX& format) {
  AviStreamSettings stream;
  stream.type = kStreamTypeAudio;
  stream.scale = format.nBlockAlign;
  stream.rate = format.nSamplesPerSec * format.nBlockAlign;
  stream.sample_size = format.nBlockAlign;
  return stream;
}

std::vector<std::uint8_t> WriteAudio(const std::filesystem::path& path, const WAVEFORMATEX& format,
                                     std::size_t sample_bytes) {
  AviWriter avi;
  EXPECT_EQ(avi.Create(path.string()), 0);
  EXPECT_EQ(avi.CreateStream(AudioStream(format)), 0);
  EXPECT_EQ(avi.SetFormat(format.Encode()), 0);
  EXPECT_EQ(avi.Write(std::vector<std::uint8_t>(sample_bytes, 0x55), 0), 0);
  EXPECT_EQ(avi.Close(), 0);
  return ReadFileBytes(path);
}

TEST(AviWriter, AudioFileHasTheLayoutOfThePlatformWriter) {
  TempDir dir;
  const auto file = WriteAudio(dir / "a.avi", Pcm(1, 8000, 16), 16000);
  ASSERT_EQ(file.size(), 18080u);
  ExpectChunks(file, {{0x000, "RIFF", 18072}, {0x00C, "LIST", 170}, {0x018, "avih", 56},
                      {0x058, "LIST", 94},    {0x064, "strh", 56},  {0x0A4, "strf", 18},
                      {0x0BE, "JUNK", 1838},  {0x7F4, "LIST", 16012}, {0x800, "00wb", 16000},
                      {0x4688, "idx1", 16}});
  EXPECT_EQ(FourCCAt(file, 0x7FC), "movi");
  // idx1: the chunk's header lies 4 bytes after the 'movi' fourcc; audio is always a key frame.
  EXPECT_EQ(FourCCAt(file, 0x4690), "00wb");
  EXPECT_EQ(LoadLe32(&file[0x4694]), 0x10u);
  EXPECT_EQ(LoadLe32(&file[0x4698]), 4u);
  EXPECT_EQ(LoadLe32(&file[0x469C]), 16000u);
  // avih: 125 µs per sample, 16000 bytes/s, index present, 8000 samples, one stream.
  EXPECT_EQ(LoadLe32(&file[0x020]), 125u);
  EXPECT_EQ(LoadLe32(&file[0x024]), 16000u);
  EXPECT_EQ(LoadLe32(&file[0x02C]) & 0x10, 0x10u);
  EXPECT_EQ(LoadLe32(&file[0x030]), 8000u);
  EXPECT_EQ(LoadLe32(&file[0x038]), 1u);
  // strh: scale = block size, rate = bytes per second, length in blocks, sample size.
  EXPECT_EQ(FourCCAt(file, 0x06C), "auds");
  EXPECT_EQ(LoadLe32(&file[0x06C + 20]), 2u);
  EXPECT_EQ(LoadLe32(&file[0x06C + 24]), 16000u);
  EXPECT_EQ(LoadLe32(&file[0x06C + 32]), 8000u);
  EXPECT_EQ(LoadLe32(&file[0x06C + 44]), 2u);
}

TEST(AviWriter, OddSizedChunkIsPaddedButKeepsItsSize) {
  TempDir dir;
  const auto file = WriteAudio(dir / "a.avi", Pcm(1, 8000, 8), 8001);
  ExpectChunks(file, {{0x7F4, "LIST", 4 + 8 + 8002}, {0x800, "00wb", 8001}, {0x800 + 8 + 8002, "idx1", 16}});
  EXPECT_EQ(file[0x800 + 8 + 8001], 0);
  EXPECT_EQ(LoadLe32(&file[4]), file.size() - 8);
}

TEST(AviWriter, VideoFileHasTheLayoutOfThePlatformWriter) {
  TempDir dir;
  const auto path = dir / "v.avi";
  BITMAPINFOHEADER header;
  header.biWidth = 160;
  header.biHeight = 120;
  header.biBitCount = 24;
  header.biSizeImage = 57600;
  {
    AviWriter avi;
    ASSERT_EQ(avi.Create(path.string()), 0);
    AviStreamSettings stream;
    stream.type = kStreamTypeVideo;
    stream.scale = 100;
    stream.rate = 1500;
    stream.quality = 0xFFFFFFFF;
    stream.name = "Video Stream";
    ASSERT_EQ(avi.CreateStream(stream), 0);
    ASSERT_EQ(avi.SetFormat(header.Encode()), 0);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(avi.Write(std::vector<std::uint8_t>(57600, 0x20), kAviIndexKeyFrame), 0);
    ASSERT_EQ(avi.Close(), 0);
  }
  const auto file = ReadFileBytes(path);
  ASSERT_EQ(file.size(), 174928u);
  ExpectChunks(file, {{0x000, "RIFF", 174920}, {0x00C, "LIST", 214}, {0x058, "LIST", 138},
                      {0x0A4, "strf", 40},     {0x0D4, "strn", 14},  {0x0EA, "JUNK", 1794},
                      {0x7F4, "LIST", 172828}, {0x800, "00db", 57600}, {0xE908, "00db", 57600},
                      {0x1CA10, "00db", 57600}, {0x2AB18, "idx1", 48}});
  EXPECT_EQ(std::string(file.begin() + 0xDC, file.begin() + 0xDC + 14), std::string("Video Stream\0\0", 14));
  // avih: 66667 µs per frame, 864000 bytes/s, 3 frames of 160 x 120.
  EXPECT_EQ(LoadLe32(&file[0x020]), 66667u);
  EXPECT_EQ(LoadLe32(&file[0x024]), 864000u);
  EXPECT_EQ(LoadLe32(&file[0x030]), 3u);
  EXPECT_EQ(LoadLe32(&file[0x040]), 160u);
  EXPECT_EQ(LoadLe32(&file[0x044]), 120u);
  // strh: quality -1, rcFrame 0,0,160,120.
  EXPECT_EQ(LoadLe32(&file[0x06C + 40]), 0xFFFFFFFFu);
  EXPECT_EQ(LoadLe16(&file[0x06C + 52]), 160u);
  EXPECT_EQ(LoadLe16(&file[0x06C + 54]), 120u);
  // Index offsets run from the 'movi' fourcc.
  EXPECT_EQ(LoadLe32(&file[0x2AB20 + 8]), 4u);
  EXPECT_EQ(LoadLe32(&file[0x2AB20 + 16 + 8]), 0xE908u - 0x7FCu);
}

TEST(AviWriter, RefusesStreamsAndFormatsNoPlayerCouldUse) {
  const WAVEFORMATEX good = Pcm(1, 8000, 16);
  struct Case {
    const char* name;
    std::uint32_t type;
    std::uint32_t scale;
    std::vector<std::uint8_t> format;
    int create_stream;
    int set_format;
  };
  auto audio = [&](auto edit) {
    WAVEFORMATEX f = good;
    edit(f);
    const auto bytes = f.Encode();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
  };
  auto video = [](auto edit, std::size_t palette_entries) {
    BITMAPINFOHEADER h;
    h.biWidth = 4;
    h.biHeight = 4;
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
    AviStreamSettings stream;
    stream.type = c.type;
    stream.scale = c.scale;
    stream.rate = 16000;
    EXPECT_EQ(avi.CreateStream(stream), c.create_stream);
    EXPECT_EQ(avi.SetFormat(c.format), c.set_format);
    if (c.set_format != 0) {
      EXPECT_EQ(avi.Write(std::vector<std::uint8_t>(4), 0), EINVAL);
    }
  }
}

TEST(AviWriter, FormatIsFixedOnceDataIsWritten) {
  TempDir dir;
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
