#include "data/payloadprefetch.h"

#include <algorithm>

#include "container/extendedpackageheader.h"
#include "data/datapackage.h"

namespace recfilereader {

void* PayloadPrefetch::Take(const Place& place, IExMemoryMgr* memory) {
  if (held_live_ == 0) return nullptr;
  const std::uint64_t stride = last_.stride();
  const bool inside = memory == memory_ && place.SameLayout(last_) && place.stream->generation() == generation_ &&
                      place.block >= held_first_ && (place.block - held_first_) % stride == 0 &&
                      (place.block - held_first_) / stride < held_count_;
  const std::size_t index = inside ? static_cast<std::size_t>((place.block - held_first_) / stride) : 0;
  void* data = inside ? held_[index] : nullptr;
  if (data == nullptr) {
    Clear();  // the walk went elsewhere
    return nullptr;
  }
  held_[index] = nullptr;
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
  const bool backward = walking && place.block + stride == last.block;
  backward_ = backward;
  std::size_t count = RunLength(place);
  bool read = false;
  if (forward) {
    read = ReadRun(place, place.block, count, 0, data);
  } else if (backward) {
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, place.block / stride + 1));
    read = ReadRun(place, place.block - (count - 1) * stride, count, count - 1, data);
  }
  if (!read) {
    const IoSpan part{data, place.size};
    place.stream->ReadPayloadAt(place.block + place.head, std::span<const IoSpan>(&part, 1));
  }
  last_ = place;
  generation_ = place.stream->generation();
}

void PayloadPrefetch::ReadAhead(const Place& place) {
  const std::uint64_t stride = place.stride();
  std::size_t count = RunLength(place);
  if (backward_) {
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, place.block / stride));
    if (count != 0) ReadRun(place, place.block - count * stride, count, count, nullptr);
  } else {
    ReadRun(place, place.block + stride, count, count, nullptr);
  }
}

std::size_t PayloadPrefetch::RunLength(const Place& place) const {
  return static_cast<std::size_t>(std::min<std::uint64_t>(kMaxHeld, kRunBytes / place.stride()));
}

bool PayloadPrefetch::ReadRun(const Place& place, std::uint64_t first, std::size_t count, std::size_t own,
                              void* data) {
  const std::uint64_t stride = place.stride();
  const std::uint64_t file_size = place.stream->GetFileSize();
  if (first > file_size) return false;
  const std::size_t fit = static_cast<std::size_t>(std::min<std::uint64_t>(count, (file_size - first) / stride));
  goes_on_ = fit == count;
  if (fit < count) {  // the run may not pass the end of the file
    if (backward_) return false;
    count = fit;
  }
  // Nearest first: walking forward that is file order, backward the reverse.
  const auto index = [&](std::size_t distance) { return backward_ ? count - 1 - distance : distance; };
  std::array<void*, kMaxHeld> places{};
  std::size_t filled = 0;
  for (; filled < count; ++filled) {
    const std::size_t i = index(filled);
    places[i] = i == own ? data : memory_->Allocate(place.size, place.flags);
    if (places[i] == nullptr) break;
  }
  // A host short of memory gets a shorter run, from the near end.
  const std::size_t skipped = backward_ ? count - filled : 0;
  const bool held_any = filled > (own < count ? 1u : 0u);
  const CRecStream::BlockRun run{first + skipped * stride, stride, place.head,
                                 std::span<void* const>(places.data() + skipped, filled)};
  if (!held_any || (own < count && own < skipped) || !place.stream->ReadRun(run)) {
    for (std::size_t i = skipped; i < skipped + filled; ++i) {
      if (i != own) memory_->Free(places[i]);
    }
    return false;
  }
  held_ = {};
  std::copy(places.begin() + skipped, places.begin() + skipped + filled, held_.begin());
  if (own < count) held_[own - skipped] = nullptr;
  held_first_ = run.first;
  held_count_ = filled;
  held_live_ = filled - (own < count ? 1 : 0);
  last_ = place;  // Free goes by its memory manager's buffers, Take by its layout
  generation_ = place.stream->generation();
  // What lies past the first block that is not the walk's next package is of no use.
  for (std::size_t distance = 0; distance < filled; ++distance) {
    const std::size_t i = backward_ ? filled - 1 - distance : distance;
    if (held_[i] == nullptr) continue;  // the package handed out now
    if (Matches(place, held_first_ + i * stride)) continue;
    goes_on_ = false;
    for (; distance < filled; ++distance) Free(backward_ ? filled - 1 - distance : distance);
  }
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
