// Little-endian field access. These and ByteReader are the only code that touches the raw bytes
// of file fields; nothing casts a struct over a buffer.
#ifndef RECFILEREADER_PLATFORM_BYTES_H
#define RECFILEREADER_PLATFORM_BYTES_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace recfilereader {

// The raw loaders do no bounds checks: the caller checked the length once.
inline std::uint16_t LoadLe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t LoadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint64_t LoadLe64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(LoadLe32(p)) | static_cast<std::uint64_t>(LoadLe32(p + 4)) << 32;
}
inline double LoadLeDouble(const std::uint8_t* p) {
  const std::uint64_t bits = LoadLe64(p);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}
inline float LoadLeFloat(const std::uint8_t* p) {
  const std::uint32_t bits = LoadLe32(p);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

inline void StoreLe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void StoreLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void StoreLe64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void StoreLeDouble(std::uint8_t* p, double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  StoreLe64(p, bits);
}
inline void StoreLeFloat(std::uint8_t* p, float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  StoreLe32(p, bits);
}

// A bounds-checked cursor over a byte span. Reads past the end do not happen: they set the
// failed flag and give zeros, so a decoder checks ok() once after decoding a record (or calls
// Have() first) and turns a failure into its own error.
class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> in) : in_(in) {}

  bool Have(std::size_t n) const { return n <= in_.size() - pos_; }
  std::size_t remaining() const { return in_.size() - pos_; }
  std::size_t position() const { return pos_; }
  bool ok() const { return ok_; }

  std::uint8_t U8() { const std::uint8_t* p = Take(1); return p ? p[0] : 0; }
  std::uint16_t U16() { const std::uint8_t* p = Take(2); return p ? LoadLe16(p) : 0; }
  std::uint32_t U32() { const std::uint8_t* p = Take(4); return p ? LoadLe32(p) : 0; }
  std::uint64_t U64() { const std::uint8_t* p = Take(8); return p ? LoadLe64(p) : 0; }
  double F64() { const std::uint8_t* p = Take(8); return p ? LoadLeDouble(p) : 0.0; }
  // The next n bytes, or an empty span (and failed) when fewer remain.
  std::span<const std::uint8_t> Bytes(std::size_t n) {
    const std::uint8_t* p = Take(n);
    return p ? std::span<const std::uint8_t>(p, n) : std::span<const std::uint8_t>();
  }
  void Skip(std::size_t n) { Take(n); }

 private:
  const std::uint8_t* Take(std::size_t n) {
    if (!ok_ || !Have(n)) {
      ok_ = false;
      return nullptr;
    }
    const std::uint8_t* p = in_.data() + pos_;
    pos_ += n;
    return p;
  }

  std::span<const std::uint8_t> in_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_BYTES_H
