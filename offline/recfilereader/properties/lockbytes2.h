// Lock bytes over a composite buffer: presents the paged bytes of a blob to the compound
// document functions without copying them into one block. Holds a share of the buffer; the
// logical size is the buffer's size. A single-threaded COM object.
#ifndef RECFILEREADER_PROPERTIES_LOCKBYTES2_H
#define RECFILEREADER_PROPERTIES_LOCKBYTES2_H

#include <memory>

#include "platform/storage/lockbytesobject.h"
#include "platform/storage/storageinterfaces.h"
#include "properties/compositebuffer.h"

namespace recfilereader {

class CLockBytes2 final : public CLockBytesObject {
 public:
  // Starts with one reference.
  explicit CLockBytes2(std::shared_ptr<CCompositeBuffer> buffer);
  CLockBytes2(const CLockBytes2&) = delete;
  CLockBytes2& operator=(const CLockBytes2&) = delete;

  // Offset above the size or null buffer: E_INVALIDARG; reads what is there, S_OK.
  HRESULT ReadAt(ULARGE_INTEGER offset, void* buffer, ULONG count, ULONG* read) override;
  // Resizes the buffer first when the range ends past its size.
  HRESULT WriteAt(ULARGE_INTEGER offset, const void* data, ULONG count, ULONG* written) override;
  HRESULT Flush() override;
  HRESULT SetSize(ULARGE_INTEGER size) override;
  HRESULT Stat(STATSTG* stat, DWORD stat_flag) override;

 private:
  ~CLockBytes2() override = default;

  std::shared_ptr<CCompositeBuffer> buffer_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PROPERTIES_LOCKBYTES2_H
