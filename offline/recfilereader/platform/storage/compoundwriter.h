// Lays out a whole compound document from the in-memory tree, front to back in one piece:
//   header | FAT sectors | DIFAT sectors | directory | mini FAT | mini stream | large streams
// Each region is one run of consecutive sectors. Streams shorter than 4096 bytes go to the
// mini stream, in 64-byte mini sectors. Each storage's children become a balanced binary
// search tree in the element-name order, coloured so that it is a valid red-black tree.
#ifndef RECFILEREADER_PLATFORM_STORAGE_COMPOUNDWRITER_H
#define RECFILEREADER_PLATFORM_STORAGE_COMPOUNDWRITER_H

#include <cstdint>
#include <vector>

#include "platform/hresults.h"
#include "platform/storage/compoundnode.h"

namespace recfilereader {

// A document laid out for writing: the bytes from the header through the mini stream, then
// each large stream's contents at its place. Sector padding after a large stream is zeros.
struct CompoundImage {
  struct Placed {
    std::uint64_t offset;                   // file position of the stream's first byte
    const std::vector<std::uint8_t>* data;  // the stream's contents (the tree's, not copied)
  };
  std::vector<std::uint8_t> front;
  std::vector<Placed> large;  // ascending offsets, after `front`
  std::uint64_t size = 0;     // length of the whole file
};

// Lays out the document whose root is `root`, with 512-byte sectors (major version 3) or
// 4096-byte sectors (version 4). Every stream must be loaded, and the tree must not change
// while the image is used. Throws com_error(STG_E_MEDIUMFULL) when a version-3 stream reaches
// 2 GiB or the file would need more sectors than there are numbers.
CompoundImage BuildCompoundImage(const CompoundNode& root, std::uint16_t major_version);

// The sibling tree of `count` children sorted ascending: for child i, its left and right
// child indices (or -1) and whether it is red; `root_index` receives the tree's root.
struct SiblingLinks {
  int left = -1;
  int right = -1;
  bool red = false;
};
std::vector<SiblingLinks> BuildSiblingTree(int count, int* root_index);

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_COMPOUNDWRITER_H
