// Filling STATSTG records for the elements of a compound document.
#ifndef RECFILEREADER_PLATFORM_STORAGE_STATSTG_H
#define RECFILEREADER_PLATFORM_STORAGE_STATSTG_H

#include "platform/hresults.h"
#include "platform/storage/compoundnode.h"
#include "platform/storage/storageinterfaces.h"

namespace recfilereader {

// Clears `stat` and describes `node` in it; the name is task memory unless `stat_flag` is
// STATFLAG_NONAME. Answers STG_E_INVALIDFLAG for an unknown flag, STG_E_INSUFFICIENTMEMORY
// when the name cannot be allocated.
HRESULT FillStatStg(const CompoundNode& node, DWORD mode, DWORD stat_flag, STATSTG* stat);

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_STATSTG_H
