#include "base/exceptions.h"
#include "base/location.h"
#include "properties/compositebuffer.h"
#include "properties/genericdata.h"

namespace recfilereader {

// A blob set from bytes gets a buffer of its own: other holders of the old buffer keep theirs.
bool CGenericBlobData::SetData(const void* data, std::size_t size) {
  auto buffer = std::make_shared<CCompositeBuffer>();
  if (size != 0 && (data == nullptr || !buffer->Resize(size) || !buffer->Write(0, data, size))) {
    throw exception_rt(
        MemoryFailureText(MemorySource::kOperatorNew, size, {"genericdata", "CGenericBlobData::SetData"}));
  }
  buffer_ = std::move(buffer);
  return true;
}

std::size_t CGenericBlobData::GetSize() const { return buffer_ ? buffer_->GetSize() : 0; }

}  // namespace recfilereader
