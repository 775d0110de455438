#include "platform/hresults.h"
#include "platform/storage/memorylockbytes.h"

#include <algorithm>
#include <cstring>

namespace recfilereader {

HRESULT CMemoryLockBytes::ReadAt(ULARGE_INTEGER offset, void* buffer, ULONG count, ULONG* read) {
  if (read != nullptr) *read = 0;
  if (buffer == nullptr) return STG_E_INVALIDPOINTER;
  if (offset.QuadPart >= bytes_.size()) return S_OK;
  const std::size_t n = static_cast<std::size_t>(
      std::min<std::uint64_t>(count, bytes_.size() - offset.QuadPart));
  std::memcpy(buffer, bytes_.data() + offset.QuadPart, n);
  if (read != nullptr) *read = static_cast<ULONG>(n);
  return S_OK;
}

HRESULT CMemoryLockBytes::WriteAt(ULARGE_INTEGER offset, const void* data, ULONG count, ULONG* written) {
  return ComGuard([&]() -> HRESULT {
    if (written != nullptr) *written = 0;
    if (count == 0) return S_OK;  // as the other lock bytes: nothing to write, nothing to check
    if (data == nullptr) return STG_E_INVALIDPOINTER;
    if (offset.QuadPart > kMaxSize || count > kMaxSize - offset.QuadPart) return STG_E_MEDIUMFULL;
    const std::size_t end = static_cast<std::size_t>(offset.QuadPart + count);
    if (end > bytes_.size()) bytes_.resize(end);
    std::memcpy(bytes_.data() + offset.QuadPart, data, count);
    if (written != nullptr) *written = count;
    return S_OK;
  });
}

HRESULT CMemoryLockBytes::Flush() { return S_OK; }

HRESULT CMemoryLockBytes::SetSize(ULARGE_INTEGER size) {
  return ComGuard([&]() -> HRESULT {
    if (size.QuadPart > kMaxSize) return STG_E_MEDIUMFULL;
    bytes_.resize(static_cast<std::size_t>(size.QuadPart));
    return S_OK;
  });
}

HRESULT CMemoryLockBytes::Stat(STATSTG* stat, DWORD stat_flag) {
  return FillStat(stat, stat_flag, nullptr, bytes_.size());
}

}  // namespace recfilereader
