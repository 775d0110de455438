#include "properties/compositebuffer.h"
#include "properties/genericdata.h"

namespace recfilereader {

// A blob set from bytes gets a buffer of its own: other holders of the old buffer keep theirs.
bool CGenericBlobData::SetData(const void* data, std::size_t size) {
  auto buffer = std::make_shared<CCompositeBuffer>();
  if (size != 0) {
    buffer->Resize(size);
    buffer->Write(0, data, size);
  }
  buffer_ = std::move(buffer);
  return true;
}

std::size_t CGenericBlobData::GetSize() const {
  return buffer_ ? static_cast<std::size_t>(buffer_->Size()) : 0;
}

}  // namespace recfilereader
