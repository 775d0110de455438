// Writes a property map into one storage as a property set of a given format identifier.
// Every property is written by name (identifiers from 3 upwards). Texts longer than 255
// characters and non-empty blobs go to streams of the same storage ("__string_stream_#<n>",
// "__blob_stream_#<n>", each counted from 0 per save) and the property holds the stream's name.
// One saver per document operation; failures raise exception_rt.
#ifndef RECFILEREADER_PROPERTIES_PROPSTORAGESAVER_H
#define RECFILEREADER_PROPERTIES_PROPSTORAGESAVER_H

#include "platform/storage/storageinterfaces.h"
#include "properties/propertymap.h"

namespace recfilereader {

class CPropStorageSaver {
 public:
  CPropStorageSaver() = default;
  CPropStorageSaver(const CPropStorageSaver&) = delete;
  CPropStorageSaver& operator=(const CPropStorageSaver&) = delete;

  void Save(IStorage* storage, const FMTID& fmtid, const PropertyMap& properties);

 private:
  void SaveAll(IStorage* storage, const FMTID& fmtid, const PropertyMap& properties);
  // Moves a long text or a blob of `value` to a stream and puts the stream's name in its place.
  void SaveProperty(IStorage* storage, PROPVARIANT& value);
  template <class Char>
  void MoveLongText(IStorage* storage, Char*& text, bool is_bstr);
  void WriteStream(IStorage* storage, const std::wstring& name, const std::uint8_t* data,
                   std::size_t size);

  ULONG string_streams_ = 0;
  ULONG blob_streams_ = 0;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PROPERTIES_PROPSTORAGESAVER_H
