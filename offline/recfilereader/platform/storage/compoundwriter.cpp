#include "platform/storage/compoundwriter.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/exceptions.h"
#include "platform/bytes.h"
#include "platform/hresults.h"
#include "platform/storage/cfbformat.h"

namespace recfilereader {

namespace {

int BuildRange(int lo, int hi, int depth, std::vector<SiblingLinks>& links,
               std::vector<int>& depths) {
  if (lo > hi) return -1;
  const int mid = lo + (hi - lo) / 2;
  depths[mid] = depth;
  links[mid].left = BuildRange(lo, mid - 1, depth + 1, links, depths);
  links[mid].right = BuildRange(mid + 1, hi, depth + 1, links, depths);
  return mid;
}

std::uint32_t CeilDiv(std::uint64_t value, std::uint64_t unit) {
  return static_cast<std::uint32_t>(value / unit + (value % unit != 0 ? 1 : 0));
}

// Adds `count` sectors to a running total that must stay a valid sector number.
void AddSectors(std::uint32_t& total, std::uint64_t size, std::uint64_t unit) {
  const std::uint64_t count = size / unit + (size % unit != 0 ? 1 : 0);
  if (count > cfb::kMaxRegSect - total) throw com_error(STG_E_MEDIUMFULL);
  total += static_cast<std::uint32_t>(count);
}

// Where each region of the file starts and how long it is, in sectors.
struct Layout {
  std::uint32_t fat = 0, difat = 0, directory = 0, mini_fat = 0, mini_stream = 0, large = 0;
  std::uint32_t directory_start() const { return fat + difat; }
  std::uint32_t mini_fat_start() const { return directory_start() + directory; }
  std::uint32_t mini_stream_start() const { return mini_fat_start() + mini_fat; }
  std::uint32_t large_start() const { return mini_stream_start() + mini_stream; }
  std::uint32_t total() const { return large_start() + large; }
};

class ImageBuilder {
 public:
  ImageBuilder(const CompoundNode& root, std::uint16_t major_version)
      : root_(root), major_(major_version), shift_(major_version == 4 ? 12 : 9) {}

  CompoundImage Build() {
    Flatten();
    PlaceStreams();
    PlanLayout();
    image_.assign(static_cast<std::size_t>(layout_.large_start() + 1) << shift_, 0);
    WriteFatAndDifat();
    WriteHeader();
    WriteDirectory();
    WriteMiniFat();
    CompoundImage out;
    PlaceStreamData(out);
    out.front = std::move(image_);
    out.size = (std::uint64_t{layout_.total()} + 1) << shift_;
    return out;
  }

 private:
  std::uint32_t sector_size() const { return 1u << shift_; }
  std::uint32_t links_per_sector() const { return sector_size() / 4; }
  std::uint8_t* Sector(std::uint32_t sector) {
    return image_.data() + ((static_cast<std::size_t>(sector) + 1) << shift_);
  }

  // Directory indices: the root is 0, each storage's children follow as one block.
  void Flatten() {
    cfb::DirectoryEntry root;
    root.name = root_.name.empty() ? u"Root Entry" : root_.name;
    root.type = cfb::kRoot;
    root.color = cfb::kBlack;
    root.clsid = root_.clsid;
    root.state_bits = root_.state_bits;
    root.mtime = root_.mtime;  // the root's creation time stays zero
    entries_.push_back(root);
    nodes_.push_back(&root_);
    std::vector<std::pair<const CompoundNode*, std::size_t>> storages{{&root_, 0}};
    while (!storages.empty()) {
      auto [storage, id] = storages.back();
      storages.pop_back();
      const auto& children = storage->children;
      if (children.empty()) continue;
      const std::size_t first = entries_.size();
      int tree_root = -1;
      const std::vector<SiblingLinks> tree = BuildSiblingTree(static_cast<int>(children.size()), &tree_root);
      auto index = [&](int i) { return i < 0 ? cfb::kNoStream : static_cast<std::uint32_t>(first + i); };
      entries_[id].child = index(tree_root);
      for (std::size_t i = 0; i < children.size(); ++i) {
        const CompoundNode& child = *children[i];
        cfb::DirectoryEntry e;
        e.name = child.name;
        e.color = tree[i].red ? cfb::kRed : cfb::kBlack;
        e.left = index(tree[i].left);
        e.right = index(tree[i].right);
        if (child.IsStorage()) {
          e.type = cfb::kStorage;
          e.clsid = child.clsid;
          e.state_bits = child.state_bits;
          e.ctime = child.ctime;
          e.mtime = child.mtime;
          storages.emplace_back(&child, first + i);
        } else {
          e.type = cfb::kStream;
          e.size = child.size;
          e.start_sector = cfb::kEndOfChain;
        }
        entries_.push_back(std::move(e));
        nodes_.push_back(&child);
      }
    }
  }

  // Streams shorter than the cutoff get runs of mini sectors, the others runs of sectors
  // counted from the start of the large-stream region.
  void PlaceStreams() {
    for (std::size_t id = 1; id < entries_.size(); ++id) {
      cfb::DirectoryEntry& e = entries_[id];
      if (e.type != cfb::kStream || e.size == 0) continue;
      if (major_ == 3 && e.size > 0x7FFFFFFFu) throw com_error(STG_E_MEDIUMFULL);
      if (e.size < cfb::kMiniStreamCutoff) {
        e.start_sector = mini_sectors_;
        AddSectors(mini_sectors_, e.size, cfb::kMiniSectorSize);
      } else {
        e.start_sector = large_sectors_;
        AddSectors(large_sectors_, e.size, sector_size());
      }
    }
  }

  void PlanLayout() {
    layout_.directory = CeilDiv(entries_.size(), sector_size() / cfb::kDirEntrySize);
    layout_.mini_fat = CeilDiv(std::uint64_t{mini_sectors_} * 4, sector_size());
    layout_.mini_stream = CeilDiv(std::uint64_t{mini_sectors_} * cfb::kMiniSectorSize, sector_size());
    layout_.large = large_sectors_;
    // The FAT must map every sector, its own and the DIFAT's included.
    for (layout_.fat = 1;; ++layout_.fat) {
      layout_.difat = layout_.fat <= cfb::kHeaderDifatSlots
                          ? 0
                          : CeilDiv(layout_.fat - cfb::kHeaderDifatSlots, links_per_sector() - 1);
      if (std::uint64_t{layout_.fat} * links_per_sector() >= layout_.total()) break;
    }
    if (layout_.total() > cfb::kMaxRegSect) throw com_error(STG_E_MEDIUMFULL);
  }

  void LinkRun(std::vector<std::uint32_t>& links, std::uint32_t start, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
      links[start + i] = i + 1 < count ? start + i + 1 : cfb::kEndOfChain;
    }
  }

  void StoreLinks(std::uint32_t first_sector, const std::vector<std::uint32_t>& links) {
    for (std::size_t i = 0; i < links.size(); ++i) {
      StoreLe32(Sector(first_sector) + 4 * i, links[i]);  // the sectors of a region are consecutive
    }
  }

  void WriteFatAndDifat() {
    std::vector<std::uint32_t> fat(std::size_t{layout_.fat} * links_per_sector(), cfb::kFreeSect);
    std::fill_n(fat.begin(), layout_.fat, cfb::kFatSect);
    std::fill_n(fat.begin() + layout_.fat, layout_.difat, cfb::kDifSect);
    LinkRun(fat, layout_.directory_start(), layout_.directory);
    LinkRun(fat, layout_.mini_fat_start(), layout_.mini_fat);
    LinkRun(fat, layout_.mini_stream_start(), layout_.mini_stream);
    for (std::size_t id = 1; id < entries_.size(); ++id) {
      const cfb::DirectoryEntry& e = entries_[id];
      if (e.type == cfb::kStream && e.size >= cfb::kMiniStreamCutoff) {
        LinkRun(fat, layout_.large_start() + e.start_sector, CeilDiv(e.size, sector_size()));
      }
    }
    StoreLinks(0, fat);

    const std::uint32_t per_difat = links_per_sector() - 1;
    std::vector<std::uint32_t> difat(std::size_t{layout_.difat} * links_per_sector(), cfb::kFreeSect);
    for (std::uint32_t i = cfb::kHeaderDifatSlots; i < layout_.fat; ++i) {
      const std::uint32_t k = (i - cfb::kHeaderDifatSlots) / per_difat;
      difat[std::size_t{k} * links_per_sector() + (i - cfb::kHeaderDifatSlots) % per_difat] = i;
    }
    for (std::uint32_t k = 0; k < layout_.difat; ++k) {
      difat[std::size_t{k} * links_per_sector() + per_difat] =
          k + 1 < layout_.difat ? layout_.fat + k + 1 : cfb::kEndOfChain;
    }
    StoreLinks(layout_.fat, difat);
  }

  void WriteHeader() {
    cfb::Header h;
    h.major_version = major_;
    h.sector_shift = static_cast<std::uint16_t>(shift_);
    h.directory_sector_count = major_ == 4 ? layout_.directory : 0;
    h.fat_sector_count = layout_.fat;
    h.first_directory_sector = layout_.directory_start();
    h.first_mini_fat_sector = layout_.mini_fat > 0 ? layout_.mini_fat_start() : cfb::kEndOfChain;
    h.mini_fat_sector_count = layout_.mini_fat;
    h.first_difat_sector = layout_.difat > 0 ? layout_.fat : cfb::kEndOfChain;
    h.difat_sector_count = layout_.difat;
    for (std::uint32_t i = 0; i < layout_.fat && i < cfb::kHeaderDifatSlots; ++i) h.difat[i] = i;
    h.EncodeTo(std::span<std::uint8_t, cfb::kHeaderSize>(image_.data(), cfb::kHeaderSize));
  }

  void WriteDirectory() {
    cfb::DirectoryEntry& root = entries_[0];
    root.start_sector = mini_sectors_ > 0 ? layout_.mini_stream_start() : cfb::kEndOfChain;
    root.size = std::uint64_t{mini_sectors_} * cfb::kMiniSectorSize;
    std::uint8_t* out = Sector(layout_.directory_start());
    const std::size_t slots = std::size_t{layout_.directory} * (sector_size() / cfb::kDirEntrySize);
    const cfb::DirectoryEntry unused;
    for (std::size_t id = 0; id < slots; ++id) {
      cfb::DirectoryEntry e = id < entries_.size() ? entries_[id] : unused;
      if (e.type == cfb::kStream && e.size > 0 && e.size >= cfb::kMiniStreamCutoff) {
        e.start_sector += layout_.large_start();
      }
      e.EncodeTo(std::span<std::uint8_t, cfb::kDirEntrySize>(out + id * cfb::kDirEntrySize,
                                                              cfb::kDirEntrySize));
    }
  }

  void WriteMiniFat() {
    std::vector<std::uint32_t> links(std::size_t{layout_.mini_fat} * links_per_sector(), cfb::kFreeSect);
    for (std::size_t id = 1; id < entries_.size(); ++id) {
      const cfb::DirectoryEntry& e = entries_[id];
      if (e.type == cfb::kStream && e.size > 0 && e.size < cfb::kMiniStreamCutoff) {
        LinkRun(links, e.start_sector, CeilDiv(e.size, cfb::kMiniSectorSize));
      }
    }
    if (!links.empty()) StoreLinks(layout_.mini_fat_start(), links);
  }

  void PlaceStreamData(CompoundImage& out) {
    for (std::size_t id = 1; id < entries_.size(); ++id) {
      const cfb::DirectoryEntry& e = entries_[id];
      if (e.type != cfb::kStream || e.size == 0) continue;
      const std::vector<std::uint8_t>& data = nodes_[id]->data;
      if (e.size < cfb::kMiniStreamCutoff) {
        std::memcpy(Sector(layout_.mini_stream_start()) + std::size_t{e.start_sector} * cfb::kMiniSectorSize,
                    data.data(), data.size());
      } else {
        out.large.push_back({(std::uint64_t{layout_.large_start()} + e.start_sector + 1) << shift_, &data});
      }
    }
  }

  const CompoundNode& root_;
  const std::uint16_t major_;
  const std::uint32_t shift_;
  std::vector<cfb::DirectoryEntry> entries_;
  std::vector<const CompoundNode*> nodes_;  // same indices as entries_
  std::uint32_t mini_sectors_ = 0;
  std::uint32_t large_sectors_ = 0;  // stream start sectors count from the large region
  Layout layout_;
  std::vector<std::uint8_t> image_;
};

}  // namespace

std::vector<SiblingLinks> BuildSiblingTree(int count, int* root_index) {
  std::vector<SiblingLinks> links(static_cast<std::size_t>(count));
  std::vector<int> depths(static_cast<std::size_t>(count), 0);
  *root_index = BuildRange(0, count - 1, 0, links, depths);
  if (count == 0) return links;
  const int deepest = *std::max_element(depths.begin(), depths.end());
  // A perfect tree is valid all black; otherwise the deepest level red keeps every path's
  // black count equal without ever putting a red node under a red one.
  const bool perfect = count == (1 << (deepest + 1)) - 1;
  if (!perfect) {
    for (int i = 0; i < count; ++i) links[static_cast<std::size_t>(i)].red = depths[static_cast<std::size_t>(i)] == deepest;
  }
  return links;
}

CompoundImage BuildCompoundImage(const CompoundNode& root, std::uint16_t major_version) {
  return ImageBuilder(root, major_version).Build();
}

}  // namespace recfilereader
