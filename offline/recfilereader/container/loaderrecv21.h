// The version 2.1 loader: a 128-byte section index whose fourth slot adds the metadata table,
// from which the recording, system and marker properties are extracted.
#ifndef RECFILEREADER_CONTAINER_LOADERRECV21_H
#define RECFILEREADER_CONTAINER_LOADERRECV21_H

#include "container/loaderrecv2base.h"

namespace recfilereader {

class CLoaderRecV21 final : public CLoaderRecV2Base {
 public:
  CLoaderRecV21(IInterfaceAccess* access, CRecStream& stream, const RecBlock& version_block,
                NavigationMap& navigation, DWORD options);

 private:
  void LoadLaterSections(const Run& run, const std::vector<std::uint64_t>& slots) override;
  void LoadMetadata(std::uint64_t offset);
};

}  // namespace recfilereader

#endif  // RECFILEREADER_CONTAINER_LOADERRECV21_H
