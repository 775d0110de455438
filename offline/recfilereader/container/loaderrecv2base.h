// What the 2.0 and 2.1 loaders share: the version block is a section index whose slots hold the
// absolute offsets of the sections, and the configuration, navigation and markers sections load
// the same way in both. Each section reports "...OK" or its failure to the host; the navigation
// data alone may fail after some entries and still leave a usable table.
#ifndef RECFILEREADER_CONTAINER_LOADERRECV2BASE_H
#define RECFILEREADER_CONTAINER_LOADERRECV2BASE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "container/loaderrecbase.h"

namespace recfilereader {

class CLoaderRecV2Base : public CLoaderRecBase {
 public:
  // Discard: empties every table the loader filled and the navigation map; keep: nothing.
  void Finish(DWORD discard) override;

 protected:
  // Progress shown when the sources, navigation and markers steps begin.
  using SectionProgress = std::array<LONG, 3>;

  CLoaderRecV2Base(IInterfaceAccess* access, CRecStream& stream, const RecBlock& version_block,
                   NavigationMap& navigation, DWORD options, std::size_t index_size,
                   SectionProgress progress);

  // The sections after the markers (2.1: the metadata); none by default.
  virtual void LoadLaterSections(const Run&, const std::vector<std::uint64_t>&) {}

 private:
  void Load(const Run& run) override;
  // The slots of the version block; exception_rec_corrupted for a payload of another size.
  std::vector<std::uint64_t> ReadSectionIndex() const;
  void LoadSourcesData(std::uint64_t offset);
  void LoadNavigationData(std::uint64_t offset);
  void LoadMarkersData(std::uint64_t offset);

  std::size_t index_size_;
  SectionProgress progress_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_CONTAINER_LOADERRECV2BASE_H
