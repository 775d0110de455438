#include "properties/videoconverter.h"

#include "base/exceptions.h"
#include "platform/media/aviwriter.h"
#include "platform/textconv.h"
#include "properties/aviblob.h"

namespace recfilereader {
namespace {

constexpr SourceTag kWhere{"videoconverter", "CVideoConverter::RawVideoToAviBlob"};
constexpr std::uint32_t kFrameScale = 100;
constexpr std::uint32_t kFrameRate = 1500;  // 15 frames per second

void Check(int error, std::source_location at = std::source_location::current()) {
  if (error != 0) ThrowSystemError(error, kWhere, at);
}

// BITMAPINFOHEADER followed by the picture's palette.
std::vector<std::uint8_t> StreamFormat(const Picture& picture) {
  const auto header = picture.InfoHeader().Encode();
  std::vector<std::uint8_t> format(header.begin(), header.end());
  for (const RgbQuad& color : picture.palette()) {
    format.insert(format.end(), {color.blue, color.green, color.red, color.reserved});
  }
  return format;
}

bool SameLayout(const Picture& a, const Picture& b) {
  return a.width() == b.width() && a.height() == b.height() && a.bits_per_pixel() == b.bits_per_pixel();
}

}  // namespace

void CVideoConverter::RawVideoToAviBlob(const std::vector<Picture>& frames, PROPVARIANT& result,
                                        std::wstring_view temp_path) {
  if (frames.empty()) ThrowLocated<exception_rt>(L"No video frames to convert", kWhere);

  const AviTempFile file(WideToUtf8(temp_path), kWhere);
  {
    AviWriter avi;
    Check(avi.CreateOn(file.fd()));
    AviStreamSettings stream;
    stream.type = kStreamTypeVideo;
    stream.scale = kFrameScale;
    stream.rate = kFrameRate;
    stream.quality = 0xFFFFFFFF;  // the codec's default
    stream.name = "Video Stream";
    Check(avi.CreateStream(stream));
    Check(avi.SetFormat(StreamFormat(frames.front())));
    // Every frame is a whole uncompressed picture, so each is a key frame.
    for (const Picture& frame : frames) {
      if (SameLayout(frame, frames.front())) Check(avi.Write(frame.bits(), kAviIndexKeyFrame));
    }
    Check(avi.Close());
  }
  file.ReadToBlob(result);
}

}  // namespace recfilereader
