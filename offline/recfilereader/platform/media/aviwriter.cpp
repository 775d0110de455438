#include "platform/media/aviwriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "platform/bytes.h"
#include "platform/media/mediaformats.h"

namespace recfilereader {
namespace {

// The first data chunk starts on a multiple of this, as the platform's writer pads its header.
constexpr std::uint32_t kHeaderAlignment = 2048;
constexpr std::uint32_t kAvifHasIndex = 0x10;
constexpr std::uint32_t kAvifTrustChunkType = 0x800;
constexpr std::size_t kChunkHeaderSize = 8;
constexpr std::size_t kListHeaderSize = 12;
constexpr std::size_t kIndexEntrySize = 16;
constexpr std::uint64_t kMaxRiffSize = std::numeric_limits<std::uint32_t>::max();

std::uint32_t Saturate32(std::uint64_t v) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(v, kMaxRiffSize));
}

// rcFrame holds 16-bit signed coordinates.
std::int16_t Saturate16(std::uint32_t v) { return static_cast<std::int16_t>(std::min<std::uint32_t>(v, 0x7FFF)); }

// Appends RIFF chunks to a byte vector and patches list sizes when a list is closed.
class RiffBuilder {
 public:
  void FourCC(std::uint32_t id) { U32(id); }
  void U16(std::uint16_t v) {
    const std::size_t at = bytes_.size();
    bytes_.resize(at + 2);
    StoreLe16(&bytes_[at], v);
  }
  void U32(std::uint32_t v) {
    const std::size_t at = bytes_.size();
    bytes_.resize(at + 4);
    StoreLe32(&bytes_[at], v);
  }
  void Bytes(std::span<const std::uint8_t> data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }
  void Zeros(std::size_t n) { bytes_.resize(bytes_.size() + n); }

  // A chunk whose data is `data`, followed by a pad byte when its size is odd.
  void Chunk(std::uint32_t id, std::span<const std::uint8_t> data) {
    FourCC(id);
    U32(static_cast<std::uint32_t>(data.size()));
    Bytes(data);
    if (data.size() % 2 != 0) Zeros(1);
  }
  // Opens a LIST; the returned mark goes to EndList, which fills in the size.
  std::size_t BeginList(std::uint32_t list_type) {
    FourCC(MakeFourCC('L', 'I', 'S', 'T'));
    const std::size_t mark = bytes_.size();
    U32(0);
    FourCC(list_type);
    return mark;
  }
  void EndList(std::size_t mark) {
    StoreLe32(&bytes_[mark], static_cast<std::uint32_t>(bytes_.size() - mark - 4));
  }

  std::vector<std::uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Whether `format` describes audio a player can time: a WAVEFORMATEX with channels, a rate,
// a block size and a sample depth.
bool IsUsableAudioFormat(std::span<const std::uint8_t> format) {
  const auto wave = WAVEFORMATEX::DecodeFrom(format);
  return wave && wave->nChannels != 0 && wave->nSamplesPerSec != 0 && wave->nBlockAlign != 0 &&
         wave->wBitsPerSample != 0;
}

// Whether `format` is a BITMAPINFOHEADER of a DIB with its whole palette present.
bool IsUsableVideoFormat(std::span<const std::uint8_t> format) {
  const auto dib = BITMAPINFOHEADER::DecodeFrom(format);
  if (!dib || dib->biSize < BITMAPINFOHEADER::kEncodedSize || dib->biSize > format.size()) return false;
  if (dib->biWidth <= 0 || dib->biHeight == 0 || dib->biHeight == std::numeric_limits<std::int32_t>::min()) {
    return false;
  }
  switch (dib->biBitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return false;
  }
  if (dib->biBitCount > 8) return true;
  const std::uint64_t colors = dib->biClrUsed != 0 ? dib->biClrUsed : 1u << dib->biBitCount;
  return colors <= (1u << dib->biBitCount) && dib->biSize + 4 * colors <= format.size();
}

}  // namespace

AviWriter::~AviWriter() {
  if (fd_ >= 0 && owns_fd_) ::close(fd_);
}

int AviWriter::Create(const std::string& path) {
  if (fd_ >= 0) return EINVAL;
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  owns_fd_ = true;
  return fd_ < 0 ? errno : 0;
}

int AviWriter::CreateOn(int fd) {
  if (fd_ >= 0) return EINVAL;
  if (fd < 0) return EBADF;
  if (::ftruncate(fd, 0) != 0) return errno;
  fd_ = fd;
  owns_fd_ = false;
  return 0;
}

int AviWriter::CreateStream(const AviStreamSettings& settings) {
  if (fd_ < 0 || has_stream_) return EINVAL;
  if (settings.type != kStreamTypeAudio && settings.type != kStreamTypeVideo) return EINVAL;
  if (settings.scale == 0 || settings.rate == 0) return EINVAL;
  settings_ = settings;
  has_stream_ = true;
  return 0;
}

int AviWriter::SetFormat(std::span<const std::uint8_t> format) {
  if (!has_stream_ || movi_offset_ != 0) return EINVAL;
  if (settings_.type == kStreamTypeAudio) {
    if (!IsUsableAudioFormat(format)) return EINVAL;
  } else {
    if (!IsUsableVideoFormat(format)) return EINVAL;
    // The frame rectangle follows the picture size, as the platform's writer fills it in.
    const auto dib = BITMAPINFOHEADER::DecodeFrom(format);
    frame_width_ = static_cast<std::uint32_t>(dib->biWidth);
    frame_height_ = static_cast<std::uint32_t>(dib->biHeight < 0 ? -static_cast<std::int64_t>(dib->biHeight)
                                                                  : dib->biHeight);
  }
  format_.assign(format.begin(), format.end());
  return 0;
}

int AviWriter::Write(std::span<const std::uint8_t> data, std::uint32_t flags) {
  if (fd_ < 0 || format_.empty()) return EINVAL;
  if (movi_offset_ == 0) {
    movi_offset_ = MoviListOffset();
    movi_end_ = movi_offset_ + kListHeaderSize;
  }
  const std::uint64_t chunk_total = kChunkHeaderSize + data.size() + data.size() % 2;
  const std::uint64_t file_end = movi_end_ + chunk_total + kChunkHeaderSize + kIndexEntrySize * (index_.size() + 1);
  if (file_end - kChunkHeaderSize > kMaxRiffSize) return EFBIG;

  const bool audio = settings_.type == kStreamTypeAudio;
  const bool key_frame = audio || index_.empty() || (flags & kAviIndexKeyFrame) != 0;
  // Uncompressed key frames are DIB chunks; anything else is marked as a compressed frame.
  std::uint32_t chunk_id = MakeFourCC('0', '0', 'w', 'b');
  if (!audio) {
    chunk_id = (flags & kAviIndexKeyFrame) != 0 && !data.empty() ? MakeFourCC('0', '0', 'd', 'b')
                                                                   : MakeFourCC('0', '0', 'd', 'c');
  }

  RiffBuilder chunk;
  chunk.Chunk(chunk_id, data);
  if (const int error = WriteAt(movi_end_, chunk.bytes()); error != 0) return error;

  const auto size = static_cast<std::uint32_t>(data.size());
  index_.push_back({chunk_id, key_frame ? flags | kAviIndexKeyFrame : flags,
                    static_cast<std::uint32_t>(movi_end_ - (movi_offset_ + 8)), size});
  movi_end_ += chunk_total;
  largest_chunk_ = std::max(largest_chunk_, size);
  length_ += settings_.sample_size != 0 ? size / settings_.sample_size : 1;
  return 0;
}

int AviWriter::Close() {
  if (fd_ < 0 || format_.empty()) return EINVAL;
  if (movi_offset_ == 0) {
    movi_offset_ = MoviListOffset();
    movi_end_ = movi_offset_ + kListHeaderSize;
  }

  RiffBuilder index;
  index.FourCC(MakeFourCC('i', 'd', 'x', '1'));
  index.U32(static_cast<std::uint32_t>(kIndexEntrySize * index_.size()));
  for (const IndexEntry& entry : index_) {
    index.FourCC(entry.chunk_id);
    index.U32(entry.flags);
    index.U32(entry.offset);
    index.U32(entry.size);
  }
  if (const int error = WriteAt(movi_end_, index.bytes()); error != 0) return error;
  const std::uint64_t file_size = movi_end_ + index.bytes().size();

  RiffBuilder head;
  head.FourCC(MakeFourCC('R', 'I', 'F', 'F'));
  head.U32(static_cast<std::uint32_t>(file_size - kChunkHeaderSize));
  head.FourCC(MakeFourCC('A', 'V', 'I', ' '));
  head.Bytes(BuildHeaderList());
  const std::size_t junk = movi_offset_ - head.bytes().size();
  if (junk != 0) {
    head.FourCC(MakeFourCC('J', 'U', 'N', 'K'));
    head.U32(static_cast<std::uint32_t>(junk - kChunkHeaderSize));
    head.Zeros(junk - kChunkHeaderSize);
  }
  head.FourCC(MakeFourCC('L', 'I', 'S', 'T'));
  head.U32(static_cast<std::uint32_t>(movi_end_ - movi_offset_ - kChunkHeaderSize));
  head.FourCC(MakeFourCC('m', 'o', 'v', 'i'));
  if (const int error = WriteAt(0, head.bytes()); error != 0) return error;

  const int fd = fd_;
  fd_ = -1;
  if (!owns_fd_) return 0;
  return ::close(fd) != 0 ? errno : 0;
}

// The 'hdrl' list:
//   avih (56)  MainAVIHeader: µs per frame, max bytes/s, padding granularity, flags, total
//              frames, initial frames, streams, suggested buffer size, width, height, 4 reserved
//   LIST strl  strh (56) AVIStreamHeader, strf (the format), strn (name, even size)
std::vector<std::uint8_t> AviWriter::BuildHeaderList() const {
  const std::uint64_t scale = settings_.scale;
  const std::uint64_t rate = settings_.rate;
  const std::uint64_t bytes_per_sample = settings_.sample_size != 0 ? settings_.sample_size : largest_chunk_;

  RiffBuilder out;
  const std::size_t hdrl = out.BeginList(MakeFourCC('h', 'd', 'r', 'l'));
  out.FourCC(MakeFourCC('a', 'v', 'i', 'h'));
  out.U32(56);
  out.U32(Saturate32((1'000'000 * scale + rate / 2) / rate));
  out.U32(Saturate32(bytes_per_sample * rate / scale));
  out.U32(kHeaderAlignment);
  out.U32(kAvifHasIndex | kAvifTrustChunkType);
  out.U32(Saturate32(length_));
  out.U32(0);
  out.U32(1);
  out.U32(largest_chunk_);
  out.U32(frame_width_);
  out.U32(frame_height_);
  out.Zeros(16);

  const std::size_t strl = out.BeginList(MakeFourCC('s', 't', 'r', 'l'));
  out.FourCC(MakeFourCC('s', 't', 'r', 'h'));
  out.U32(56);
  out.FourCC(settings_.type);
  out.FourCC(settings_.handler);
  out.U32(settings_.flags);
  out.U16(settings_.priority);
  out.U16(settings_.language);
  out.U32(settings_.initial_frames);
  out.U32(settings_.scale);
  out.U32(settings_.rate);
  out.U32(settings_.start);
  out.U32(Saturate32(length_));
  out.U32(largest_chunk_);
  out.U32(settings_.quality);
  out.U32(settings_.sample_size);
  out.U16(0);
  out.U16(0);
  out.U16(static_cast<std::uint16_t>(Saturate16(frame_width_)));
  out.U16(static_cast<std::uint16_t>(Saturate16(frame_height_)));
  out.Chunk(MakeFourCC('s', 't', 'r', 'f'), format_);
  if (!settings_.name.empty()) {
    // The name keeps its terminator and gets a second one when that makes the size even.
    std::vector<std::uint8_t> name(settings_.name.begin(), settings_.name.end());
    name.push_back(0);
    if (name.size() % 2 != 0) name.push_back(0);
    out.Chunk(MakeFourCC('s', 't', 'r', 'n'), name);
  }
  out.EndList(strl);
  out.EndList(hdrl);
  return std::move(out.bytes());
}

// Where 'LIST movi' starts: so that the first data chunk lands on the next multiple of the
// header alignment after the headers, leaving room for a 'JUNK' chunk in between.
std::uint32_t AviWriter::MoviListOffset() const {
  const std::uint64_t first_chunk = kListHeaderSize + BuildHeaderList().size() + kListHeaderSize;
  std::uint64_t aligned = (first_chunk + kHeaderAlignment - 1) / kHeaderAlignment * kHeaderAlignment;
  if (aligned != first_chunk && aligned - first_chunk < kChunkHeaderSize) aligned += kHeaderAlignment;
  return static_cast<std::uint32_t>(aligned - kListHeaderSize);
}

int AviWriter::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) const {
  while (!bytes.empty()) {
    const ssize_t written = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(written));
    offset += static_cast<std::uint64_t>(written);
  }
  return 0;
}

}  // namespace recfilereader
