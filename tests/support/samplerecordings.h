// Small recordings of each version, laid down byte by byte by the builders, for the tests of
// the loaders and of opening: a 1.0 file whose offsets carry a base above 4 GiB and whose
// system-block chain runs through navigation, marker and marker info blocks, and 2.x files with
// every section a writer lays down. Each holds two first-format packages, at 1000 and 2000.
#ifndef RECFILEREADER_TESTS_SUPPORT_SAMPLERECORDINGS_H
#define RECFILEREADER_TESTS_SUPPORT_SAMPLERECORDINGS_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "properties/propertymap.h"
#include "support/sectionbuilder.h"

namespace rectest {

constexpr std::uint64_t kEnd = 0xE0F0E0F0E0F0E0F0ull;
constexpr std::uint64_t kBase = 0x1'4000'0000ull;  // 5 GiB: stored offsets need all 64 bits
constexpr std::uint32_t kProps = 0x9D000000, kMarks = 0x9D0C0000;

// A configuration document with one device, "Gps", handle 1, class "GpsReceiver".
Bytes Configuration();
// A compound document with one property-set storage per entry.
Bytes Document(const std::map<std::wstring, recfilereader::PropertyMap>& storages);
// A first-format data block of source 1.
BlockSpec Data(std::uint64_t timestamp);
// `bytes` with the Link field of the block at `block` set to `link`.
Bytes Relink(Bytes bytes, std::uint64_t block, std::uint64_t link);

struct Recording {
  Bytes bytes;
  std::vector<std::uint64_t> offsets;  // of every block, in file order
};

// A 1.0 recording: the configuration block, two packages, then (with `chain`) the chain's
// navigation (with a timestamp-0 entry), marker, marker info and filler blocks.
Recording BuildV10(bool chain = true);

struct V2Spec {
  std::uint16_t index_type = 0xCB02;
  std::size_t index_size = 128;
  bool metadata = true;
  std::map<std::size_t, std::uint64_t> forced_slots{};
  bool end_after_navigation = false;  // the file ends inside the navigation run
};

// A 2.x recording: a filler, the section index, two packages, then configuration, navigation,
// markers (one at 1500 described "first") and metadata (recording "Description" "run 7",
// system "Station" "north", marker 1500 "Note" "loud") as a writer lays them down, and the end
// block.
Recording BuildV2(const V2Spec& spec);

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_SUPPORT_SAMPLERECORDINGS_H
