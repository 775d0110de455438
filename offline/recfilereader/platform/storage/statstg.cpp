#include "platform/storage/statstg.h"

#include <cstring>
#include <string>

#include "platform/hresults.h"
#include "platform/storage/cfbformat.h"
#include "recfilereader/propvariant.h"

namespace recfilereader {

HRESULT FillStatStg(const CompoundNode& node, DWORD mode, DWORD stat_flag, STATSTG* stat) {
  if (stat == nullptr) return STG_E_INVALIDPOINTER;
  if (stat_flag != STATFLAG_DEFAULT && stat_flag != STATFLAG_NONAME) return STG_E_INVALIDFLAG;
  std::memset(static_cast<void*>(stat), 0, sizeof *stat);
  if (stat_flag == STATFLAG_DEFAULT) {
    const std::wstring name = cfb::NameToWide(node.name);
    auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc((name.size() + 1) * sizeof(wchar_t)));
    if (copy == nullptr) return STG_E_INSUFFICIENTMEMORY;
    std::memcpy(copy, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    stat->pwcsName = copy;
  }
  stat->type = node.type;
  stat->cbSize.QuadPart = node.IsStorage() ? 0 : node.size;
  stat->mtime = node.mtime;
  stat->ctime = node.ctime;
  stat->grfMode = mode;
  stat->clsid = node.clsid;
  stat->grfStateBits = node.state_bits;
  return S_OK;
}

}  // namespace recfilereader
