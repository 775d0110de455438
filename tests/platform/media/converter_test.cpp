// The AVI converters, cross-checked with ffprobe and ffmpeg as independent readers: what they
// report and decode must be what went in.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "platform/bytes.h"
#include "platform/media/mediatestsupport.h"
#include "platform/media/picture.h"
#include "platform/textconv.h"
#include "properties/audioconverter.h"
#include "properties/videoconverter.h"
#include "support/propvarianttext.h"
#include "support/recbuilder.h"
#include "support/testmemory.h"

namespace recfilereader {
namespace {

using mediatest::Pcm;
using mediatest::Probe;
using mediatest::RunCapture;
using rectest::PropVariantHolder;
using rectest::TempDir;

std::vector<std::uint8_t> BlobBytes(const PropVariantHolder& v) {
  return {v->blob.pBlobData, v->blob.pBlobData + v->blob.cbSize};
}

using AviPeer = mediatest::PeerTest;

// What ffmpeg decodes must be the samples that went in. ffprobe estimates an AVI audio
// stream's duration from the bit rate; the stream's length in samples is its frame count.
TEST_F(AviPeer, AudioDecodesToTheSamplesThatWentIn) {
  struct Case {
    const char* name;
    WAVEFORMATEX format;
    std::size_t bytes;
    const char* codec;
    const char* channels;
    const char* samples;
    const char* raw_format;
  };
  const Case cases[] = {
      {"one second of mono 16 bit", Pcm(1, 8000, 16), 16000, "pcm_s16le", "1", "8000", "s16le"},
      {"stereo 16 bit counts blocks", Pcm(2, 8000, 16), 32000, "pcm_s16le", "2", "8000", "s16le"},
      {"mono 8 bit, odd size", Pcm(1, 8000, 8), 8001, "pcm_u8", "1", "8001", "u8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto samples = rectest::PlainPayload(c.bytes, 1);
    PropVariantHolder input = rectest::Blob(samples), result;
    const auto avi = dir_ / "temp.avi";
    CAudioConverter::RawAudioToAviBlob(c.format, input.get(), result.get(), avi.wstring());
    ASSERT_EQ(result.vt(), VT_BLOB);
    EXPECT_EQ(rectest::ReadFileBytes(avi), BlobBytes(result)) << "the temporary file stays";
    EXPECT_EQ(Probe(avi, {"codec_name", "sample_rate", "channels", "time_base", "nb_frames"}),
              std::string(c.codec) + " 8000 " + c.channels + " 1/8000 " + c.samples);
    const auto decoded = RunCapture("ffmpeg -v error -i '" + avi.string() + "' -f " + c.raw_format + " -");
    ASSERT_TRUE(decoded);
    EXPECT_EQ(std::vector<std::uint8_t>(decoded->begin(), decoded->end()), samples);
  }
}

Picture TestFrame(std::uint32_t width, std::uint32_t height, std::uint8_t seed) {
  Picture picture(width, height, 24);
  for (std::uint32_t i = 0; i < width * height; ++i) {
    const std::uint32_t x = i % width, y = i / width;
    const std::uint8_t bgr[] = {static_cast<std::uint8_t>(x + seed), static_cast<std::uint8_t>(y * 2),
                                static_cast<std::uint8_t>(x ^ y ^ seed)};
    std::memcpy(picture.row(y).data() + 3 * x, bgr, 3);
  }
  return picture;
}

// Top-down BGR bytes of every pixel, as ffmpeg decodes raw video.
std::vector<std::uint8_t> TopDownBgr(const Picture& picture) {
  const bool indexed = picture.bits_per_pixel() == 8;
  std::vector<std::uint8_t> out;
  for (std::uint32_t y = picture.height(); y-- > 0;) {
    for (std::uint32_t x = 0; x < picture.width(); ++x) {
      const std::uint8_t* p = picture.row(y).data() + (indexed ? x : 3 * x);
      const RgbQuad c = indexed ? picture.palette()[*p] : RgbQuad{p[0], p[1], p[2]};
      out.insert(out.end(), {c.blue, c.green, c.red});
    }
  }
  return out;
}

// Frames of the first frame's size at 15 per second; a frame of another size is left out.
TEST_F(AviPeer, VideoDecodesToTheFramesThatWentIn) {
  Picture palettized(161, 3, 8);  // 161 pixels wide: rows are padded to 164 bytes
  for (std::size_t i = 0; i < palettized.palette().size(); ++i) {
    palettized.palette()[i] = RgbQuad{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                                      static_cast<std::uint8_t>(i * 3), 0};
  }
  for (std::uint32_t y = 0; y < 3; ++y) {
    for (std::uint32_t x = 0; x < 161; ++x) palettized.row(y)[x] = static_cast<std::uint8_t>(x + 40 * y);
  }
  struct Case { const char* name; std::vector<Picture> frames; const char* pix_fmt; const char* frame_count; };
  const Case cases[] = {
      {"true colour", {TestFrame(160, 120, 0), TestFrame(8, 8, 1), TestFrame(160, 120, 50), TestFrame(160, 120, 100)},
       "bgr24", "3"},
      {"palettized", {palettized}, "pal8", "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PropVariantHolder result;
    const auto avi = dir_ / "temp.avi";
    CVideoConverter::RawVideoToAviBlob(c.frames, result.get(), avi.wstring());
    EXPECT_EQ(rectest::ReadFileBytes(avi), BlobBytes(result));
    EXPECT_EQ(Probe(avi, {"codec_name", "pix_fmt", "width", "height", "r_frame_rate", "nb_read_frames", "TAG:title"}),
              "rawvideo " + std::string(c.pix_fmt) + " " + std::to_string(c.frames[0].width()) + " " +
                  std::to_string(c.frames[0].height()) + " 15/1 " + c.frame_count + " Video Stream");
    const auto decoded = RunCapture("ffmpeg -v error -i '" + avi.string() + "' -f rawvideo -pix_fmt bgr24 -");
    ASSERT_TRUE(decoded);
    std::vector<std::uint8_t> expected;
    for (const Picture& frame : c.frames) {
      if (frame.width() != c.frames[0].width()) continue;
      const auto pixels = TopDownBgr(frame);
      expected.insert(expected.end(), pixels.begin(), pixels.end());
    }
    EXPECT_EQ(std::vector<std::uint8_t>(decoded->begin(), decoded->end()), expected);
  }
}

// The failure texts: the system's text first, then where it arose.
TEST(AviConverters, FailuresAreLocatedRunTimeErrors) {
  TempDir dir;
  const auto temp = (dir / "temp.avi").wstring(), missing_folder = (dir / "none" / "t.avi").wstring();
  PropVariantHolder samples = rectest::Blob(rectest::PlainPayload(100, 1)), result;
  WAVEFORMATEX no_block = Pcm(1, 8000, 16);
  no_block.nBlockAlign = 0;
  const std::wstring audio = L" (File: audioconverter, Function: CAudioConverter::RawAudioToAviBlob, Line: ";
  const struct Case { std::function<void()> run; std::wstring text_start; } cases[] = {
      {[&] { CAudioConverter::RawAudioToAviBlob(no_block, samples.get(), result.get(), temp); },
       L"0x00000016 Invalid argument" + audio},
      {[&] { CAudioConverter::RawAudioToAviBlob(Pcm(1, 8000, 16), samples.get(), result.get(), missing_folder); },
       L"0x00000002 No such file or directory" + audio},
      {[&] { CVideoConverter::RawVideoToAviBlob({}, result.get(), temp); },
       L"No video frames to convert (File: videoconverter, Function: CVideoConverter::RawVideoToAviBlob, Line: "},
  };
  for (const Case& c : cases) {
    const std::wstring text = rectest::RaisedText(c.run);
    EXPECT_EQ(text.substr(0, c.text_start.size()), c.text_start) << WideToUtf8(text);
    EXPECT_EQ(result.vt(), VT_EMPTY);
  }
}

TEST(AviConverters, AudioWithoutSamplesIsAnEmptyStream) {
  TempDir dir;
  PropVariantHolder result;  // samples that are no blob
  CAudioConverter::RawAudioToAviBlob(Pcm(1, 8000, 16), rectest::I4(0).get(), result.get(), (dir / "t.avi").wstring());
  const auto avi = BlobBytes(result);
  ASSERT_GE(avi.size(), 0x800u + 8);
  EXPECT_EQ(LoadLe32(&avi[0x06C + 32]), 0u) << "stream length";
  EXPECT_EQ(std::string(avi.begin() + 0x800, avi.begin() + 0x804), "00wb");
  EXPECT_EQ(LoadLe32(&avi[0x804]), 0u);
}

}  // namespace
}  // namespace recfilereader
