// Reads the structure of a compound document from lock bytes into the in-memory tree, and
// checks what every stream depends on: the header, the DIFAT and FAT (no sector listed twice,
// no chain looping) and the directory (every entry reached at most once from the root). Stream
// chains are checked later, each when its stream is opened (sectorchains.h). A document cut
// short keeps what lies before the cut: FAT sectors past the end count as unknown links, a
// directory chain past the end loses only the entries it held.
#ifndef RECFILEREADER_PLATFORM_STORAGE_COMPOUNDREADER_H
#define RECFILEREADER_PLATFORM_STORAGE_COMPOUNDREADER_H

#include <memory>

#include "platform/hresults.h"
#include "platform/storage/cfbformat.h"
#include "platform/storage/compoundnode.h"
#include "platform/storage/sectorchains.h"
#include "platform/storage/sectorfile.h"
#include "platform/storage/storageinterfaces.h"

namespace recfilereader {

struct LoadedDocument {
  cfb::Header header;
  SectorFile sectors;   // reads the streams' contents; refers to the lock bytes
  SectorChains chains;  // checks each stream's chain when it is opened
  std::shared_ptr<CompoundNode> root;
};

// Throws com_error: STG_E_FILEALREADYEXISTS (not a compound document), STG_E_INVALIDHEADER,
// STG_E_DOCFILECORRUPT (damaged structure) or STG_E_READFAULT (the lock bytes failed).
LoadedDocument LoadCompoundDocument(ILockBytes* lock_bytes);

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_COMPOUNDREADER_H
