#include "platform/storage/compoundreader.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "base/exceptions.h"
#include "platform/bytes.h"
#include "platform/hresults.h"

namespace recfilereader {

namespace {

[[noreturn]] void Corrupt() { throw com_error(STG_E_DOCFILECORRUPT); }

class DocumentLoader {
 public:
  explicit DocumentLoader(ILockBytes* lock_bytes) : lock_bytes_(lock_bytes) {}

  LoadedDocument Load() {
    ReadHeader();
    ReadFat();
    ReadDirectory();
    LoadedDocument doc;
    doc.root = BuildTree();
    doc.header = header_;
    const cfb::DirectoryEntry& root = entries_[0];
    doc.chains = SectorChains(std::move(fat_), std::move(structure_), header_.first_mini_fat_sector,
                              root.start_sector, root.size);
    doc.sectors = sectors_;
    return doc;
  }

 private:
  void ReadHeader() {
    STATSTG stat{};
    if (FAILED(lock_bytes_->Stat(&stat, STATFLAG_NONAME))) throw com_error(STG_E_READFAULT);
    const std::uint64_t file_size = stat.cbSize.QuadPart;
    if (file_size < cfb::kHeaderSize) throw com_error(STG_E_FILEALREADYEXISTS);
    std::array<std::uint8_t, cfb::kHeaderSize> bytes{};
    SectorFile(lock_bytes_, 9, file_size).ReadBytes(0, bytes.data(), bytes.size());
    header_ = cfb::Header::DecodeFrom(bytes);
    sectors_ = SectorFile(lock_bytes_, header_.sector_shift, file_size);
    structure_.assign(sectors_.sector_count(), false);
  }

  // True for a sector inside the file, false for one past its end (the document was cut);
  // anything else (an end or free mark) is damage where a sector must follow.
  bool InFile(std::uint32_t sector) const {
    if (sector < sectors_.sector_count()) return true;
    if (sector > cfb::kMaxRegSect) Corrupt();
    return false;
  }

  // Marks a sector of the structure; taking one twice means a loop or a shared sector.
  void Claim(std::uint32_t sector) {
    if (structure_[sector]) Corrupt();
    structure_[sector] = true;
  }

  std::vector<std::uint32_t> ReadLinkSector(std::uint32_t sector) {
    std::vector<std::uint8_t> bytes(sectors_.sector_size());
    sectors_.ReadSector(sector, bytes.data(), 0xFF);  // links cut off read as free
    std::vector<std::uint32_t> links(bytes.size() / 4);
    for (std::size_t i = 0; i < links.size(); ++i) links[i] = LoadLe32(bytes.data() + 4 * i);
    return links;
  }

  // The FAT sectors are listed by the header's slots, then by the chain of DIFAT sectors. Only
  // the links of sectors inside the file are kept: no chain can use any other.
  void ReadFat() {
    const std::uint32_t per_sector = sectors_.sector_size() / 4;
    const std::uint32_t count = header_.fat_sector_count;
    if (count > cfb::kMaxRegSect / per_sector + 1) Corrupt();  // more than any file can use
    std::vector<std::uint32_t> fat_sectors;
    for (std::size_t i = 0; i < cfb::kHeaderDifatSlots && fat_sectors.size() < count; ++i) {
      fat_sectors.push_back(header_.difat[i]);
    }
    const std::size_t per_difat = per_sector - 1;
    for (std::uint32_t difat = header_.first_difat_sector; fat_sectors.size() < count && InFile(difat);) {
      Claim(difat);
      const std::vector<std::uint32_t> slots = ReadLinkSector(difat);
      for (std::size_t i = 0; i < per_difat && fat_sectors.size() < count; ++i) fat_sectors.push_back(slots[i]);
      difat = slots[per_difat];
    }
    fat_.assign(sectors_.sector_count(), cfb::kFreeSect);
    for (std::size_t i = 0; i < fat_sectors.size(); ++i) {
      if (!InFile(fat_sectors[i])) continue;  // cut off: the links it held stay unknown
      Claim(fat_sectors[i]);
      const std::size_t first = i * per_sector;
      if (first >= fat_.size()) continue;
      const std::vector<std::uint32_t> links = ReadLinkSector(fat_sectors[i]);
      std::copy_n(links.begin(), std::min<std::size_t>(links.size(), fat_.size() - first), fat_.begin() + first);
    }
  }

  // Entries whose 128 bytes lie before the end of the file; a chain running past the end
  // marks the directory cut short.
  void ReadDirectory() {
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t sector = header_.first_directory_sector; sector != cfb::kEndOfChain; sector = fat_[sector]) {
      if (!InFile(sector)) {
        cut_ = true;
        break;
      }
      Claim(sector);
      const std::size_t at = bytes.size();
      bytes.resize(at + sectors_.sector_size());
      sectors_.ReadSector(sector, bytes.data() + at);
      const std::uint64_t position = sectors_.SectorPosition(sector);
      if (position + sectors_.sector_size() > sectors_.file_size()) {
        bytes.resize(at + (sectors_.file_size() - position) / cfb::kDirEntrySize * cfb::kDirEntrySize);
        cut_ = true;
        break;
      }
    }
    const std::size_t count = bytes.size() / cfb::kDirEntrySize;
    if (count == 0) Corrupt();
    entries_.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      const std::span<const std::uint8_t, cfb::kDirEntrySize> raw(bytes.data() + i * cfb::kDirEntrySize,
                                                                  cfb::kDirEntrySize);
      entries_.push_back(cfb::DirectoryEntry::DecodeFrom(raw, header_.major_version));
    }
    if (entries_[0].type != cfb::kRoot) Corrupt();
  }

  static std::shared_ptr<CompoundNode> MakeNode(const cfb::DirectoryEntry& e) {
    auto node = std::make_shared<CompoundNode>();
    node->name = e.name;
    node->clsid = e.clsid;
    node->state_bits = e.state_bits;
    node->ctime = e.ctime;
    node->mtime = e.mtime;
    if (e.type != cfb::kStream) {
      node->type = STGTY_STORAGE;  // a storage's start and size mean nothing
      return node;
    }
    node->type = STGTY_STREAM;
    node->size = e.size;
    node->loaded = e.size == 0;
    node->source.start = e.start_sector;
    return node;
  }

  // Walks every storage's sibling tree without recursion; a tree of any shape is accepted,
  // an entry reached twice is not. Children are then put in the element-name order.
  std::shared_ptr<CompoundNode> BuildTree() {
    std::vector<bool> visited(entries_.size(), false);
    visited[0] = true;
    auto root = MakeNode(entries_[0]);
    std::vector<std::pair<CompoundNode*, std::uint32_t>> storages{{root.get(), entries_[0].child}};
    while (!storages.empty()) {
      auto [storage, tree_root] = storages.back();
      storages.pop_back();
      std::vector<std::uint32_t> pending{tree_root};
      while (!pending.empty()) {
        const std::uint32_t id = pending.back();
        pending.pop_back();
        if (id == cfb::kNoStream) continue;
        if (id >= entries_.size() && cut_) continue;  // the entry lay past the end of the file
        if (id >= entries_.size() || visited[id]) Corrupt();
        visited[id] = true;
        const cfb::DirectoryEntry& e = entries_[id];
        if ((e.type != cfb::kStorage && e.type != cfb::kStream) || e.name.empty()) Corrupt();
        auto node = MakeNode(e);
        node->parent = storage;
        if (node->IsStorage()) storages.emplace_back(node.get(), e.child);
        storage->children.push_back(std::move(node));
        pending.push_back(e.right);
        pending.push_back(e.left);
      }
      SortChildren(*storage);
    }
    return root;
  }

  static void SortChildren(CompoundNode& storage) {
    auto& children = storage.children;
    std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) {
      return CompareSiblingNames(a->name, b->name) < 0;
    });
    // Names that differ only by case are kept apart; the very same name twice is damage.
    for (std::size_t i = 1; i < children.size(); ++i) {
      if (children[i - 1]->name == children[i]->name) Corrupt();
    }
  }

  ILockBytes* lock_bytes_;
  cfb::Header header_;
  SectorFile sectors_;
  std::vector<std::uint32_t> fat_;
  std::vector<bool> structure_;  // sectors of the FAT, DIFAT and directory
  std::vector<cfb::DirectoryEntry> entries_;
  bool cut_ = false;  // the directory ran past the end of the file
};

}  // namespace

LoadedDocument LoadCompoundDocument(ILockBytes* lock_bytes) {
  return DocumentLoader(lock_bytes).Load();
}

}  // namespace recfilereader
