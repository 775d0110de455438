// PayloadPrefetch: while a host walks, one by one, packages of one size that lie back to back,
// one transfer brings the data of up to 2 MiB of the packages in the direction of travel,
// straight into buffers from the host's memory manager, which wait here until their packages
// are handed out. When the last one goes, the next run is read before it is handed over, so a
// host that frees each package before it asks for the next never gives back all of them at
// once (glibc would hand the memory back to the system and fault it in again, run after run).
//
// A walk that goes elsewhere (a jump, a turn, another size), a change of the file, or Clear frees
// what is held; whoever owns one calls Clear before its memory manager goes. A buffer is handed
// out only for the bytes it was read from, so a wrong guess about the packages ahead wastes a
// read, never gives wrong data.
//
// Not thread-safe: the reader's calling thread uses it.
#ifndef RECFILEREADER_DATA_PAYLOADPREFETCH_H
#define RECFILEREADER_DATA_PAYLOADPREFETCH_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "container/recstream.h"
#include "recfilereader/hostservices.h"

namespace recfilereader {

class PayloadPrefetch {
 public:
  // A package whose data waits in the file and ends its block: the block starts at `block`, its
  // `head` bytes of block and package header are followed by the `size` bytes of data, and it is
  // allocated for the host with `flags`.
  struct Place {
    CRecStream* stream = nullptr;
    std::uint64_t block = 0;
    std::uint32_t head = 0;
    std::size_t size = 0;
    DWORD flags = 0;

    std::uint64_t stride() const { return head + std::uint64_t{size}; }
    bool SameLayout(const Place& other) const {
      return stream == other.stream && head == other.head && size == other.size && flags == other.flags;
    }
  };

  PayloadPrefetch() = default;
  PayloadPrefetch(const PayloadPrefetch&) = delete;
  PayloadPrefetch& operator=(const PayloadPrefetch&) = delete;
  ~PayloadPrefetch() { Clear(); }

  // A buffer of `memory` that already holds the package's data, now the caller's; else null.
  void* Take(const Place& place, IExMemoryMgr* memory);
  // Reads the package's data into `data` (as the stream's ReadPayloadAt would, with its
  // failures), in one transfer with the packages ahead when the walk goes on in one direction.
  void Read(const Place& place, void* data, IExMemoryMgr* memory);
  // Frees every buffer held and forgets the walk.
  void Clear();

 private:
  // Reads in one run the blocks laid out like `place`'s from `near` on in the direction of
  // travel, up to kRunBytes and the end of the file: the one at `near` into `data` when that is
  // given (the package handed out now), every other one into a new buffer held for its package.
  // False when it read nothing.
  bool ReadRun(const Place& place, std::uint64_t near, void* data);
  // Reads the run that follows `place` in the direction of travel.
  void ReadAhead(const Place& place);
  // True when the head the stream's last run brought for `block` is a data block laid out like
  // `place`'s package.
  static bool Matches(const Place& place, std::uint64_t block);
  void Free(std::size_t index);

  static constexpr std::size_t kMaxHeld = CRecStream::kMaxRunBlocks;
  static constexpr std::uint64_t kRunBytes = 2'097'152;

  IExMemoryMgr* memory_ = nullptr;  // whose buffers are held
  std::uint64_t generation_ = 0;    // the stream's when they were read
  Place last_;                      // the package handed out last; its stream null when none
  bool backward_ = false;           // the direction of the walk that reads ahead
  bool goes_on_ = false;            // the last run was whole: the packages may go on behind it
  // The data of the blocks at held_first_ + i * last_.stride(), where held_[i] is not null.
  std::array<void*, kMaxHeld> held_{};
  std::uint64_t held_first_ = 0;
  std::size_t held_count_ = 0;
  std::size_t held_live_ = 0;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_DATA_PAYLOADPREFETCH_H
