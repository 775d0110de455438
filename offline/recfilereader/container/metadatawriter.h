// CMetadataWriter writes a metadata list as the metadata section of a version 2.1 file (see
// metadataformat.h), as system blocks in this order: one metadata block per element holding
// an item per generic data object, then one reference block per type whose single record lists
// the offsets of all that type's items, then the table block with one record per type. Types
// without items and elements without data are left out: there would be nothing to read back.
#ifndef RECFILEREADER_CONTAINER_METADATAWRITER_H
#define RECFILEREADER_CONTAINER_METADATAWRITER_H

#include <cstdint>
#include <vector>

#include "container/metadatalist.h"

namespace recfilereader {

class CRecStream;
class RecBlockChainWriter;

class CMetadataWriter {
 public:
  // Writes at the stream's position through `chain`; returns the table block's offset (what
  // the section index keeps). An element too large for one block raises exception_rt.
  static std::uint64_t Write(CRecStream& stream, RecBlockChainWriter& chain, const MetadataList& list);

  // The item bytes of one element: header and data per object, in order (exposed for tests).
  static std::vector<std::uint8_t> EncodeItems(const MetadataElement& element);
};

}  // namespace recfilereader

#endif  // RECFILEREADER_CONTAINER_METADATAWRITER_H
