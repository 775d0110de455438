// The in-memory form of a compound document: a tree of storages and streams. Storages keep
// their children sorted in the element-name order, so lookups, enumeration and the sibling
// trees written back all follow it. Stream contents either still lie in the lock bytes (a
// sector chain, checked when the stream is opened) or are held in memory once loaded or written.
#ifndef RECFILEREADER_PLATFORM_STORAGE_COMPOUNDNODE_H
#define RECFILEREADER_PLATFORM_STORAGE_COMPOUNDNODE_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hresults.h"
#include "platform/storage/storageinterfaces.h"

namespace recfilereader {

// Where an unloaded stream's bytes lie. The directory gives the first sector (or mini sector);
// the chain from there is followed and checked when the stream is first opened, and kept as
// the file position of each sector (or 64-byte mini sector), exactly as many as the size needs.
struct StreamSource {
  std::uint32_t start = 0;
  bool checked = false;
  std::uint32_t unit_shift = 0;
  std::vector<std::uint64_t> positions;
};

// The order of the children of a storage: the element-name order, and for twins (names equal
// in it, as other writers make them) the order of their exact UTF-16 units.
int CompareSiblingNames(std::u16string_view a, std::u16string_view b);

struct CompoundNode {
  CompoundNode() = default;
  CompoundNode(const CompoundNode&) = delete;
  CompoundNode& operator=(const CompoundNode&) = delete;
  // Releases the subtree without recursion: nesting depth comes from the file.
  ~CompoundNode();

  std::u16string name;
  DWORD type = STGTY_STREAM;  // STGTY_STORAGE or STGTY_STREAM; the root is a storage
  CLSID clsid = GUID_NULL;
  DWORD state_bits = 0;
  FILETIME ctime{0, 0};
  FILETIME mtime{0, 0};

  CompoundNode* parent = nullptr;                       // null for the root
  std::vector<std::shared_ptr<CompoundNode>> children;  // storages only, ascending by name
  bool removed = false;  // destroyed or replaced: handles still open on it answer STG_E_REVERTED
  int open_count = 0;     // open handles, for the exclusive-open rule

  // Streams.
  std::uint64_t size = 0;
  bool loaded = true;              // `data` holds the contents
  std::vector<std::uint8_t> data;  // contents when loaded (size() == size)
  StreamSource source;             // contents in the lock bytes when not loaded

  bool IsStorage() const { return type == STGTY_STORAGE; }

  // The child named exactly `name`, else one whose name equals it in the element-name order
  // (without regard to case), else null. Documents of other writers may hold such twins.
  std::shared_ptr<CompoundNode> FindChild(std::u16string_view name) const;
  // True when a child other than `except` has a name equal to `name` in the element-name
  // order: the name would make twins, which this library never creates.
  bool NameTaken(std::u16string_view name, const CompoundNode* except) const;
  // Adds a child, keeping the order.
  void InsertChild(std::shared_ptr<CompoundNode> child);
  // Takes the child out of the tree and marks it and everything under it removed.
  void RemoveChild(const CompoundNode& child);
  // Gives a child a new name that no sibling has, keeping the order.
  void RenameChild(const CompoundNode& child, std::u16string new_name);
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_COMPOUNDNODE_H
