// CDataPackage: the package the reader read last (its current package), made from a data block
// and handed to the host as a DataPackageRecord whose buffers come from the host's memory
// manager. RecBlockToDataPackage turns a block of either package format into it.
//
// Not thread-safe: the reader's calling thread uses it. Not copyable: its bytes are its own.
#ifndef RECFILEREADER_DATA_DATAPACKAGE_H
#define RECFILEREADER_DATA_DATAPACKAGE_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "base/exceptions.h"
#include "base/sharedbuffer.h"
#include "container/recblock.h"
#include "container/recstream.h"
#include "data/payloadprefetch.h"
#include "recfilereader/data.h"
#include "recfilereader/hostservices.h"

namespace recfilereader {

// The allocation flags of a data copy: 1, with 4 added when the payload carries the 8 trailing
// bytes.
constexpr DWORD kAllocateData = 1;
constexpr DWORD kAllocateTrailedData = 5;

class CDataPackage {
 public:
  explicit CDataPackage(IExMemoryMgr* memory = nullptr) : memory_(memory) {}
  CDataPackage(const CDataPackage&) = delete;
  CDataPackage& operator=(const CDataPackage&) = delete;

  void SetMemoryManager(IExMemoryMgr* memory) {
    if (memory != memory_) prefetch_.Clear();
    memory_ = memory;
  }
  // Zeroes every field and empties both buffers. The bytes' storage is kept for the next block.
  void Reset();
  // Resets and gives back the storage too, and the host's buffers read ahead, for when no
  // recording is open.
  void Release();

  // Fills `record` with a copy whose buffers are allocated through the memory manager and then
  // belong to the record's receiver; bytes still in the file are read straight into them. A
  // failed allocation raises exception_rt with the memory manager's text, a failed read the
  // stream's failure; nothing allocated by the call is left in the record then. Packages handed
  // out one after the other are read ahead (see PayloadPrefetch).
  void GetDataPackage(DataPackageRecord& record);

  // Makes this the package of `block` (see RecBlockToDataPackage). With `donor` (which must be
  // `block.payload`), the payload's storage is taken over instead of copied and the storage this
  // package held goes to `donor`, so that a reader reusing the block never copies a package.
  // A block whose payload was partly left in the file (RecBlock::deferred) needs the `stream`
  // it came from: the data and extra data stay there until GetDataPackage reads them. Data
  // blocks are never rewritten in place, so those bytes are the package's as long as the file
  // is open.
  void Load(const RecBlock& block, CSharedBuffer* donor, CRecStream* stream = nullptr);

  // After damage was met: where the reader resumes.
  void SetPositions(std::uint64_t position, std::uint64_t next_position) {
    position_ = position;
    next_position_ = next_position;
  }
  void SetValid(bool valid) { valid_ = valid; }

  bool valid() const { return valid_; }
  bool second_format() const { return second_format_; }
  std::uint64_t position() const { return position_; }
  std::uint64_t next_position() const { return next_position_; }
  ULONG source_handle() const { return source_handle_; }
  std::uint64_t timestamp() const { return timestamp_; }
  ULONG info1() const { return info1_; }
  ULONG info2() const { return info2_; }
  const DataPackageDescriptor& descriptor() const { return descriptor_; }
  // The bytes in memory; empty while they wait in the file (see Load).
  std::span<const std::uint8_t> data() const {
    if (stream_ != nullptr) return {};
    return {bytes_.data() + data_offset_, data_size_};
  }
  std::span<const std::uint8_t> extra() const {
    if (stream_ != nullptr) return {};
    return {bytes_.data() + extra_offset_, extra_size_};
  }

  // The block that ReadPackageInDirection reads into; its payload storage is swapped with this
  // package's when a data block is found (see Load), so neither is allocated again.
  RecBlock& read_block() { return read_block_; }

 private:
  // Where the package's data and extra data lie in a payload.
  struct Layout {
    std::size_t data_offset = 0, data_size = 0, extra_offset = 0, extra_size = 0;
  };
  Layout DecodeBlock(const RecBlock& block);
  void CopyFrom(const CSharedBuffer& payload, const Layout& layout);
  void* AllocateForHost(std::size_t size, DWORD flags) const;
  void FillHostCopies(void* data, void* extra) const;
  // Where the package waits in the file, when the prefetch can serve it: its data ends its block.
  std::optional<PayloadPrefetch::Place> PrefetchPlace(DWORD flags) const;

  IExMemoryMgr* memory_;
  std::uint64_t position_ = 0;
  std::uint64_t next_position_ = 0;
  bool valid_ = false;
  bool second_format_ = false;
  ULONG source_handle_ = 0;
  std::uint64_t timestamp_ = 0;
  ULONG info1_ = 0;
  ULONG info2_ = 0;
  DataPackageDescriptor descriptor_{};
  // The data and the extra data are views into these bytes.
  CSharedBuffer bytes_;
  std::size_t data_offset_ = 0, data_size_ = 0, extra_offset_ = 0, extra_size_ = 0;
  // Set while the data and extra data wait in the file: they lie there back to back from
  // file_offset_.
  CRecStream* stream_ = nullptr;
  std::uint64_t file_offset_ = 0;
  RecBlock read_block_;
  PayloadPrefetch prefetch_;
};

// Makes `package` the package of the data block `block`, copying its data:
// - second format (Tag kTagExtendedPackage): the fields from the 72-byte extended header, the
//   data its length L names after it, and the extra data when its length E is exactly what
//   follows the data (otherwise none). A payload shorter than the header: exception_rec_corrupted
//   "Recording corrupted".
// - first format: source handle from Tag, timestamp from Link, the data the block's DataLength
//   names.
// A length larger than the payload raises exception_rec_corrupted "Recording's data corrupted";
// the package then keeps the block's positions and is valid, so that reading can go on past the
// damage. Any other failure leaves the package reset.
void RecBlockToDataPackage(const RecBlock& block, CDataPackage& package);

// The text of a block whose package lengths do not fit its payload: reading goes on past it.
inline constexpr wchar_t kPackageDataCorruptedText[] = L"Recording's data corrupted";
bool IsPackageDataCorruption(const exception_rec_corrupted& failure);

}  // namespace recfilereader

#endif  // RECFILEREADER_DATA_DATAPACKAGE_H
