#include "container/loaderrecv10.h"

#include "base/exceptions.h"
#include "container/recstream.h"

namespace recfilereader {

CLoaderRecV10::CLoaderRecV10(IInterfaceAccess* access, CRecStream& stream, const RecBlock& version_block,
                             NavigationMap& navigation, DWORD options, std::uint64_t offset_base)
    : CLoaderRecBase(access, stream, version_block, navigation, options), offset_base_(offset_base) {}

void CLoaderRecV10::Finish(DWORD discard) {
  if (discard != 0) {
    sources().clear();
    navigation().clear();
  } else {
    navigation().Erase(0);
  }
}

void CLoaderRecV10::Load(const Run& run) {
  LoadSources();
  run.Text(L"Building navigation table");
  // The chain's navigation blocks may come in any order: the table is put in order once, after
  // the walk, however it ends.
  try {
    WalkChain(run);
  } catch (...) {
    navigation().Normalize();
    throw;
  }
  navigation().Normalize();
}

void CLoaderRecV10::LoadSources() {
  if (Wants(kLoadSources)) {
    try {
      ParseConfiguration(version_block());
    } catch (const wexception& e) {
      Report(4, e.wtext());
      throw;
    }
  }
  Report(0, L"Loading sources data...OK");
}

void CLoaderRecV10::WalkChain(const Run& run) {
  CMarkersLoader markers(access(), stream(), this->markers());
  const std::uint64_t file_size = stream().GetFileSize();
  // The blocks of an honest chain lie side by side in the file, so together they are never
  // larger than it: more means the chain loops or overlaps itself, and reading stops there.
  std::uint64_t chained = version_block().header.TotalSize();
  RecBlock block;
  for (std::uint64_t link = version_block().header.Link; link != kRecEndMark; link = block.header.Link) {
    if (link < offset_base_ || link - offset_base_ >= file_size) throw exception_rec_corrupted();
    const std::uint64_t offset = link - offset_base_;
    stream().SetPosition(offset);
    stream().ReadBlockForward(block);
    chained += block.header.TotalSize();
    if (chained > file_size) throw exception_rec_corrupted();
    ProcessChainBlock(block, markers);
    run.CheckAbort();
    run.Progress(static_cast<LONG>(static_cast<double>(offset) / static_cast<double>(file_size) *
                                   kProgressComplete));
  }
}

void CLoaderRecV10::ProcessChainBlock(const RecBlock& block, CMarkersLoader& markers) {
  switch (block.header.Type) {
    case kBlockNavigation:
      if (Wants(kLoadNavigation)) AddNavigationRecords(block, offset_base_, navigation());
      break;
    case kBlockMarker:
      if (Wants(kLoadMarkers)) markers.AddMarkerBlock(block, true);
      break;
    case kBlockMarkerInfo:
      if (Wants(kLoadMarkers)) markers.ApplyMarkerInfoBlockV10(block);
      break;
    default:
      break;  // other system blocks carry nothing a reader needs
  }
}

}  // namespace recfilereader
