// The version 2.0 loader: a 32-byte section index naming the configuration, navigation and
// markers sections (its fourth slot is not read).
#ifndef RECFILEREADER_CONTAINER_LOADERRECV20_H
#define RECFILEREADER_CONTAINER_LOADERRECV20_H

#include "container/loaderrecv2base.h"

namespace recfilereader {

class CLoaderRecV20 final : public CLoaderRecV2Base {
 public:
  CLoaderRecV20(IInterfaceAccess* access, CRecStream& stream, const RecBlock& version_block,
                NavigationMap& navigation, DWORD options);
};

}  // namespace recfilereader

#endif  // RECFILEREADER_CONTAINER_LOADERRECV20_H
