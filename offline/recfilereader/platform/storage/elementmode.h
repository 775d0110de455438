// Checks of the STGM_* modes that storages and streams of a compound document are opened and
// created with. Only direct mode exists here: STGM_TRANSACTED, STGM_SIMPLE, STGM_PRIORITY,
// STGM_CONVERT and STGM_DELETEONRELEASE are refused with STG_E_INVALIDFLAG.
#ifndef RECFILEREADER_PLATFORM_STORAGE_ELEMENTMODE_H
#define RECFILEREADER_PLATFORM_STORAGE_ELEMENTMODE_H

#include "platform/hresults.h"
#include "platform/storage/storageinterfaces.h"

namespace recfilereader {

constexpr DWORD kAccessMask = 0x3;
constexpr DWORD kShareMask = 0x70;

inline bool ModeWrites(DWORD mode) { return (mode & kAccessMask) != STGM_READ; }
inline bool ModeReads(DWORD mode) { return (mode & kAccessMask) != STGM_WRITE; }

// The flags a document itself may be created or opened with.
inline HRESULT CheckDocumentMode(DWORD mode) {
  constexpr DWORD kAllowed = kAccessMask | kShareMask | STGM_CREATE | STGM_NOSCRATCH | STGM_NOSNAPSHOT;
  if ((mode & ~kAllowed) != 0 || (mode & kAccessMask) == kAccessMask) return STG_E_INVALIDFLAG;
  if ((mode & kShareMask) > STGM_SHARE_DENY_NONE) return STG_E_INVALIDFLAG;
  return S_OK;
}

// The flags a storage or stream inside a document may be created (`create`) or opened with:
// elements inside a document are always opened exclusively.
inline HRESULT CheckElementMode(DWORD mode, bool create) {
  const DWORD allowed = kAccessMask | kShareMask | (create ? STGM_CREATE : 0);
  if ((mode & ~allowed) != 0 || (mode & kAccessMask) == kAccessMask) return STG_E_INVALIDFLAG;
  if ((mode & kShareMask) != STGM_SHARE_EXCLUSIVE) return STG_E_INVALIDFLAG;
  return S_OK;
}

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_ELEMENTMODE_H
