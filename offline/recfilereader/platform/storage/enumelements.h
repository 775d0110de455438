// IEnumSTATSTG over the elements of one storage, in the element-name order. The enumerator
// remembers the last name it gave and each step takes the next greater name, so elements
// created or destroyed while it runs are seen or skipped consistently.
#ifndef RECFILEREADER_PLATFORM_STORAGE_ENUMELEMENTS_H
#define RECFILEREADER_PLATFORM_STORAGE_ENUMELEMENTS_H

#include <memory>
#include <optional>
#include <string>

#include "platform/storage/comobject.h"
#include "platform/storage/compounddocument.h"
#include "platform/storage/storageinterfaces.h"

namespace recfilereader {

class CEnumElements final : public IEnumSTATSTG {
 public:
  CEnumElements(std::shared_ptr<CCompoundDocument> doc, std::shared_ptr<CompoundNode> storage);

  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT Next(ULONG count, STATSTG* elements, ULONG* fetched) override;
  HRESULT Skip(ULONG count) override;
  HRESULT Reset() override;
  HRESULT Clone(IEnumSTATSTG** clone) override;

 private:
  ~CEnumElements() = default;
  // The child after the last one given, or null at the end.
  const CompoundNode* Following() const;

  ComRefCount refs_;
  std::shared_ptr<CCompoundDocument> doc_;
  std::shared_ptr<CompoundNode> storage_;
  std::optional<std::u16string> last_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_ENUMELEMENTS_H
