#include "properties/genericdata.h"

#include <cstring>

namespace recfilereader {

bool CGenericTextData::SetData(const void* data, std::size_t size) {
  if (data == nullptr) {
    text_.clear();
    return true;
  }
  const char* chars = static_cast<const char*>(data);
  const void* nul = std::memchr(chars, '\0', size);
  text_.assign(chars, nul != nullptr ? static_cast<const char*>(nul) - chars : size);
  return true;
}

bool CGenericBufferData::SetData(const void* data, std::size_t size) {
  if (size < minimum_size_ || data == nullptr) return false;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  bytes_.assign(bytes, bytes + size);
  return true;
}

}  // namespace recfilereader
