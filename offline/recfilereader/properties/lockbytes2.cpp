#include "platform/hresults.h"
#include "properties/lockbytes2.h"

#include <cstring>

namespace recfilereader {
namespace {

constexpr ULONGLONG kLargestSize = 0xFFFFFFFFull;
constexpr wchar_t kStatName[] = L"CLockBytes2";

}  // namespace

CLockBytes2::CLockBytes2(std::shared_ptr<CCompositeBuffer> buffer) : buffer_(std::move(buffer)) {}

HRESULT CLockBytes2::ReadAt(ULARGE_INTEGER offset, void* buffer, ULONG count, ULONG* read) {
  if (read != nullptr) *read = 0;
  const std::size_t size = buffer_->GetSize();
  if (offset.QuadPart > size || buffer == nullptr) return E_INVALIDARG;
  const std::size_t at = static_cast<std::size_t>(offset.QuadPart);
  const std::size_t available = size - at;
  const ULONG wanted = count < available ? count : static_cast<ULONG>(available);
  if (!buffer_->Read(at, buffer, wanted)) return E_FAIL;
  if (read != nullptr) *read = wanted;
  return S_OK;
}

HRESULT CLockBytes2::WriteAt(ULARGE_INTEGER offset, const void* data, ULONG count,
                             ULONG* written) {
  if (written != nullptr) *written = 0;
  if (count == 0) return S_OK;
  if (data == nullptr) return E_INVALIDARG;
  // Compared before adding, so that a sum past 2^64 cannot wrap to a small end.
  if (offset.QuadPart > kLargestSize || count > kLargestSize - offset.QuadPart) {
    return STG_E_INSUFFICIENTMEMORY;
  }
  const ULONGLONG end = offset.QuadPart + count;
  if (end > buffer_->GetSize() && !buffer_->Resize(static_cast<std::size_t>(end)))
    return STG_E_INSUFFICIENTMEMORY;
  if (!buffer_->Write(static_cast<std::size_t>(offset.QuadPart), data, count)) return E_FAIL;
  if (written != nullptr) *written = count;
  return S_OK;
}

HRESULT CLockBytes2::Flush() { return S_OK; }

HRESULT CLockBytes2::SetSize(ULARGE_INTEGER size) {
  if (size.QuadPart > kLargestSize) return E_FAIL;
  return buffer_->Resize(static_cast<std::size_t>(size.QuadPart)) ? S_OK : E_FAIL;
}

HRESULT CLockBytes2::Stat(STATSTG* stat, DWORD stat_flag) {
  return FillStat(stat, stat_flag, kStatName, buffer_->GetSize());
}

}  // namespace recfilereader
