// IStream over a stream element of a compound document. Reads come from memory or, for a
// stream not changed since the document was opened, straight from the lock bytes through its
// chain; the first change loads it into memory. Streams are limited to 2 GiB - 1 bytes.
#ifndef RECFILEREADER_PLATFORM_STORAGE_DOCSTREAM_H
#define RECFILEREADER_PLATFORM_STORAGE_DOCSTREAM_H

#include <cstdint>
#include <memory>

#include "platform/storage/comobject.h"
#include "platform/storage/compounddocument.h"
#include "platform/storage/storageinterfaces.h"

namespace recfilereader {

class CDocStream final : public IStream {
 public:
  // Counts as an open handle of `node` while it lives.
  CDocStream(std::shared_ptr<CCompoundDocument> doc, std::shared_ptr<CompoundNode> node, DWORD mode);

  static constexpr std::uint64_t kMaxSize = 0x7FFFFFFF;

  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT Read(void* buffer, ULONG count, ULONG* read) override;
  HRESULT Write(const void* data, ULONG count, ULONG* written) override;
  HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* new_position) override;
  HRESULT SetSize(ULARGE_INTEGER size) override;
  HRESULT CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                 ULARGE_INTEGER* written) override;
  HRESULT Commit(DWORD commit_flags) override;
  HRESULT Revert() override;
  HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lock_type) override;
  HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lock_type) override;
  HRESULT Stat(STATSTG* stat, DWORD stat_flag) override;
  HRESULT Clone(IStream** clone) override;

 private:
  ~CDocStream();
  // S_OK, or why this handle may not change the stream.
  HRESULT CheckWritable() const;

  ComRefCount refs_;
  std::shared_ptr<CCompoundDocument> doc_;
  std::shared_ptr<CompoundNode> node_;
  const DWORD mode_;
  std::uint64_t position_ = 0;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_DOCSTREAM_H
