// Reads the structure of a compound document from lock bytes into the in-memory tree, and
// checks it on the way: every chain stays inside the file, no sector belongs to two chains or
// twice to one (which also ends cycles), stream chains are as long as their sizes need, and
// every directory entry is reached at most once from the root. Stream contents stay in the
// lock bytes; they are read through the chains kept here.
#ifndef RECFILEREADER_PLATFORM_STORAGE_COMPOUNDREADER_H
#define RECFILEREADER_PLATFORM_STORAGE_COMPOUNDREADER_H

#include <memory>

#include "platform/hresults.h"
#include "platform/storage/cfbformat.h"
#include "platform/storage/compoundnode.h"
#include "platform/storage/sectorfile.h"
#include "platform/storage/storageinterfaces.h"

namespace recfilereader {

struct LoadedDocument {
  cfb::Header header;
  SectorFile sectors;  // reads the streams' contents; refers to the lock bytes
  std::shared_ptr<CompoundNode> root;
};

// Throws com_error: STG_E_FILEALREADYEXISTS (not a compound document), STG_E_INVALIDHEADER,
// STG_E_DOCFILECORRUPT (damaged structure) or STG_E_READFAULT (the lock bytes failed).
LoadedDocument LoadCompoundDocument(ILockBytes* lock_bytes);

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_COMPOUNDREADER_H
