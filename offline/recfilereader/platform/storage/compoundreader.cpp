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

// Rounds up without overflowing: version-4 sizes use all 64 bits.
std::uint64_t CeilDiv(std::uint64_t value, std::uint64_t unit) {
  return value / unit + (value % unit != 0 ? 1 : 0);
}

// Sector links (the FAT or the mini FAT) with a claim mark per sector, so that no sector is
// taken by two chains or twice by one.
class ChainWalker {
 public:
  ChainWalker(std::uint32_t limit) : claimed_(limit, false) {}

  std::vector<std::uint32_t>& links() { return links_; }
  std::uint32_t limit() const { return static_cast<std::uint32_t>(claimed_.size()); }

  void Claim(std::uint32_t sector) {
    if (sector >= claimed_.size() || claimed_[sector]) Corrupt();
    claimed_[sector] = true;
  }

  // A chain of exactly `count` sectors from `start` (a stream's chain: what follows its last
  // needed sector is not looked at).
  std::vector<std::uint32_t> Follow(std::uint32_t start, std::uint64_t count) {
    if (count > claimed_.size()) Corrupt();
    std::vector<std::uint32_t> chain;
    chain.reserve(static_cast<std::size_t>(count));
    std::uint32_t sector = start;
    for (std::uint64_t i = 0; i < count; ++i) {
      Claim(sector);
      chain.push_back(sector);
      if (i + 1 < count) sector = Next(sector);
    }
    return chain;
  }

  // A chain from `start` up to its end mark (directory, mini FAT).
  std::vector<std::uint32_t> FollowToEnd(std::uint32_t start) {
    std::vector<std::uint32_t> chain;
    for (std::uint32_t sector = start; sector != cfb::kEndOfChain; sector = Next(sector)) {
      Claim(sector);
      chain.push_back(sector);
    }
    return chain;
  }

 private:
  // Sectors the links do not cover count as free, which ends no chain.
  std::uint32_t Next(std::uint32_t sector) const {
    return sector < links_.size() ? links_[sector] : cfb::kFreeSect;
  }

  std::vector<std::uint32_t> links_;
  std::vector<bool> claimed_;
};

class DocumentLoader {
 public:
  explicit DocumentLoader(ILockBytes* lock_bytes) : lock_bytes_(lock_bytes) {}

  LoadedDocument Load() {
    ReadHeader();
    ReadFat();
    ReadDirectory();
    ReadMiniStream();
    LoadedDocument doc;
    doc.root = BuildTree();
    doc.header = header_;
    doc.sectors = std::move(sectors_);
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
    fat_ = std::make_unique<ChainWalker>(sectors_.sector_count());
  }

  std::vector<std::uint32_t> ReadLinkSector(std::uint32_t sector) {
    std::vector<std::uint8_t> bytes(sectors_.sector_size());
    sectors_.ReadSector(sector, bytes.data());
    std::vector<std::uint32_t> links(bytes.size() / 4);
    for (std::size_t i = 0; i < links.size(); ++i) links[i] = LoadLe32(bytes.data() + 4 * i);
    return links;
  }

  // The FAT sectors are listed by the header's slots, then by the chain of DIFAT sectors.
  void ReadFat() {
    const std::uint32_t count = header_.fat_sector_count;
    if (count > sectors_.sector_count()) Corrupt();
    std::vector<std::uint32_t> fat_sectors;
    fat_sectors.reserve(count);
    for (std::size_t i = 0; i < cfb::kHeaderDifatSlots && fat_sectors.size() < count; ++i) {
      fat_sectors.push_back(header_.difat[i]);
    }
    const std::size_t per_difat = sectors_.sector_size() / 4 - 1;
    std::uint32_t difat_sector = header_.first_difat_sector;
    while (fat_sectors.size() < count) {
      fat_->Claim(difat_sector);
      const std::vector<std::uint32_t> slots = ReadLinkSector(difat_sector);
      for (std::size_t i = 0; i < per_difat && fat_sectors.size() < count; ++i) {
        fat_sectors.push_back(slots[i]);
      }
      difat_sector = slots[per_difat];
    }
    std::vector<std::uint32_t>& fat = fat_->links();
    fat.reserve(static_cast<std::size_t>(count) * (sectors_.sector_size() / 4));
    for (const std::uint32_t sector : fat_sectors) {
      fat_->Claim(sector);
      const std::vector<std::uint32_t> links = ReadLinkSector(sector);
      fat.insert(fat.end(), links.begin(), links.end());
    }
  }

  std::vector<std::uint8_t> ReadChainBytes(const std::vector<std::uint32_t>& chain) {
    std::vector<std::uint8_t> bytes(chain.size() << sectors_.sector_shift());
    for (std::size_t i = 0; i < chain.size(); ++i) {
      sectors_.ReadSector(chain[i], bytes.data() + (i << sectors_.sector_shift()));
    }
    return bytes;
  }

  void ReadDirectory() {
    const std::vector<std::uint8_t> bytes =
        ReadChainBytes(fat_->FollowToEnd(header_.first_directory_sector));
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

  // The mini stream is the root entry's chain; the mini FAT links sectors inside it.
  void ReadMiniStream() {
    const cfb::DirectoryEntry& root = entries_[0];
    sectors_.SetMiniStream(fat_->Follow(root.start_sector, CeilDiv(root.size, sectors_.sector_size())));
    const std::vector<std::uint8_t> bytes =
        ReadChainBytes(fat_->FollowToEnd(header_.first_mini_fat_sector));
    mini_ = std::make_unique<ChainWalker>(static_cast<std::uint32_t>(
        std::min<std::size_t>(sectors_.mini_sector_capacity(), cfb::kMaxRegSect + 1ull)));
    std::vector<std::uint32_t>& links = mini_->links();
    links.resize(bytes.size() / 4);
    for (std::size_t i = 0; i < links.size(); ++i) links[i] = LoadLe32(bytes.data() + 4 * i);
  }

  std::shared_ptr<CompoundNode> MakeNode(const cfb::DirectoryEntry& e) {
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
    if (e.size == 0) return node;
    node->loaded = false;
    if (e.size < cfb::kMiniStreamCutoff) {
      node->source.mini = true;
      node->source.chain = mini_->Follow(e.start_sector, CeilDiv(e.size, cfb::kMiniSectorSize));
    } else {
      node->source.chain = fat_->Follow(e.start_sector, CeilDiv(e.size, sectors_.sector_size()));
    }
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
  std::unique_ptr<ChainWalker> fat_;
  std::unique_ptr<ChainWalker> mini_;
  std::vector<cfb::DirectoryEntry> entries_;
};

}  // namespace

LoadedDocument LoadCompoundDocument(ILockBytes* lock_bytes) {
  return DocumentLoader(lock_bytes).Load();
}

}  // namespace recfilereader
