// Any recording file made from the input (recfilefuzz.h), read as navigation data from an offset the input chooses:
// reading either gives a table or fails with the library's own exceptions, never holds more
// entries than the file has records, and a table read whole writes back to the same table.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "base/exceptions.h"
#include "container/navigationtable.h"
#include "container/recstream.h"
#include "require.h"
#include "recfilefuzz.h"

using namespace recfilereader;

namespace {


void CheckRoundTrip(rectest::MemFileSystem& files, const NavigationMap& map) {
  {
    auto writing = recfuzz::OpenStream(files, nullptr);
    RecBlockChainWriter writer;
    RecBlock end;
    end.header.Type = kBlockEnd;
    Require(WriteNavigationTable(*writing, writer, map, 3) == 0);  // small blocks: several of them
    writer.Write(*writing, end);
  }
  const std::vector<std::uint8_t> written = files.Bytes(L"w");
  NavigationMap again;
  ReadNavigationData(*recfuzz::OpenStream(files, &written), 0, again);
  Require(again == map);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::vector<std::uint8_t> file = recfuzz::MakeFile(data + 2, size - 2);
  const std::uint64_t offset = (data[0] | data[1] << 8) % (file.size() + 2);  // may lie past the end
  rectest::MemFileSystem files;
  NavigationMap map;
  bool whole = false;
  try {
    ReadNavigationData(*recfuzz::OpenStream(files, &file), offset, map);
    whole = true;
  } catch (const exception_rec&) {
    // Damage: what was read before it stays.
  }
  Require(map.size() <= file.size() / kNavigationRecordSize);
  // Whatever order the file gives, the table ascends with one offset per timestamp.
  Require(std::adjacent_find(map.begin(), map.end(), [](const auto& a, const auto& b) { return a.first >= b.first; }) ==
          map.end());
  if (whole) {
    Require(map.empty() || map.begin()->first != 0);
    CheckRoundTrip(files, map);
  }
  return 0;
}
