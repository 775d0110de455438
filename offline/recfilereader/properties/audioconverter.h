// Turns an audio comment (a WAVEFORMATEX and its samples) into a complete AVI file held in a
// VT_BLOB value, going through a temporary file as the platform's AVI services do.
#ifndef RECFILEREADER_PROPERTIES_AUDIOCONVERTER_H
#define RECFILEREADER_PROPERTIES_AUDIOCONVERTER_H

#include <string_view>

#include "platform/media/mediaformats.h"
#include "recfilereader/compat.h"

namespace recfilereader {

class CAudioConverter {
 public:
  // `samples` is a VT_BLOB of interleaved samples; any other type counts as no samples.
  // `temp_path` names the file to write (created or emptied; a symbolic link there is refused);
  // the file is written and read back through one descriptor and left for the caller to
  // delete. `result` (initialised) receives the AVI file's bytes as a VT_BLOB in task memory.
  // Throws exception_rt with the system text when the format cannot make a stream, or the
  // file cannot be written or read back.
  static void RawAudioToAviBlob(const WAVEFORMATEX& format, const PROPVARIANT& samples, PROPVARIANT& result,
                                std::wstring_view temp_path);
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PROPERTIES_AUDIOCONVERTER_H
