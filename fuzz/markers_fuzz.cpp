// Any recording file made from the input (recfilefuzz.h), read as markers data from an offset the input chooses, and the
// same bytes as one marker info block: loading either succeeds or fails with the library's own
// exceptions, and the markers found write back and load again with the same timestamps.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>

#include "base/exceptions.h"
#include "container/markersloader.h"
#include "container/markerswriter.h"
#include "container/recstream.h"
#include "host/tempfilesmgrwrp.h"
#include "require.h"
#include "recfilefuzz.h"

using namespace recfilereader;

namespace {

// Audio comments convert through the reader's temporary files.
struct Services final : IInterfaceAccess {
  void* GetInterface(const wchar_t* name) override {
    return std::wcscmp(name, L"IPrivTempFilesMgr") == 0 ? static_cast<IPrivTempFilesMgr*>(&temp_files) : nullptr;
  }
  CTempFilesMgrWrp temp_files{nullptr};
};


// The library's own failures are expected of damaged input; anything else escapes and aborts.
template <class Body>
void Damaged(Body body) {
  try {
    body();
  } catch (const wexception&) {
  }
}

void CheckRoundTrip(Services& services, rectest::MemFileSystem& files, const MarkerSet& markers) {
  {
    auto writing = recfuzz::OpenStream(files, nullptr);
    RecBlockChainWriter writer;
    RecBlock end;
    end.header.Type = kBlockEnd;
    Require(WriteMarkersData(*writing, writer, markers) == 0);
    writer.Write(*writing, end);
  }
  const std::vector<std::uint8_t> written = files.Bytes(L"w");
  MarkerSet again;
  CMarkersLoader(&services, *recfuzz::OpenStream(files, &written), again).LoadMarkersData(0);
  Require(std::ranges::equal(again, markers, [](const auto& a, const auto& m) { return a.first == m.first; }));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::vector<std::uint8_t> file = recfuzz::MakeFile(data + 2, size - 2);
  const std::uint64_t offset = (data[0] | data[1] << 8) % (file.size() + 2);
  Services services;
  rectest::MemFileSystem files;
  auto stream = recfuzz::OpenStream(files, &file);
  MarkerSet markers;
  CMarkersLoader loader(&services, *stream, markers);
  Damaged([&] { loader.LoadMarkersData(offset); });
  RecBlock block;
  block.header.Type = kBlockMarkerInfo;
  Require(block.payload.Resize(file.size()));
  if (!file.empty()) std::memcpy(block.payload.data(), file.data(), file.size());
  stream->SetPosition(offset);
  Damaged([&] { loader.ParseMarkerInfoBlock(block); });
  Damaged([&] { loader.ApplyMarkerInfoBlockV10(block); });
  CheckRoundTrip(services, files, markers);
  return 0;
}
