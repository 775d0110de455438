// The version 1.0 loader. The version block is the configuration block itself; its Link starts
// the chain of system blocks through which the navigation, marker and marker info blocks are
// found. Every offset stored in such a file is the file offset plus the offset base of the file
// header, so the loader subtracts the base from each.
#ifndef RECFILEREADER_CONTAINER_LOADERRECV10_H
#define RECFILEREADER_CONTAINER_LOADERRECV10_H

#include <cstdint>

#include "container/loaderrecbase.h"
#include "container/markersloader.h"

namespace recfilereader {

class CLoaderRecV10 final : public CLoaderRecBase {
 public:
  CLoaderRecV10(IInterfaceAccess* access, CRecStream& stream, const RecBlock& version_block,
                NavigationMap& navigation, DWORD options, std::uint64_t offset_base);

  // Discard: empties the sources and the navigation map. Keep: drops the navigation entry of
  // timestamp 0, which 1.0 writers index before the first real package.
  void Finish(DWORD discard) override;

 private:
  void Load(const Run& run) override;
  void LoadSources();
  // Walks the system-block chain from the version block's Link to the end mark. A link below
  // the base or past the file, or a chain longer than the file: exception_rec_corrupted.
  void WalkChain(const Run& run);
  void ProcessChainBlock(const RecBlock& block, CMarkersLoader& markers);

  std::uint64_t offset_base_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_CONTAINER_LOADERRECV10_H
