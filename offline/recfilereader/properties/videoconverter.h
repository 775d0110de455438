// Turns the video preview's decoded pictures into a complete AVI file of uncompressed frames
// at 15 frames per second, held in a VT_BLOB value, going through a temporary file.
#ifndef RECFILEREADER_PROPERTIES_VIDEOCONVERTER_H
#define RECFILEREADER_PROPERTIES_VIDEOCONVERTER_H

#include <string_view>
#include <vector>

#include "platform/media/picture.h"
#include "recfilereader/compat.h"

namespace recfilereader {

class CVideoConverter {
 public:
  // `frames` in display order; the first sets the stream's format (size, depth, palette).
  // Later frames of another size or depth cannot be shown in that stream and are left out.
  // `temp_path` and `result` as for CAudioConverter::RawAudioToAviBlob. Throws exception_rt
  // "No video frames to convert" for an empty list, and with the system text when the file
  // cannot be written or read back.
  static void RawVideoToAviBlob(const std::vector<Picture>& frames, PROPVARIANT& result,
                                std::wstring_view temp_path);
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PROPERTIES_VIDEOCONVERTER_H
