// IStorage over a storage element (or the root) of a compound document. Elements inside are
// created and opened exclusively: a stream or storage that is already open cannot be opened a
// second time (STG_E_ACCESSDENIED). Destroying or replacing an element that is still open
// leaves its handles answering STG_E_REVERTED.
#ifndef RECFILEREADER_PLATFORM_STORAGE_DOCSTORAGE_H
#define RECFILEREADER_PLATFORM_STORAGE_DOCSTORAGE_H

#include <memory>
#include <string>

#include "platform/hresults.h"
#include "platform/storage/comobject.h"
#include "platform/storage/compounddocument.h"
#include "platform/storage/storageinterfaces.h"

namespace recfilereader {

// Answered by QueryInterface of our own storages only, so that copies and moves can tell
// when the target lies inside the source.
constexpr IID IID_CDocStorage = {0x6A1F3C52, 0x8B0E, 0x4D7A, {0x9E, 0x21, 0x4F, 0x3B, 0x5C, 0x8D, 0x17, 0x60}};

class CDocStorage final : public IStorage {
 public:
  // Counts as an open handle of `node` while it lives.
  CDocStorage(std::shared_ptr<CCompoundDocument> doc, std::shared_ptr<CompoundNode> node, DWORD mode);

  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT CreateStream(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2,
                       IStream** stream) override;
  HRESULT OpenStream(const OLECHAR* name, void* reserved1, DWORD mode, DWORD reserved2,
                     IStream** stream) override;
  HRESULT CreateStorage(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2,
                        IStorage** storage) override;
  HRESULT OpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode, SNB exclude,
                      DWORD reserved, IStorage** storage) override;
  HRESULT CopyTo(DWORD exclude_count, const IID* exclude_iids, SNB exclude, IStorage* target) override;
  HRESULT MoveElementTo(const OLECHAR* name, IStorage* target, const OLECHAR* new_name,
                        DWORD flags) override;
  HRESULT Commit(DWORD commit_flags) override;
  HRESULT Revert() override;
  HRESULT EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3,
                       IEnumSTATSTG** enumerator) override;
  HRESULT DestroyElement(const OLECHAR* name) override;
  HRESULT RenameElement(const OLECHAR* old_name, const OLECHAR* new_name) override;
  HRESULT SetElementTimes(const OLECHAR* name, const FILETIME* ctime, const FILETIME* atime,
                          const FILETIME* mtime) override;
  HRESULT SetClass(REFCLSID clsid) override;
  HRESULT SetStateBits(DWORD state_bits, DWORD mask) override;
  HRESULT Stat(STATSTG* stat, DWORD stat_flag) override;

  const CCompoundDocument* document() const { return doc_.get(); }
  const CompoundNode* node() const { return node_.get(); }

 private:
  ~CDocStorage();
  HRESULT CheckWritable() const;
  // Creates the child element `name` of `type`, replacing one of that name when `mode` has
  // STGM_CREATE. Throws com_error.
  std::shared_ptr<CompoundNode> CreateChild(const OLECHAR* name, DWORD mode, DWORD type);
  // Finds the child `name` of `type` that may be opened with `mode`. Throws com_error.
  std::shared_ptr<CompoundNode> OpenChild(const OLECHAR* name, DWORD mode, DWORD type);
  // True when `target` is one of our storages of this document that is `node` or lies
  // inside it.
  bool IsInside(IStorage* target, const CompoundNode& node) const;

  ComRefCount refs_;
  std::shared_ptr<CCompoundDocument> doc_;
  std::shared_ptr<CompoundNode> node_;
  const DWORD mode_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_DOCSTORAGE_H
