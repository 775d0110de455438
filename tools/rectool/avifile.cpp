#include "avifile.h"

namespace rectool {
namespace {

class RiffWriter {
 public:
  void U8(std::uint32_t v) { Bytes(v, 1); }
  void U16(std::uint32_t v) { Bytes(v, 2); }
  void U32(std::uint32_t v) { Bytes(v, 4); }
  void Code(const char* four) { out_.insert(out_.end(), four, four + 4); }
  // Starts a chunk (or a list, with its form type) whose size is filled in by End.
  std::size_t Begin(const char* id, const char* form = nullptr) {
    Code(id);
    const std::size_t size_at = out_.size();
    U32(0);
    if (form != nullptr) Code(form);
    return size_at;
  }
  void End(std::size_t size_at) {
    const std::size_t size = out_.size() - size_at - 4;
    for (int i = 0; i < 4; ++i) out_[size_at + i] = static_cast<std::uint8_t>(size >> (8 * i));
    if (size % 2 != 0) out_.push_back(0);
  }
  std::vector<std::uint8_t> Take() { return std::move(out_); }

 private:
  void Bytes(std::uint32_t v, int count) {
    for (int i = 0; i < count; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  std::vector<std::uint8_t> out_;
};

constexpr std::uint32_t kHasIndex = 0x10;
constexpr std::uint32_t kKeyFrame = 0x10;
constexpr std::uint16_t kPcm = 1;
constexpr std::uint16_t kBlockAlign = 2;  // one 16-bit mono sample

}  // namespace

std::vector<std::uint8_t> AudioAvi(const std::vector<std::int16_t>& samples, std::uint32_t rate) {
  const std::uint32_t data_size = static_cast<std::uint32_t>(samples.size() * kBlockAlign);
  RiffWriter w;
  const std::size_t riff = w.Begin("RIFF", "AVI ");
  const std::size_t hdrl = w.Begin("LIST", "hdrl");
  const std::size_t avih = w.Begin("avih");
  for (std::uint32_t v : {0u, rate * kBlockAlign, 0u, kHasIndex, 0u, 0u, 1u, data_size, 0u, 0u, 0u, 0u, 0u, 0u}) w.U32(v);
  w.End(avih);
  const std::size_t strl = w.Begin("LIST", "strl");
  const std::size_t strh = w.Begin("strh");
  w.Code("auds");
  for (std::uint32_t v : {0u, 0u, 0u, 0u}) w.U32(v);  // handler, flags, priority and language, initial frames
  w.U32(kBlockAlign);                                 // scale
  w.U32(rate * kBlockAlign);                          // rate: scale and rate give samples per second
  w.U32(0);                                           // start
  w.U32(static_cast<std::uint32_t>(samples.size()));  // length in samples
  w.U32(data_size);                                   // suggested buffer
  w.U32(0xFFFFFFFFu);                                 // quality: default
  w.U32(kBlockAlign);                                 // sample size
  for (int i = 0; i < 4; ++i) w.U16(0);               // frame rectangle
  w.End(strh);
  const std::size_t strf = w.Begin("strf");
  w.U16(kPcm);
  w.U16(1);  // channels
  w.U32(rate);
  w.U32(rate * kBlockAlign);
  w.U16(kBlockAlign);
  w.U16(16);  // bits per sample
  w.U16(0);   // no extra format bytes
  w.End(strf);
  w.End(strl);
  w.End(hdrl);
  const std::size_t movi = w.Begin("LIST", "movi");
  const std::size_t movi_data = movi + 4;  // index offsets count from the "movi" code
  const std::size_t chunk = w.Begin("00wb");
  const std::size_t chunk_offset = chunk - 4 - movi_data;
  for (std::int16_t s : samples) w.U16(static_cast<std::uint16_t>(s));
  w.End(chunk);
  w.End(movi);
  const std::size_t idx1 = w.Begin("idx1");
  w.Code("00wb");
  w.U32(kKeyFrame);
  w.U32(static_cast<std::uint32_t>(chunk_offset));
  w.U32(data_size);
  w.End(idx1);
  w.End(riff);
  return w.Take();
}

std::vector<std::uint8_t> VideoAvi(const std::vector<std::vector<std::uint8_t>>& frames, std::uint32_t width,
                                   std::uint32_t height) {
  const auto frame_size = static_cast<std::uint32_t>(frames.empty() ? 0 : frames[0].size());
  const auto count = static_cast<std::uint32_t>(frames.size());
  constexpr std::uint32_t kScale = 100, kRate = 1500;  // 15 frames per second
  RiffWriter w;
  const std::size_t riff = w.Begin("RIFF", "AVI ");
  const std::size_t hdrl = w.Begin("LIST", "hdrl");
  const std::size_t avih = w.Begin("avih");
  for (std::uint32_t v : {1'000'000u * kScale / kRate, frame_size * 15, 0u, kHasIndex, count, 0u, 1u, frame_size, width,
                          height, 0u, 0u, 0u, 0u})
    w.U32(v);
  w.End(avih);
  const std::size_t strl = w.Begin("LIST", "strl");
  const std::size_t strh = w.Begin("strh");
  w.Code("vids");
  for (std::uint32_t v : {0u, 0u, 0u, 0u, kScale, kRate, 0u, count, frame_size, 0xFFFFFFFFu, 0u}) w.U32(v);
  for (std::uint32_t v : {0u, 0u, width, height}) w.U16(v);
  w.End(strh);
  const std::size_t strf = w.Begin("strf");
  for (std::uint32_t v : {40u, width, height}) w.U32(v);
  w.U16(1);   // planes
  w.U16(24);  // bits per pixel
  for (std::uint32_t v : {0u, frame_size, 0u, 0u, 0u, 0u}) w.U32(v);  // uncompressed
  w.End(strf);
  w.End(strl);
  w.End(hdrl);
  const std::size_t movi = w.Begin("LIST", "movi");
  std::vector<std::size_t> offsets;
  for (const auto& frame : frames) {
    const std::size_t chunk = w.Begin("00db");
    offsets.push_back(chunk - 4 - (movi + 4));
    for (std::uint8_t byte : frame) w.U8(byte);
    w.End(chunk);
  }
  w.End(movi);
  const std::size_t idx1 = w.Begin("idx1");
  for (std::size_t offset : offsets) {
    w.Code("00db");
    w.U32(kKeyFrame);
    w.U32(static_cast<std::uint32_t>(offset));
    w.U32(frame_size);
  }
  w.End(idx1);
  w.End(riff);
  return w.Take();
}

}  // namespace rectool
