// Opening's first look at a file: the file header block, the format identifier, and the loader
// that the version block (the first block after the header that is no filler) selects.
#ifndef RECFILEREADER_CONTAINER_VERSIONLOADER_H
#define RECFILEREADER_CONTAINER_VERSIONLOADER_H

#include <memory>

#include "container/loaderrecbase.h"
#include "container/navigationtable.h"
#include "container/recfilelayout.h"

namespace recfilereader {

class CRecStream;

struct VersionLoader {
  RecFileHeader header;
  std::unique_ptr<CLoaderRecBase> loader;
};

// Reads from offset 0 up to and including the version block, and nothing else. No file header
// block, or one whose payload is not 48 bytes: exception_rec_invalid; an unknown identifier:
// exception_rec_invalid_sig; a version block of an unknown type: exception_rec_corrupted. Read
// errors pass on. The loader borrows `access`, `stream` and `navigation`.
VersionLoader ChooseVersionLoader(IInterfaceAccess* access, CRecStream& stream, NavigationMap& navigation,
                                  DWORD options);

}  // namespace recfilereader

#endif  // RECFILEREADER_CONTAINER_VERSIONLOADER_H
