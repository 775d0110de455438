#include "container/versionloader.h"

#include <optional>

#include "base/exceptions.h"
#include "container/loaderrecv10.h"
#include "container/loaderrecv20.h"
#include "container/loaderrecv21.h"
#include "container/recstream.h"

namespace recfilereader {
namespace {

RecFileHeader ReadFileHeader(CRecStream& stream) {
  RecBlock block;
  stream.SetPosition(0);
  stream.ReadBlockForward(block);
  if (block.header.Type != kBlockFileHeader) throw exception_rec_invalid();
  const std::optional<RecFileHeader> header = RecFileHeader::Decode({block.payload.data(), block.payload.size()});
  if (!header) throw exception_rec_invalid();
  if (!IsRecFormat(header->format)) throw exception_rec_invalid_sig();
  return *header;
}

}  // namespace

VersionLoader ChooseVersionLoader(IInterfaceAccess* access, CRecStream& stream, NavigationMap& navigation,
                                  DWORD options) {
  VersionLoader chosen{ReadFileHeader(stream), nullptr};
  RecBlock version;
  do {
    stream.ReadBlockForward(version);  // every read moves on, so the end of the file ends this
  } while (version.header.Type == kBlockFiller);
  switch (version.header.Type) {
    case kBlockConfiguration:
      chosen.loader = std::make_unique<CLoaderRecV10>(access, stream, version, navigation, options,
                                                      chosen.header.offset_base);
      break;
    case kBlockSectionIndex20:
      chosen.loader = std::make_unique<CLoaderRecV20>(access, stream, version, navigation, options);
      break;
    case kBlockSectionIndex21:
      chosen.loader = std::make_unique<CLoaderRecV21>(access, stream, version, navigation, options);
      break;
    default:
      throw exception_rec_corrupted();
  }
  return chosen;
}

}  // namespace recfilereader
