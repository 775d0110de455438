// Writes an AVI 1.0 (RIFF 'AVI ') file with one stream, laid out as the system's AVI file
// services lay it out: 'hdrl' (avih, one strl with strh, strf and an optional strn), 'JUNK' so
// that the first data chunk starts on a 2048-byte boundary, 'movi' with one chunk per Write,
// then 'idx1'. Data chunks go to the file as they come; the headers, which carry the final
// lengths, are written by Close.
//
// Every operation returns 0 or an errno value, as the platform's AVI calls return a result
// code: callers turn a failure into their own located exception. The writer is not
// thread-safe; a file it created itself it closes (without completing it) when destroyed
// before Close.
#ifndef RECFILEREADER_PLATFORM_MEDIA_AVIWRITER_H
#define RECFILEREADER_PLATFORM_MEDIA_AVIWRITER_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace recfilereader {

constexpr std::uint32_t MakeFourCC(char a, char b, char c, char d) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(a)) |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(b)) << 8 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(c)) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(d)) << 24;
}

constexpr std::uint32_t kStreamTypeAudio = MakeFourCC('a', 'u', 'd', 's');
constexpr std::uint32_t kStreamTypeVideo = MakeFourCC('v', 'i', 'd', 's');

// Index flags of a data chunk.
constexpr std::uint32_t kAviIndexKeyFrame = 0x10;

// The caller's part of an AVIStreamHeader. Length, suggested buffer size and, for video, the
// frame rectangle are the writer's: it fills them from the format and the data written.
struct AviStreamSettings {
  std::uint32_t type = 0;  // kStreamTypeAudio or kStreamTypeVideo
  std::uint32_t handler = 0;
  std::uint32_t flags = 0;
  std::uint16_t priority = 0;
  std::uint16_t language = 0;
  std::uint32_t initial_frames = 0;
  std::uint32_t scale = 0;  // rate / scale = samples per second
  std::uint32_t rate = 0;
  std::uint32_t start = 0;
  std::uint32_t quality = 0;
  std::uint32_t sample_size = 0;  // bytes per sample; 0 = one sample per chunk
  std::string name;               // written as 'strn' when not empty
};

class AviWriter {
 public:
  AviWriter() = default;
  ~AviWriter();
  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;

  // Creates the file at `path` (UTF-8), replacing an existing one; a symbolic link there is
  // refused (ELOOP).
  [[nodiscard]] int Create(const std::string& path);
  // Writes the file into `fd`, emptied first: a descriptor open for writing that the caller
  // owns and keeps open after Close, so it can read back the very file that was written.
  [[nodiscard]] int CreateOn(int fd);
  // Declares the one stream. EINVAL for a second stream, an unknown type or a zero scale or rate.
  [[nodiscard]] int CreateStream(const AviStreamSettings& settings);
  // Sets the stream format: a WAVEFORMATEX for audio, a BITMAPINFOHEADER plus palette for
  // video. EINVAL when the format is not one a player could use, or after the first Write.
  [[nodiscard]] int SetFormat(std::span<const std::uint8_t> format);
  // Appends one data chunk. A sample-size stream grows by size / sample_size samples, any
  // other stream by one sample. EFBIG when the file would outgrow 32-bit RIFF sizes.
  [[nodiscard]] int Write(std::span<const std::uint8_t> data, std::uint32_t flags);
  // Writes the index and the headers and closes the file.
  [[nodiscard]] int Close();

 private:
  struct IndexEntry {
    std::uint32_t chunk_id;
    std::uint32_t flags;
    std::uint32_t offset;  // of the chunk header, from the 'movi' fourcc
    std::uint32_t size;
  };

  std::vector<std::uint8_t> BuildHeaderList() const;
  std::uint32_t MoviListOffset() const;
  int WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) const;

  int fd_ = -1;
  bool owns_fd_ = true;
  bool has_stream_ = false;
  AviStreamSettings settings_;
  std::vector<std::uint8_t> format_;
  std::uint32_t frame_width_ = 0;   // picture size, video only
  std::uint32_t frame_height_ = 0;
  std::uint32_t movi_offset_ = 0;  // file offset of 'LIST', fixed at the first Write
  std::uint64_t movi_end_ = 0;     // file offset just past the last data chunk
  std::uint64_t length_ = 0;       // stream length in samples
  std::uint32_t largest_chunk_ = 0;
  std::vector<IndexEntry> index_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_MEDIA_AVIWRITER_H
