// Reads the property set of a given format identifier from one storage into a property map,
// keyed by the properties' names, and follows the stream references a saver leaves behind:
// a text naming "__blob_stream_#<n>" becomes that stream's bytes as a blob, one naming
// "__string_stream_#<n>" becomes that stream's text. A storage without a set of the asked
// identifier is read through its first property set, so configurations written under another
// identifier still read. One loader per document operation; failures raise exception_rt.
#ifndef RECFILEREADER_PROPERTIES_PROPSTORAGELOADER_H
#define RECFILEREADER_PROPERTIES_PROPSTORAGELOADER_H

#include "platform/storage/storageinterfaces.h"
#include "properties/propertymap.h"
#include "recfilereader/hostservices.h"

namespace recfilereader {

class CPropStorageLoader {
 public:
  // Blob streams are read through blocks of `memory`; without one, through the general heap.
  explicit CPropStorageLoader(IExMemoryMgr* memory) : memory_(memory) {}
  CPropStorageLoader(const CPropStorageLoader&) = delete;
  CPropStorageLoader& operator=(const CPropStorageLoader&) = delete;

  // Adds every named property to `properties` (a name already there is replaced).
  void Load(IStorage* storage, const FMTID& fmtid, PropertyMap& properties);

 private:
  void LoadAll(IStorage* storage, const FMTID& fmtid, PropertyMap& properties);
  // Resolves a stream reference held by `value` (or by its string elements).
  void LoadProperty(IStorage* storage, PROPVARIANT& value);
  template <class Char>
  void LoadStringElement(IStorage* storage, Char*& text, bool is_bstr);
  void LoadBlob(IStorage* storage, const std::wstring& name, PROPVARIANT& value);

  IExMemoryMgr* memory_;  // not owned; may be null
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PROPERTIES_PROPSTORAGELOADER_H
