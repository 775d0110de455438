// Lock bytes over one block of the host's memory manager: the byte array a configuration or
// metadata document is built on and read from. The block grows in whole MiB, always at least
// one MiB more than the bytes need, so that a document written piece by piece is moved only
// now and then. A single-threaded COM object; the memory manager must outlive it.
#ifndef RECFILEREADER_PROPERTIES_LOCKBYTESTVK_H
#define RECFILEREADER_PROPERTIES_LOCKBYTESTVK_H

#include "platform/hresults.h"
#include "platform/storage/lockbytesobject.h"
#include "platform/storage/storageinterfaces.h"
#include "recfilereader/hostservices.h"

namespace recfilereader {

class CLockBytesTvk final : public CLockBytesObject {
 public:
  static constexpr ULONG kUnitSize = 1048576;

  // Starts with one reference, an empty block (Allocate of 0 bytes), size and capacity 0.
  explicit CLockBytesTvk(IExMemoryMgr* memory);
  CLockBytesTvk(const CLockBytesTvk&) = delete;
  CLockBytesTvk& operator=(const CLockBytesTvk&) = delete;

  // Offset above the size: E_FAIL; null buffer: E_INVALIDARG; S_OK when all `count` bytes
  // were there, else STG_E_READFAULT with the bytes that were.
  HRESULT ReadAt(ULARGE_INTEGER offset, void* buffer, ULONG count, ULONG* read) override;
  HRESULT WriteAt(ULARGE_INTEGER offset, const void* data, ULONG count, ULONG* written) override;
  HRESULT Flush() override;
  // Shrinking keeps the block; growing may move it.
  HRESULT SetSize(ULARGE_INTEGER size) override;
  HRESULT Stat(STATSTG* stat, DWORD stat_flag) override;

  ULONG capacity_units() const { return capacity_units_; }

 private:
  ~CLockBytesTvk() override;
  HRESULT Grow(ULONGLONG size);

  IExMemoryMgr* memory_;          // not owned
  std::uint8_t* block_ = nullptr; // from memory_
  ULONG size_ = 0;                // logical size in bytes
  ULONG capacity_units_ = 0;      // block size in kUnitSize units
};

// The byte array for a new or parsed document: CLockBytesTvk over `memory` when there is one,
// otherwise the platform's in-memory lock bytes. One reference goes to the caller.
HRESULT CreateDocumentLockBytes(IExMemoryMgr* memory, ILockBytes** lock_bytes);

}  // namespace recfilereader

#endif  // RECFILEREADER_PROPERTIES_LOCKBYTESTVK_H
