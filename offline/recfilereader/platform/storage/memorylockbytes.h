// In-memory lock bytes: a growable byte array behind ILockBytes, what CreateILockBytesOnHGlobal
// hands out. Reading past the end gives what there is (S_OK); writing past it grows the array,
// the gap filled with zeros.
#ifndef RECFILEREADER_PLATFORM_STORAGE_MEMORYLOCKBYTES_H
#define RECFILEREADER_PLATFORM_STORAGE_MEMORYLOCKBYTES_H

#include <cstdint>
#include <vector>

#include "platform/storage/comobject.h"
#include "platform/storage/lockbytesobject.h"
#include "platform/storage/storageinterfaces.h"

namespace recfilereader {

class CMemoryLockBytes final : public CLockBytesObject {
 public:
  CMemoryLockBytes() = default;

  // Largest size the array may reach.
  static constexpr std::uint64_t kMaxSize = 0xFFFFFFFFull;

  HRESULT ReadAt(ULARGE_INTEGER offset, void* buffer, ULONG count, ULONG* read) override;
  HRESULT WriteAt(ULARGE_INTEGER offset, const void* data, ULONG count, ULONG* written) override;
  HRESULT Flush() override;
  HRESULT SetSize(ULARGE_INTEGER size) override;
  HRESULT Stat(STATSTG* stat, DWORD stat_flag) override;

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  ~CMemoryLockBytes() override = default;

  std::vector<std::uint8_t> bytes_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_MEMORYLOCKBYTES_H
