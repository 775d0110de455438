// The AVI converters, cross-checked with ffprobe and ffmpeg as independent readers: what they
// report and decode must be what went in.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "base/exceptions.h"
#include "platform/bytes.h"
#include "platform/media/mediatestsupport.h"
#include "platform/media/picture.h"
#include "platform/textconv.h"
#include "properties/audioconverter.h"
#include "properties/videoconverter.h"
#include "recfilereader/propvariant.h"
#include "support/tempdir.h"

namespace recfilereader {
namespace {

using mediatest::Pcm;

using mediatest::HaveTool;
using mediatest::ProbeStream;
using mediatest::ProbeValue;
using mediatest::RunCapture;
using rectest::TempDir;

// A value that frees what it holds: empty, or a VT_BLOB of `bytes`.
struct Blob {
  PROPVARIANT v;
  Blob() { PropVariantInit(&v); }
  explicit Blob(const std::vector<std::uint8_t>& bytes) : Blob() {
    v.vt = VT_BLOB;
    v.blob.cbSize = static_cast<ULONG>(bytes.size());
    v.blob.pBlobData = static_cast<BYTE*>(CoTaskMemAlloc(bytes.size()));
    std::memcpy(v.blob.pBlobData, bytes.data(), bytes.size());
  }
  ~Blob() { PropVariantClear(&v); }
  Blob(const Blob&) = delete;
  Blob& operator=(const Blob&) = delete;
  std::vector<std::uint8_t> bytes() const { return {v.blob.pBlobData, v.blob.pBlobData + v.blob.cbSize}; }
};

std::vector<std::uint8_t> Ramp(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return bytes;
}

// The AVI bytes of `result` written out, so that the peer can read them.
std::filesystem::path SaveBlob(const TempDir& dir, Blob& result) {
  const auto path = dir / "peer.avi";
  rectest::WriteFileBytes(path, result.bytes());
  return path;
}

class AviPeer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("ffprobe") || !HaveTool("ffmpeg")) GTEST_SKIP() << "ffprobe or ffmpeg not installed";
  }
  TempDir dir_;
};

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
    const auto samples = Ramp(c.bytes);
    Blob input(samples), result;
    CAudioConverter::RawAudioToAviBlob(c.format, input.v, result.v, (dir_ / "temp.avi").wstring());
    ASSERT_EQ(result.v.vt, VT_BLOB);
    EXPECT_EQ(rectest::ReadFileBytes(dir_ / "temp.avi"), result.bytes()) << "the temporary file stays";
    const auto avi = SaveBlob(dir_, result);
    const auto probe = ProbeStream(avi);
    ASSERT_TRUE(probe);
    EXPECT_EQ(ProbeValue(*probe, "codec_name"), c.codec);
    EXPECT_EQ(ProbeValue(*probe, "sample_rate"), "8000");
    EXPECT_EQ(ProbeValue(*probe, "channels"), c.channels);
    EXPECT_EQ(ProbeValue(*probe, "time_base"), "1/8000");
    EXPECT_EQ(ProbeValue(*probe, "nb_frames"), c.samples);
    const auto decoded = RunCapture("ffmpeg -v error -i '" + avi.string() + "' -f " + c.raw_format + " -");
    ASSERT_TRUE(decoded);
    EXPECT_EQ(std::vector<std::uint8_t>(decoded->begin(), decoded->end()), samples);
  }
}

Picture TestFrame(std::uint32_t width, std::uint32_t height, std::uint8_t seed) {
  Picture picture(width, height, 24);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      auto* p = picture.row(y).data() + 3 * x;
      p[0] = static_cast<std::uint8_t>(x + seed);
      p[1] = static_cast<std::uint8_t>(y * 2);
      p[2] = static_cast<std::uint8_t>(x ^ y ^ seed);
    }
  }
  return picture;
}

// Top-down rows of `width` * `bytes_per_pixel` bytes, as ffmpeg writes raw video.
std::vector<std::uint8_t> TopDownPixels(const Picture& picture, std::size_t bytes_per_pixel) {
  std::vector<std::uint8_t> out;
  for (std::uint32_t y = picture.height(); y-- > 0;) {
    const auto row = picture.row(y);
    out.insert(out.end(), row.begin(), row.begin() + static_cast<std::ptrdiff_t>(picture.width() * bytes_per_pixel));
  }
  return out;
}

// Three frames of the first frame's size at 15 per second; a frame of another size is left out.
TEST_F(AviPeer, VideoDecodesToTheFramesThatWentIn) {
  const std::vector<Picture> frames = {TestFrame(160, 120, 0), TestFrame(8, 8, 1), TestFrame(160, 120, 50),
                                       TestFrame(160, 120, 100)};
  Blob result;
  CVideoConverter::RawVideoToAviBlob(frames, result.v, (dir_ / "temp.avi").wstring());
  const auto avi = SaveBlob(dir_, result);

  const auto probe = ProbeStream(avi);
  ASSERT_TRUE(probe);
  EXPECT_EQ(ProbeValue(*probe, "codec_name"), "rawvideo");
  EXPECT_EQ(ProbeValue(*probe, "width"), "160");
  EXPECT_EQ(ProbeValue(*probe, "height"), "120");
  EXPECT_EQ(ProbeValue(*probe, "r_frame_rate"), "15/1");
  EXPECT_EQ(ProbeValue(*probe, "nb_read_frames"), "3");
  EXPECT_EQ(ProbeValue(*probe, "TAG:title"), "Video Stream");

  const auto decoded = RunCapture("ffmpeg -v error -i '" + avi.string() + "' -f rawvideo -pix_fmt bgr24 -");
  ASSERT_TRUE(decoded);
  std::vector<std::uint8_t> expected;
  for (const Picture& frame : frames) {
    if (frame.width() != 160) continue;
    const auto rows = TopDownPixels(frame, 3);
    expected.insert(expected.end(), rows.begin(), rows.end());
  }
  EXPECT_EQ(std::vector<std::uint8_t>(decoded->begin(), decoded->end()), expected);
}

TEST_F(AviPeer, PalettizedFrameKeepsItsPalette) {
  // 161 pixels wide: rows are padded to 164 bytes.
  Picture frame(161, 3, 8);
  for (std::size_t i = 0; i < frame.palette().size(); ++i) {
    frame.palette()[i] = RgbQuad{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                                 static_cast<std::uint8_t>(i * 3), 0};
  }
  for (std::uint32_t y = 0; y < 3; ++y) {
    for (std::uint32_t x = 0; x < 161; ++x) frame.row(y)[x] = static_cast<std::uint8_t>(x + 40 * y);
  }
  Blob result;
  CVideoConverter::RawVideoToAviBlob({frame}, result.v, (dir_ / "temp.avi").wstring());
  const auto avi = SaveBlob(dir_, result);

  const auto probe = ProbeStream(avi);
  ASSERT_TRUE(probe);
  EXPECT_EQ(ProbeValue(*probe, "pix_fmt"), "pal8");
  const auto decoded = RunCapture("ffmpeg -v error -i '" + avi.string() + "' -f rawvideo -pix_fmt bgr24 -");
  ASSERT_TRUE(decoded);
  std::vector<std::uint8_t> expected;  // top-down BGR of each pixel's palette entry
  for (std::uint32_t y = 3; y-- > 0;) {
    for (std::uint32_t x = 0; x < 161; ++x) {
      const RgbQuad color = frame.palette()[frame.row(y)[x]];
      expected.insert(expected.end(), {color.blue, color.green, color.red});
    }
  }
  EXPECT_EQ(std::vector<std::uint8_t>(decoded->begin(), decoded->end()), expected);
}

// The failure texts: the system's text first, then where it arose.
TEST(AviConverters, FailuresAreLocatedRunTimeErrors) {
  TempDir dir;
  const auto temp = (dir / "temp.avi").wstring();
  Blob samples(Ramp(100)), result;
  WAVEFORMATEX no_block = Pcm(1, 8000, 16);
  no_block.nBlockAlign = 0;
  const std::wstring audio_where =
      L" (File: audioconverter, Function: CAudioConverter::RawAudioToAviBlob, Line: ";
  const std::wstring video_where =
      L" (File: videoconverter, Function: CVideoConverter::RawVideoToAviBlob, Line: ";
  struct Case {
    const char* name;
    std::function<void()> run;
    std::wstring text_start;
  };
  const std::vector<Case> cases = {
      {"zero block align",
       [&] { CAudioConverter::RawAudioToAviBlob(no_block, samples.v, result.v, temp); },
       L"0x00000016 Invalid argument" + audio_where},
      {"folder missing",
       [&] {
         CAudioConverter::RawAudioToAviBlob(Pcm(1, 8000, 16), samples.v, result.v,
                                            (dir / "none" / "t.avi").wstring());
       },
       L"0x00000002 No such file or directory" + audio_where},
      {"no frames", [&] { CVideoConverter::RawVideoToAviBlob({}, result.v, temp); },
       L"No video frames to convert" + video_where},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      c.run();
      ADD_FAILURE() << "no exception";
    } catch (const exception_rt& e) {
      EXPECT_EQ(e.wtext().substr(0, c.text_start.size()), c.text_start) << WideToUtf8(e.wtext());
    }
    EXPECT_EQ(result.v.vt, VT_EMPTY);
  }
}

TEST(AviConverters, AudioWithoutSamplesIsAnEmptyStream) {
  TempDir dir;
  Blob no_samples, result;
  no_samples.v.vt = VT_I4;  // not a blob: no samples
  CAudioConverter::RawAudioToAviBlob(Pcm(1, 8000, 16), no_samples.v, result.v, (dir / "t.avi").wstring());
  const auto avi = result.bytes();
  ASSERT_GE(avi.size(), 0x800u + 8);
  EXPECT_EQ(LoadLe32(&avi[0x06C + 32]), 0u) << "stream length";
  EXPECT_EQ(std::string(avi.begin() + 0x800, avi.begin() + 0x804), "00wb");
  EXPECT_EQ(LoadLe32(&avi[0x804]), 0u);
}

}  // namespace
}  // namespace recfilereader
