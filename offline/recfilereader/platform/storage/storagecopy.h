// Copying whole storages through the IStorage interfaces, so that any two storages (of one
// document or of two) can be copied between. Used by CopyTo and MoveElementTo.
#ifndef RECFILEREADER_PLATFORM_STORAGE_STORAGECOPY_H
#define RECFILEREADER_PLATFORM_STORAGE_STORAGECOPY_H

#include "platform/storage/storageinterfaces.h"

namespace recfilereader {

struct CopyExclusions {
  bool storages = false;  // leave out the source's sub-storages
  bool streams = false;   // leave out the source's streams
  SNB names = nullptr;    // leave out the source's elements of these names
};

// Copies the class id, state bits and every element of `source` into `target`, replacing
// target elements of the same names. The exclusions apply to the source's own elements, not
// to what lies deeper. Nesting is walked without recursion.
HRESULT CopyStorageContents(IStorage* source, IStorage* target, const CopyExclusions& exclusions);

// Copies the element `name` of `source` into `target` as `new_name` (which must not exist).
HRESULT CopyElement(IStorage* source, const OLECHAR* name, IStorage* target, const OLECHAR* new_name);

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_STORAGECOPY_H
