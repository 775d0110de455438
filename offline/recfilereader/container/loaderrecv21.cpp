#include "container/loaderrecv21.h"

#include "base/exceptions.h"
#include "container/metadataextractor.h"
#include "container/metadataloader.h"
#include "container/recfilelayout.h"

namespace recfilereader {

CLoaderRecV21::CLoaderRecV21(IInterfaceAccess* access, CRecStream& stream, const RecBlock& version_block,
                             NavigationMap& navigation, DWORD options)
    : CLoaderRecV2Base(access, stream, version_block, navigation, options, kSectionIndex21Size,
                       {0, 1250, 2500}) {}

void CLoaderRecV21::LoadLaterSections(const Run& run, const std::vector<std::uint64_t>& slots) {
  run.Step(3750, L"Loading metadata");
  if (Wants(kLoadMetadata)) LoadMetadata(slots[kSlotMetadata]);
}

void CLoaderRecV21::LoadMetadata(std::uint64_t offset) {
  try {
    if (offset == kRecEndMark) throw exception_rec(L"Metadata offset is invalid");
    MetadataList list;
    CMetadataLoader().Load(stream(), offset, list);
    CMetadataExtractor extractor(access());
    if (Wants(kLoadMarkerProperties)) extractor.ExtractMarkerProperties(list, markers());
    if (Wants(kLoadSystemProperties)) extractor.ExtractSysProperties(list, system_properties());
    if (Wants(kLoadRecordingProperties)) extractor.ExtractRecProperties(list, recording_properties(), options());
    Report(0, L"Loading metadata...OK");
  } catch (const wexception& e) {
    Report(2, L"Loading metadata..." + e.wtext());
    throw;
  }
}

}  // namespace recfilereader
