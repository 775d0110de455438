#include "container/loaderrecv2base.h"

#include <string>

#include "base/exceptions.h"
#include "container/markersloader.h"
#include "container/recfilelayout.h"
#include "container/recstream.h"

namespace recfilereader {

CLoaderRecV2Base::CLoaderRecV2Base(IInterfaceAccess* access, CRecStream& stream, const RecBlock& version_block,
                                   NavigationMap& navigation, DWORD options, std::size_t index_size,
                                   SectionProgress progress)
    : CLoaderRecBase(access, stream, version_block, navigation, options),
      index_size_(index_size),
      progress_(progress) {}

void CLoaderRecV2Base::Finish(DWORD discard) {
  if (discard == 0) return;
  sources().clear();
  navigation().clear();
  markers().clear();
  recording_properties().Clear();
  system_properties().Clear();
}

void CLoaderRecV2Base::Load(const Run& run) {
  const std::vector<std::uint64_t> slots = ReadSectionIndex();
  run.Step(progress_[0], L"Loading sources data");
  if (Wants(kLoadSources)) LoadSourcesData(slots[kSlotConfiguration]);
  run.Step(progress_[1], L"Loading navigation data");
  if (Wants(kLoadNavigation)) LoadNavigationData(slots[kSlotNavigation]);
  run.Step(progress_[2], L"Loading markers data");
  if (Wants(kLoadMarkers)) LoadMarkersData(slots[kSlotMarkers]);
  LoadLaterSections(run, slots);
  run.Step(kProgressComplete, L"Loading finished");
}

std::vector<std::uint64_t> CLoaderRecV2Base::ReadSectionIndex() const {
  const CSharedBuffer& payload = version_block().payload;
  if (payload.size() != index_size_) throw exception_rec_corrupted();
  return DecodeSectionIndex({payload.data(), payload.size()});
}

void CLoaderRecV2Base::LoadSourcesData(std::uint64_t offset) {
  try {
    if (offset == kRecEndMark) throw exception_rec(L"Configuration data offset is invalid");
    RecBlock block;
    stream().SetPosition(offset);
    stream().ReadBlockForward(block);
    if (block.header.Type != kBlockConfiguration) throw exception_rec_corrupted();
    ParseConfiguration(block);
    Report(0, L"Loading sources data...OK");
  } catch (const wexception& e) {
    Report(0, L"Loading sources data..." + e.wtext());
    throw;
  }
}

void CLoaderRecV2Base::LoadNavigationData(std::uint64_t offset) {
  navigation().clear();
  try {
    if (offset == kRecEndMark) throw exception_rec(L"Navigation data offset is invalid");
    ReadNavigationData(stream(), offset, navigation());
    if (navigation().empty()) throw exception_rec(L"Failed");
    Report(0, L"Loading navigation data...OK (" + std::to_wstring(navigation().size()) + L" entries loaded)");
  } catch (const wexception& e) {
    Report(2, L"Loading navigation data... " + e.wtext() + L" (" + std::to_wstring(navigation().size()) +
                  L" entries loaded)");
    // The entries read before the damage still lead to the packages they name.
    if (navigation().empty()) throw;
  }
}

void CLoaderRecV2Base::LoadMarkersData(std::uint64_t offset) {
  try {
    if (offset == kRecEndMark) throw exception_rec(L"Markers data offset is invalid");
    CMarkersLoader(access(), stream(), markers()).LoadMarkersData(offset);
    Report(0, markers().empty() ? L"Loading markers data...Not available" : L"Loading markers data...OK");
  } catch (const wexception& e) {
    Report(0, L"Loading markers data..." + e.wtext());
    throw;
  }
}

}  // namespace recfilereader
