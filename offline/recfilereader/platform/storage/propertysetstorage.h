// The property sets of one storage (IPropertySetStorage): each set is a stream of that storage
// named from its format identifier. Holds a reference to the storage.
#ifndef RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETSTORAGE_H
#define RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETSTORAGE_H

#include <string>

#include "platform/hresults.h"
#include "platform/storage/propertysetinterfaces.h"

namespace recfilereader {

class CPropertySetStorage final : public IPropertySetStorage {
 public:
  explicit CPropertySetStorage(IStorage* storage);
  CPropertySetStorage(const CPropertySetStorage&) = delete;
  CPropertySetStorage& operator=(const CPropertySetStorage&) = delete;

  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // Only simple sets exist here: PROPSETFLAG_NONSIMPLE gives STG_E_INVALIDFLAG. The stream is
  // created with `mode` (STGM_CREATE replaces an existing set). The document summary and the
  // user-defined properties share one stream: creating or deleting either keeps the other.
  HRESULT Create(REFFMTID fmtid, const CLSID* clsid, DWORD flags, DWORD mode,
                 IPropertyStorage** storage) override;
  HRESULT Open(REFFMTID fmtid, DWORD mode, IPropertyStorage** storage) override;
  HRESULT Delete(REFFMTID fmtid) override;
  // The sets whose streams decode, in the storage's element order.
  HRESULT Enum(IEnumSTATPROPSETSTG** enumerator) override;

 private:
  ~CPropertySetStorage();
  HRESULT DeleteSection(const std::wstring& name, const FMTID& fmtid);

  ULONG references_ = 1;
  IStorage* storage_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETSTORAGE_H
