// CRecStream: reads whole REC blocks forward and backward over the caching file reader it
// owns, and passes raw reads and writes through. The position persists between calls: a
// forward read leaves it just past the block, a backward read at the block's start, so
// repeated reads walk the file in either direction. A failed block read leaves the position
// where it was.
//
// With the cache off, block reads go through a small read-ahead window of the stream's own
// (kReadAheadWindow bytes, allocated once): headers and small payloads come from memory, and a
// miss refills it in the direction of travel. Payloads larger than kWindowedPayload bypass it.
// Every write, cut and change of file drops it, so what was written is what is read.
//
// Not thread-safe: used by one thread at a time; the file reader's worker is its own affair.
#ifndef RECFILEREADER_CONTAINER_RECSTREAM_H
#define RECFILEREADER_CONTAINER_RECSTREAM_H

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "container/recblock.h"
#include "container/recstreaminterfaces.h"
#include "fileaccess/cachingfilereader.h"
#include "recfilereader/base.h"
#include "recfilereader/performance.h"

namespace recfilereader {

class CRecStream final : public IPerformanceTable,
                         public IRECStream,
                         public IRECStreamAccess,
                         public IRECStreamRead,
                         public IRECStreamReadRaw,
                         public IRECStreamWriteRaw {
 public:
  explicit CRecStream(IInterfaceAccess* owner, CachingFileReaderPlatform platform = {});
  CRecStream(const CRecStream&) = delete;
  CRecStream& operator=(const CRecStream&) = delete;

  // Passed to the file reader, so a query by position runs on through its counters.
  bool GetPerformanceTable(PerformanceQuery* query) override;
  virtual std::uint64_t GetFileSize() { return file_.GetFileSize(); }
  virtual std::uint64_t GetPosition() { return file_.GetPosition(); }
  virtual bool SetPosition(std::uint64_t position) { return file_.SetPosition(position); }

  void OpenFile(const wchar_t* path) override {
    ForgetBytes();
    file_.OpenFile(path);
  }
  void CreateFileW(const wchar_t* path) override {
    ForgetBytes();
    file_.CreateFileW(path);
  }
  void CloseFile() override {
    ForgetBytes();
    file_.CloseFile();
  }
  std::uint32_t GetAccessMode() override { return file_.GetAccessMode() & 3; }
  void ReadBlock(ULONG direction, RecBlock& block) override;
  void ReadData(void* buffer, std::uint32_t count) override { file_.ReadData(buffer, count); }
  void WriteData(const void* buffer, std::uint32_t count) override {
    ForgetBytes();
    file_.WriteData(buffer, count);
  }
  void SetEndOfFile() override {
    ForgetBytes();
    file_.SetEndOfFile();
  }
  // WriteData of `count` bytes at `source_offset` of `source`'s file, copied inside the kernel
  // where the system can.
  void CopyData(CRecStream& source, std::uint64_t source_offset, std::uint64_t count) {
    ForgetBytes();
    file_.CopyData(source.file_, source_offset, count);
  }

  // Reads the block at the position. Unreadable header: exception_rec_corrupted
  // "Recording is corrupted, offset = <offset>".
  void ReadBlockForward(RecBlock& block) { ReadBlockForward(block, kWholePayload); }
  // The same, except that with the cache off a payload larger than kWindowedPayload is read
  // only up to its first `keep_head` bytes; block.deferred counts the rest, which ReadPayloadAt
  // fetches when (and if) it is wanted, straight into its final place.
  void ReadBlockForward(RecBlock& block, std::uint32_t keep_head);
  // Reads the block that ends at the position: from its back link when that names a block
  // ending there, else (and at the end of the file and before metadata blocks) by scanning.
  // Except at offset 0 it always moves. No plausible block: exception_rec_corrupted.
  void ReadBlockBackward(RecBlock& block) { ReadBlockBackward(block, kWholePayload); }
  void ReadBlockBackward(RecBlock& block, std::uint32_t keep_head);
  // Reads the bytes at `offset` into `parts` in order (the part of a payload that a block read
  // left in the file), leaving the position where it was. With the cache off the next block's
  // header comes along in the same transfer, ready for the next forward read. Failures are
  // ReadData's.
  void ReadPayloadAt(std::uint64_t offset, std::span<const IoSpan> parts);

  // Blocks of one layout lying back to back from `first`, each `stride` bytes long and ending
  // in its package's data, which follows `head` bytes of block and package header.
  struct BlockRun {
    std::uint64_t first = 0;
    std::uint64_t stride = 0;
    std::uint32_t head = 0;
    std::span<void* const> data;  // where each block's data goes, in file order
  };
  static constexpr std::size_t kMaxRunBlocks = 64;
  // With the cache off, reads a whole run in one transfer: each block's data into its place and
  // its head into the stream's memory, so that reading those blocks later transfers nothing;
  // the head of the block behind the run comes along. False, with nothing kept, when that cannot
  // be done in one piece (cache on, a run past the end of the file, a failure): the caller then
  // reads what it needs the usual way. The position stays.
  bool ReadRun(const BlockRun& run);
  // The `count` bytes at `offset` when the last run brought them with a block's head, else null.
  const std::uint8_t* RunHead(std::uint64_t offset, std::uint64_t count) const;
  // Grows whenever the file changes through the stream: bytes read before may be stale.
  std::uint64_t generation() const { return generation_; }

  static constexpr std::uint32_t kWholePayload = ~0u;
  static constexpr std::uint32_t kReadAheadWindow = 131'072;
  static constexpr std::uint32_t kWindowedPayload = 16'384;
  // The offset of the nearest header-like bytes below the position (a candidate only: the
  // forward read validates it). Moves the position.
  std::uint64_t FindPreviousBlock();

  // Only for checks that read nothing (CheckReadable): a write past the stream would leave the
  // headers it remembers stale.
  CCachingFileReader& file() { return file_; }

 private:
  // A header read earlier and where it lies. A walk meets each header more than once: a
  // backward step reads the header of the block it leaves, checks the back link against the
  // header it lands on and then reads that block; a forward read with the cache off brings the
  // next header along with the payload. Headers are remembered until anything is written.
  struct KnownHeader {
    std::uint64_t offset = kNoOffset;
    RecBlockHeader header;
  };

  // ReadBlockForward's work for the block at `start`, leaving the position anywhere.
  void ReadBlockAt(std::uint64_t start, RecBlock& block, std::uint32_t keep_head);
  // The header at `offset`, remembered, from the window or the file; the position is left
  // anywhere. A header the file cannot hold fails as ReadData would.
  RecBlockHeader HeaderAt(std::uint64_t offset);
  // Fills `block.payload` with `count` bytes at `offset`, through the window when they fit;
  // `whole` when they are the whole payload, so that the next header may come along.
  void ReadPayloadInto(RecBlock& block, std::uint64_t offset, std::uint32_t count, bool whole);
  const RecBlockHeader* KnownHeaderAt(std::uint64_t offset) const;
  void RememberHeader(std::uint64_t offset, const RecBlockHeader& header);
  void ForgetBytes() {
    known_[0].offset = known_[1].offset = kNoOffset;
    window_size_ = 0;
    run_count_ = 0;
    ++generation_;
  }
  // True when a readable block starts at `start` and ends exactly at `end`.
  bool EndsAt(std::uint64_t start, std::uint64_t end);
  // Throws what ReadData would for `count` bytes at `offset` past the end of the file.
  void RequireReadable(std::uint64_t offset, std::uint64_t count);

  // The window's bytes at [offset, offset + count), or null when it does not hold them all.
  const std::uint8_t* Windowed(std::uint64_t offset, std::uint64_t count) const;
  // Refills the window so that it holds [offset, offset + count) (count at most the window)
  // and returns them; null when the window is not in use (cache on, no memory for it). Where
  // large payloads go by, only the block's head is read; walking backward, the window ends
  // where the walk stands.
  const std::uint8_t* FillWindow(std::uint64_t offset, std::uint32_t count);
  bool WindowInUse();

  CCachingFileReader file_;
  std::vector<std::uint8_t> scan_;  // the backward scan's window, kept for the next scan
  KnownHeader known_[2];            // the two met last; the older one gives way
  int next_known_ = 0;              // the slot the next header takes
  std::unique_ptr<std::uint8_t[]> window_;  // kReadAheadWindow bytes once in use
  std::uint64_t window_at_ = 0;             // the file offset of window_[0]
  std::uint32_t window_size_ = 0;           // the bytes it holds; 0 when it holds none
  bool large_payloads_ = false;             // the last payload bypassed the window
  std::uint64_t backward_from_ = kNoOffset;  // where a backward read stands, while it runs
  // The heads the last ReadRun brought: run_count_ slots of kRunHeadSlot bytes, run_head_ of
  // each used, for the blocks at run_first_ + i * run_stride_.
  static constexpr std::uint32_t kRunHeadSlot = 128;
  std::unique_ptr<std::uint8_t[]> run_heads_;
  std::uint64_t run_first_ = 0;
  std::uint64_t run_stride_ = 0;
  std::uint32_t run_head_ = 0;
  std::size_t run_count_ = 0;
  std::uint64_t generation_ = 0;
};

// The block-writing rule, which defines how blocks chain: each block's PrevSize is the total
// size of the block this writer wrote last (0 for its first); every system block is written
// with Link = kRecEndMark, and when the next system block follows, the earlier one's header is
// rewritten in place with Link = the new block's offset.
class RecBlockChainWriter {
 public:
  // A writer that continues a chain: the total size of the block last written and the offset
  // of the last system block (kNoOffset when none).
  explicit RecBlockChainWriter(std::uint32_t last_block_size = 0,
                               std::uint64_t last_system_block = kNoOffset)
      : last_block_size_(last_block_size), last_system_block_(last_system_block) {}

  // Writes `block` (header fields other than PrevSize and, for system blocks, Link are the
  // caller's; DataLength is set from the payload) at the stream's position, then sets Offset
  // and Next. The position ends just past the block. A payload longer than kMaxDataLength
  // raises exception_rt before anything is written.
  void Write(CRecStream& stream, RecBlock& block);
  // The same for a payload of `length` bytes that `write_payload` writes to the stream itself
  // (block.payload is not used), so that a large payload can go out in pieces.
  void Write(CRecStream& stream, RecBlock& block, std::uint32_t length,
             const std::function<void()>& write_payload);

  std::uint32_t last_block_size() const { return last_block_size_; }
  std::uint64_t last_system_block() const { return last_system_block_; }

 private:
  std::uint32_t last_block_size_;
  std::uint64_t last_system_block_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_CONTAINER_RECSTREAM_H
