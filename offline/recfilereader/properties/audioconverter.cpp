#include "properties/audioconverter.h"

#include <cerrno>
#include <cstdint>
#include <span>

#include "platform/media/aviwriter.h"
#include "platform/textconv.h"
#include "properties/aviblob.h"

namespace recfilereader {
namespace {

constexpr SourceTag kWhere{"audioconverter", "CAudioConverter::RawAudioToAviBlob"};

void Check(int error, std::source_location at = std::source_location::current()) {
  if (error != 0) ThrowSystemError(error, kWhere, at);
}

}  // namespace

void CAudioConverter::RawAudioToAviBlob(const WAVEFORMATEX& format, const PROPVARIANT& samples,
                                        PROPVARIANT& result, std::wstring_view temp_path) {
  std::span<const std::uint8_t> data;
  if (samples.vt == VT_BLOB && samples.blob.pBlobData != nullptr) {
    data = std::span<const std::uint8_t>(samples.blob.pBlobData, samples.blob.cbSize);
  }

  const AviTempFile file(WideToUtf8(temp_path), kWhere);
  {
    AviWriter avi;
    Check(avi.CreateOn(file.fd()));
    // One sample is one block of all channels; the writer refuses a zero block size or rate.
    AviStreamSettings stream;
    stream.type = kStreamTypeAudio;
    const std::uint64_t bytes_per_second = std::uint64_t{format.nSamplesPerSec} * format.nBlockAlign;
    if (bytes_per_second > UINT32_MAX) Check(EINVAL);
    stream.scale = format.nBlockAlign;
    stream.rate = static_cast<std::uint32_t>(bytes_per_second);
    stream.sample_size = format.nBlockAlign;
    Check(avi.CreateStream(stream));
    const auto encoded_format = format.Encode();
    Check(avi.SetFormat(encoded_format));
    // All samples go in one chunk. The stream's length counts the whole blocks written, which
    // is what a player plays; a count from the sample depth alone would double it for stereo.
    Check(avi.Write(data, 0));
    Check(avi.Close());
  }
  file.ReadToBlob(result);
}

}  // namespace recfilereader
