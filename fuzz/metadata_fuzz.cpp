// Any bytes as a recording whose metadata table block starts at offset 0: loading either fails
// with one of the library's exceptions or gives a metadata list, which the extraction reads
// without failing, and which the writer lays down so that it loads back with the same shape.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/exceptions.h"
#include "container/metadataextractor.h"
#include "container/metadataloader.h"
#include "container/metadatawriter.h"
#include "container/recstream.h"
#include "require.h"
#include "support/fakeowner.h"
#include "support/memfilesystem.h"

using namespace recfilereader;

namespace {

std::unique_ptr<CRecStream> OpenStream(rectest::FakeOwner& owner, rectest::MemFileSystem& files, bool create) {
  CachingFileReaderPlatform platform;
  platform.files = &files;
  platform.start_worker = false;
  auto stream = std::make_unique<CRecStream>(&owner, platform);
  create ? stream->CreateFileW(L"w") : stream->OpenFile(L"r");
  return stream;
}

// Type -> element count and object count per element, the shape the writer must keep.
std::vector<std::size_t> Shape(const MetadataList& list) {
  std::vector<std::size_t> shape;
  for (const auto& [type, elements] : list) {
    shape.push_back(type);
    for (const auto& element : elements) {
      if (!element.data.empty()) shape.push_back(element.data.size());
    }
  }
  return shape;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  rectest::FakeOwner owner;
  owner.SetCache(65536, 0);
  rectest::MemFileSystem files;
  files.Add(L"r", std::vector<std::uint8_t>(data, data + size));
  MetadataList list;
  try {
    CMetadataLoader().Load(*OpenStream(owner, files, false), 0, list);
  } catch (const wexception&) {
    return 0;
  }
  std::size_t objects = 0;
  for (const auto& [type, elements] : list) {
    for (const auto& element : elements) objects += element.data.size();
  }
  Require(objects * 24 <= size);  // every object has its own item header in the file

  CMetadataExtractor extractor(&owner);
  CPropManager recording, system;
  MarkerSet markers = {{0, {}}, {1, {}}, {10, {}}};
  extractor.ExtractRecProperties(list, recording, 0x3FF);
  extractor.ExtractSysProperties(list, system);
  extractor.ExtractMarkerProperties(list, markers);

  // Elements without data are not written, and so come back as types without elements.
  for (auto it = list.begin(); it != list.end();) {
    std::erase_if(it->second, [](const MetadataElement& e) { return e.data.empty(); });
    it = it->second.empty() ? list.erase(it) : std::next(it);
  }
  std::unique_ptr<CRecStream> out = OpenStream(owner, files, true);
  RecBlockChainWriter chain;
  const std::uint64_t table = CMetadataWriter::Write(*out, chain, list);
  MetadataList back;
  CMetadataLoader().Load(*out, table, back);
  Require(Shape(back) == Shape(list));
  return 0;
}
