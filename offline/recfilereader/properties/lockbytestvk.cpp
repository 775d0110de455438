#include "platform/hresults.h"
#include "properties/lockbytestvk.h"

#include <cstring>
#include <new>

namespace recfilereader {
namespace {

constexpr ULONGLONG kLargestSize = 0xFFFFFFFFull;
constexpr wchar_t kStatName[] = L"CLockBytes";

}  // namespace

CLockBytesTvk::CLockBytesTvk(IExMemoryMgr* memory)
    : memory_(memory), block_(static_cast<std::uint8_t*>(memory->Allocate(0, 0))) {}

CLockBytesTvk::~CLockBytesTvk() {
  if (block_ != nullptr) memory_->Free(block_);
}

HRESULT CLockBytesTvk::ReadAt(ULARGE_INTEGER offset, void* buffer, ULONG count, ULONG* read) {
  if (read != nullptr) *read = 0;
  if (offset.QuadPart > size_) return E_FAIL;
  if (buffer == nullptr) return E_INVALIDARG;
  const ULONG at = static_cast<ULONG>(offset.QuadPart);
  const ULONG copied = count < size_ - at ? count : size_ - at;
  if (copied > 0) std::memcpy(buffer, block_ + at, copied);
  if (read != nullptr) *read = copied;
  return copied == count ? S_OK : STG_E_READFAULT;
}

HRESULT CLockBytesTvk::WriteAt(ULARGE_INTEGER offset, const void* data, ULONG count,
                               ULONG* written) {
  if (written != nullptr) *written = 0;
  if (count == 0) return S_OK;
  if (data == nullptr) return E_INVALIDARG;
  // Compared before adding: a sum past 2^64 would wrap to a small size that Grow accepts.
  if (offset.QuadPart > kLargestSize || count > kLargestSize - offset.QuadPart) {
    return STG_E_INSUFFICIENTMEMORY;
  }
  const HRESULT hr = Grow(offset.QuadPart + count);
  if (FAILED(hr)) return hr;
  std::memcpy(block_ + offset.QuadPart, data, count);
  if (written != nullptr) *written = count;
  return S_OK;
}

HRESULT CLockBytesTvk::Flush() { return S_OK; }

HRESULT CLockBytesTvk::SetSize(ULARGE_INTEGER size) {
  if (size.QuadPart <= size_) {
    size_ = static_cast<ULONG>(size.QuadPart);
    return S_OK;
  }
  return Grow(size.QuadPart);
}

// Growth to `size` bytes: a new block of size / 1 MiB + 1 units when the capacity is short,
// the bytes held so far copied over; bytes beyond the old size read as zero.
HRESULT CLockBytesTvk::Grow(ULONGLONG size) {
  if (size > kLargestSize) return STG_E_INSUFFICIENTMEMORY;
  if (size > ULONGLONG{capacity_units_} * kUnitSize) {
    const ULONGLONG units = size / kUnitSize + 1;
    auto* block = static_cast<std::uint8_t*>(
        memory_->Allocate(static_cast<std::size_t>(units * kUnitSize), 0));
    if (block == nullptr) return STG_E_INSUFFICIENTMEMORY;
    if (size_ > 0) std::memcpy(block, block_, size_);
    if (block_ != nullptr) memory_->Free(block_);
    block_ = block;
    capacity_units_ = static_cast<ULONG>(units);
  }
  if (size > size_) {
    std::memset(block_ + size_, 0, static_cast<std::size_t>(size - size_));
    size_ = static_cast<ULONG>(size);
  }
  return S_OK;
}

HRESULT CLockBytesTvk::Stat(STATSTG* stat, DWORD stat_flag) {
  return FillStat(stat, stat_flag, kStatName, size_);
}

HRESULT CreateDocumentLockBytes(IExMemoryMgr* memory, ILockBytes** lock_bytes) {
  if (lock_bytes == nullptr) return STG_E_INVALIDPOINTER;
  *lock_bytes = nullptr;
  if (memory == nullptr) return CreateILockBytesOnHGlobal(nullptr, 1, lock_bytes);
  *lock_bytes = new (std::nothrow) CLockBytesTvk(memory);
  return *lock_bytes != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace recfilereader
