// One simple property set over its stream. The set is decoded once into memory; reads and
// writes work on that model, and the model is encoded back into the stream on Commit and when
// the last reference goes (for sets opened for writing). Single-threaded, COM reference counts.
#ifndef RECFILEREADER_PLATFORM_STORAGE_PROPERTYSTORAGE_H
#define RECFILEREADER_PLATFORM_STORAGE_PROPERTYSTORAGE_H

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/hresults.h"
#include "platform/storage/propertysetcodec.h"
#include "platform/storage/propertysetinterfaces.h"

namespace recfilereader {

// The whole content of `stream` from its start, read in pieces so that memory grows only with
// the bytes actually there.
HRESULT ReadWholeStream(IStream* stream, std::vector<std::uint8_t>* bytes);
// Replaces the content of `stream` by `bytes` and commits it.
HRESULT WriteWholeStream(IStream* stream, const std::vector<std::uint8_t>& bytes);

// True for the two sets that share the document summary stream: the document summary is its
// first section, the user-defined properties its second.
bool SharesDocumentSummaryStream(const FMTID& fmtid);

class CPropertyStorage final : public IPropertyStorage {
 public:
  // A new, empty set in `stream` (which it writes at once): code page 1252 when `flags` has
  // PROPSETFLAG_ANSI (1200 for any text 1252 cannot hold), else 1200; locale 0x0409. In the
  // document summary stream the other set's section stays; STG_E_FILEALREADYEXISTS when the
  // set is there already and `mode` lacks STGM_CREATE.
  static HRESULT CreateNew(IStream* stream, REFFMTID fmtid, const CLSID* clsid, DWORD flags,
                           DWORD mode, IPropertyStorage** result);
  // The set `fmtid` held by `stream`. STG_E_INVALIDHEADER when the stream is no property set,
  // STG_E_FILENOTFOUND when it holds other sets only. Reading a damaged value gives
  // STG_E_DOCFILECORRUPT; it is not listed, and it is written back as it was.
  static HRESULT OpenExisting(IStream* stream, REFFMTID fmtid, DWORD mode,
                              IPropertyStorage** result);

  CPropertyStorage(const CPropertyStorage&) = delete;
  CPropertyStorage& operator=(const CPropertyStorage&) = delete;

  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT ReadMultiple(ULONG count, const PROPSPEC* specs, PROPVARIANT* values) override;
  HRESULT WriteMultiple(ULONG count, const PROPSPEC* specs, const PROPVARIANT* values,
                        PROPID first_name_id) override;
  HRESULT DeleteMultiple(ULONG count, const PROPSPEC* specs) override;
  HRESULT ReadPropertyNames(ULONG count, const PROPID* ids, LPOLESTR* names) override;
  HRESULT WritePropertyNames(ULONG count, const PROPID* ids, const LPOLESTR* names) override;
  HRESULT DeletePropertyNames(ULONG count, const PROPID* ids) override;
  HRESULT Commit(DWORD commit_flags) override;
  HRESULT Revert() override;
  HRESULT Enum(IEnumSTATPROPSTG** enumerator) override;
  HRESULT SetTimes(const FILETIME* ctime, const FILETIME* atime, const FILETIME* mtime) override;
  HRESULT SetClass(REFCLSID clsid) override;
  HRESULT Stat(STATPROPSETSTG* stat) override;

 private:
  CPropertyStorage(IStream* stream, REFFMTID fmtid, DWORD mode);
  ~CPropertyStorage();

  HRESULT Load();
  HRESULT Start(const CLSID* clsid, DWORD flags);
  HRESULT WriteWithNames(ULONG count, const PROPSPEC* specs, const PROPVARIANT* values,
                         PROPID first_name_id);
  PropertySection& section() { return data_.sections[section_index_]; }
  std::optional<PROPID> FindName(const std::wstring& name) const;
  // The key a name is looked up by: itself, or lower-cased when case does not count.
  std::wstring NameKey(const std::wstring& name) const;
  std::optional<PROPID> Resolve(const PROPSPEC& spec) const;
  bool Writable() const;
  bool NamesAreCaseSensitive() const;

  ULONG references_ = 1;
  IStream* stream_;  // one reference held
  FMTID fmtid_;
  DWORD mode_;
  PropertySetData data_;
  std::size_t section_index_ = 0;
  std::uint16_t preferred_code_page_ = 1200;  // the set's own code page, or 1252 for ANSI sets
  bool dirty_ = false;
  // Dictionary lookup by NameKey, rebuilt after the dictionary changes in bulk.
  mutable std::unordered_map<std::wstring, PROPID> name_index_;
  mutable bool name_index_valid_ = false;
  FILETIME ctime_{}, atime_{}, mtime_{};
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_PROPERTYSTORAGE_H
