#include "data/payloadprefetch.h"

#include <algorithm>

#include "container/extendedpackageheader.h"
#include "data/datapackage.h"

namespace recfilereader {

void* PayloadPrefetch::Take(const Place& place, IExMemoryMgr* memory) {
  if (held_live_ == 0) return nullptr;
  const std::uint64_t stride = last_.stride();
  const std::uint64_t distance = place.block >= held_first_ ? place.block - held_first_ : ~0ull;
  const bool inside = memory == memory_ && place.SameLayout(last_) && place.stream->generation() == generation_ &&
                      distance % stride == 0 && distance / stride < held_count_;
  void* data = inside ? held_[distance / stride] : nullptr;
  if (data == nullptr) {
    Clear();  // the walk went elsewhere
    return nullptr;
  }
  held_[distance / stride] = nullptr;
  --held_live_;
  last_ = place;
  if (held_live_ == 0 && goes_on_) ReadAhead(place);
  return data;
}

void PayloadPrefetch::Read(const Place& place, void* data, IExMemoryMgr* memory) {
  const Place last = last_;
  const bool walking = place.SameLayout(last) && place.stream->generation() == generation_;
  Clear();
  memory_ = memory;
  const std::uint64_t stride = place.stride();
  const bool forward = walking && last.block + stride == place.block;
  backward_ = walking && place.block + stride == last.block;
  if (!((forward || backward_) && ReadRun(place, place.block, data))) {
    const IoSpan part{data, place.size};
    place.stream->ReadPayloadAt(place.block + place.head, std::span<const IoSpan>(&part, 1));
  }
  last_ = place;
  generation_ = place.stream->generation();
}

void PayloadPrefetch::ReadAhead(const Place& place) {
  const std::uint64_t stride = place.stride();
  if (!backward_) {
    ReadRun(place, place.block + stride, nullptr);
  } else if (place.block >= stride) {
    ReadRun(place, place.block - stride, nullptr);
  }
}

bool PayloadPrefetch::ReadRun(const Place& place, std::uint64_t near, void* data) {
  const std::uint64_t stride = place.stride();
  const std::uint64_t file_size = place.stream->GetFileSize();
  // The blocks that fit between `near` and the end of the file the walk goes to.
  const std::uint64_t room = backward_ ? near / stride + 1 : near <= file_size ? (file_size - near) / stride : 0;
  const std::uint64_t wanted = std::min<std::uint64_t>(kMaxHeld, kRunBytes / stride);
  const auto count = static_cast<std::size_t>(std::min(room, wanted));
  goes_on_ = room > count;
  // Nearest first, so that a host short of memory gets a shorter run.
  const std::size_t own = data != nullptr ? 1 : 0;
  std::array<void*, kMaxHeld> by_distance{};
  std::size_t filled = 0;
  for (; filled < count; ++filled) {
    by_distance[filled] = filled < own ? data : memory_->Allocate(place.size, place.flags);
    if (by_distance[filled] == nullptr) break;
  }
  const auto in_file = [&](std::size_t distance) { return backward_ ? filled - 1 - distance : distance; };
  std::array<void*, kMaxHeld> places{};
  for (std::size_t d = 0; d < filled; ++d) places[in_file(d)] = by_distance[d];
  const std::uint64_t first = backward_ && filled != 0 ? near - (filled - 1) * stride : near;
  const CRecStream::BlockRun run{first, stride, place.head, std::span<void* const>(places.data(), filled)};
  if (filled <= own || !place.stream->ReadRun(run)) {
    for (std::size_t d = own; d < filled; ++d) memory_->Free(by_distance[d]);
    return false;
  }
  held_ = places;
  if (own != 0) held_[in_file(0)] = nullptr;  // the package handed out now
  held_first_ = first;
  held_count_ = filled;
  held_live_ = filled - own;
  last_ = place;  // Free goes by its memory manager's buffers, Take by its layout
  generation_ = place.stream->generation();
  // From the first block that is not the walk's next package on, nothing is of use.
  bool broken = false;
  for (std::size_t d = own; d < filled; ++d) {
    broken = broken || !Matches(place, first + in_file(d) * stride);
    if (broken) Free(in_file(d));
  }
  if (broken) goes_on_ = false;
  return true;
}

bool PayloadPrefetch::Matches(const Place& place, std::uint64_t block) {
  const std::uint8_t* head = place.stream->RunHead(block, place.head);
  if (head == nullptr) return false;
  const RecBlockHeader header = RecBlockHeader::DecodeFrom(head);
  if (!header.IsReadable() || header.Type != kBlockData || header.TotalSize() != place.stride()) return false;
  if (header.Tag != kTagExtendedPackage) return place.head == kBlockHeaderSize;
  if (place.head != kBlockHeaderSize + kExtendedPackageHeaderSize) return false;
  const ExtendedPackageHeader package = ExtendedPackageHeader::DecodeFrom(head + kBlockHeaderSize);
  const bool trailed = (package.descriptor.PackageFlags & kPackageFlagTrailerMask) != 0;
  return package.data_length == place.size && (trailed ? kAllocateTrailedData : kAllocateData) == place.flags;
}

void PayloadPrefetch::Free(std::size_t index) {
  if (held_[index] == nullptr) return;
  memory_->Free(held_[index]);
  held_[index] = nullptr;
  --held_live_;
}

void PayloadPrefetch::Clear() {
  for (std::size_t i = 0; i < held_count_ && held_live_ != 0; ++i) Free(i);
  held_count_ = 0;
  held_live_ = 0;
  goes_on_ = false;
  last_ = Place{};
}

}  // namespace recfilereader
