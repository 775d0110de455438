#include "container/loaderrecv20.h"

#include "container/recfilelayout.h"

namespace recfilereader {

CLoaderRecV20::CLoaderRecV20(IInterfaceAccess* access, CRecStream& stream, const RecBlock& version_block,
                             NavigationMap& navigation, DWORD options)
    : CLoaderRecV2Base(access, stream, version_block, navigation, options, kSectionIndex20Size,
                       {0, 1650, 3300}) {}

}  // namespace recfilereader
