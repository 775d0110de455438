// Typed payloads of metadata items and marker records: a text, an audio clip, a picture or a
// binary blob. The loaders make them from the records' data kinds; extraction and saving read
// and replace them. Held by std::shared_ptr in the items' data lists. Not thread-safe.
#ifndef RECFILEREADER_PROPERTIES_GENERICDATA_H
#define RECFILEREADER_PROPERTIES_GENERICDATA_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace recfilereader {

class CCompositeBuffer;

// The kinds, numbered as the records store them.
enum GenericDataType : std::uint32_t {
  gdt_text = 0,
  gdt_audio = 1,
  gdt_picture = 2,
  gdt_blob = 3,
};

class CGenericData {
 public:
  virtual ~CGenericData() = default;
  // Replaces the payload with a copy of `size` bytes at `data`; false, leaving the payload as
  // it was, when the size is too small for the kind.
  virtual bool SetData(const void* data, std::size_t size) = 0;
  virtual void Clear() = 0;
  virtual GenericDataType GetType() const = 0;
  virtual std::size_t GetSize() const = 0;
  virtual const void* GetData() const = 0;

 protected:
  CGenericData() = default;
  CGenericData(const CGenericData&) = default;
  CGenericData& operator=(const CGenericData&) = default;
};

// A narrow text. A null pointer sets the empty text; the text ends at the first NUL within
// the given size, since records store it with or without its terminator.
class CGenericTextData final : public CGenericData {
 public:
  bool SetData(const void* data, std::size_t size) override;
  void Clear() override { text_.clear(); }
  GenericDataType GetType() const override { return gdt_text; }
  std::size_t GetSize() const override { return text_.size(); }
  const void* GetData() const override { return text_.c_str(); }

  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// A payload that is a byte buffer with a fixed-size head: an audio clip (18-byte WAVEFORMATEX,
// then the samples) or a picture (32-bit picture-format code, then the encoded picture).
class CGenericBufferData : public CGenericData {
 public:
  bool SetData(const void* data, std::size_t size) override;
  void Clear() override { bytes_.clear(); }
  std::size_t GetSize() const override { return bytes_.size(); }
  const void* GetData() const override { return bytes_.data(); }

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 protected:
  explicit CGenericBufferData(std::size_t minimum_size) : minimum_size_(minimum_size) {}

 private:
  std::size_t minimum_size_;
  std::vector<std::uint8_t> bytes_;
};

class CGenericAudioData final : public CGenericBufferData {
 public:
  static constexpr std::size_t kMinimumSize = 18;  // the WAVEFORMATEX
  CGenericAudioData() : CGenericBufferData(kMinimumSize) {}
  GenericDataType GetType() const override { return gdt_audio; }
};

class CGenericPictureData final : public CGenericBufferData {
 public:
  static constexpr std::size_t kMinimumSize = 4;  // the picture-format code
  CGenericPictureData() : CGenericBufferData(kMinimumSize) {}
  GenericDataType GetType() const override { return gdt_picture; }
};

// A blob whose bytes live in a shared composite buffer, so that large compound files are
// shared rather than copied. GetData is null: the bytes are reached through buffer().
class CGenericBlobData final : public CGenericData {
 public:
  CGenericBlobData() = default;
  explicit CGenericBlobData(std::shared_ptr<CCompositeBuffer> buffer) : buffer_(std::move(buffer)) {}

  bool SetData(const void* data, std::size_t size) override;
  void Clear() override { buffer_.reset(); }
  GenericDataType GetType() const override { return gdt_blob; }
  std::size_t GetSize() const override;
  const void* GetData() const override { return nullptr; }

  const std::shared_ptr<CCompositeBuffer>& buffer() const { return buffer_; }
  void SetBuffer(std::shared_ptr<CCompositeBuffer> buffer) { buffer_ = std::move(buffer); }

 private:
  std::shared_ptr<CCompositeBuffer> buffer_;  // null: empty
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PROPERTIES_GENERICDATA_H
