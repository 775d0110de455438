#include "container/recstream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "base/exceptions.h"
#include "base/location.h"
#include "platform/bytes.h"

namespace recfilereader {
namespace {

constexpr const char* kSourceFile = "recstream";
// The backward scan reads windows of 256 KiB plus one header, each overlapping the one above
// by a header, and gives up after 20 MiB.
constexpr std::uint64_t kScanWindow = 262'176;
constexpr std::uint64_t kScanLimit = 20'971'520;
// Where large payloads go by, a window refill reads only a block's head: its header and a data
// package's extended header.
constexpr std::uint32_t kHeadRead = 128;

// Puts the position back to where a block read started when the read fails.
class PositionRestorer {
 public:
  PositionRestorer(CRecStream& stream, std::uint64_t position)
      : stream_(stream), position_(position) {}
  ~PositionRestorer() {
    if (!done_) stream_.SetPosition(position_);
  }
  PositionRestorer(const PositionRestorer&) = delete;
  PositionRestorer& operator=(const PositionRestorer&) = delete;
  void Done() { done_ = true; }

 private:
  CRecStream& stream_;
  const std::uint64_t position_;
  bool done_ = false;
};

// Marks where a backward read stands while it runs, so that window refills end there.
class BackwardWalk {
 public:
  BackwardWalk(std::uint64_t& mark, std::uint64_t end) : mark_(mark), before_(mark) { mark_ = end; }
  ~BackwardWalk() { mark_ = before_; }
  BackwardWalk(const BackwardWalk&) = delete;
  BackwardWalk& operator=(const BackwardWalk&) = delete;

 private:
  std::uint64_t& mark_;
  const std::uint64_t before_;
};

}  // namespace

CRecStream::CRecStream(IInterfaceAccess* owner, CachingFileReaderPlatform platform)
    : file_(owner, std::move(platform)) {}

bool CRecStream::GetPerformanceTable(PerformanceQuery* query) {
  return file_.GetPerformanceTable(query);
}

void CRecStream::ReadBlock(ULONG direction, RecBlock& block) {
  if (direction == kBlockForward) {
    ReadBlockForward(block);
  } else if (direction == kBlockBackward) {
    ReadBlockBackward(block);
  }
}

void CRecStream::ReadBlockForward(RecBlock& block, std::uint32_t keep_head) {
  CCachingFileReader::ReadScope scope(file_);
  const std::uint64_t start = file_.GetPosition();
  PositionRestorer restore(*this, start);
  ReadBlockAt(start, block, keep_head);
  file_.SetPosition(block.Next);
  restore.Done();
}

void CRecStream::ReadBlockAt(std::uint64_t start, RecBlock& block, std::uint32_t keep_head) {
  block.Offset = start;
  block.deferred = 0;
  block.header = HeaderAt(start);
  if (!block.header.IsReadable()) {
    throw exception_rec_corrupted(L"Recording is corrupted, offset = " +
                                  std::to_wstring(static_cast<long long>(block.Offset)));
  }
  const std::uint32_t length = block.header.DataLength;
  const std::uint64_t payload_at = start + kBlockHeaderSize;
  // A first-format package's payload is all data: no head of it is wanted before it is handed out.
  const bool first_format = block.header.Type == kBlockData && block.header.Tag != kTagExtendedPackage;
  if (first_format && keep_head != kWholePayload) keep_head = 0;
  // A length the file cannot hold fails here, as the read would, before anything is allocated.
  RequireReadable(payload_at, length);
  large_payloads_ = length > kWindowedPayload;
  // With the cache on, the payload is copied out of its entries either way, and fetching it
  // later would move the position the worker reads ahead of back and forth.
  const std::uint32_t count = large_payloads_ && !file_.cache_on() ? std::min(length, keep_head) : length;
  ReadPayloadInto(block, payload_at, count, count == length);
  block.deferred = length - count;
  block.Next = payload_at + length;
}

void CRecStream::ReadPayloadInto(RecBlock& block, std::uint64_t offset, std::uint32_t count, bool whole) {
  const std::uint8_t* raw = count == 0 ? nullptr : Windowed(offset, count);
  if (raw == nullptr && count != 0) raw = RunHead(offset, count);
  if (raw == nullptr && count != 0 && count <= kWindowedPayload) raw = FillWindow(offset, count);
  // Room for the next header behind a payload read from the file: with the cache off it comes in
  // the same read.
  const std::uint32_t lookahead = raw == nullptr && whole ? kBlockHeaderSize : 0;
  if (!block.payload.Resize(std::size_t{count} + lookahead)) {
    throw exception_rt(MemoryFailureText(MemorySource::kOperatorNew, count,
                                         {kSourceFile, "CRecStream::ReadBlockForward"}));
  }
  if (raw != nullptr || (count == 0 && lookahead == 0)) {
    if (count != 0) std::memcpy(block.payload.data(), raw, count);
    return;
  }
  file_.SetPosition(offset);
  const std::uint32_t ahead = file_.ReadDataAhead(block.payload.data(), count, lookahead);
  if (ahead == kBlockHeaderSize) RememberHeader(offset + count, RecBlockHeader::DecodeFrom(block.payload.data() + count));
  (void)block.payload.Resize(count);  // shrinking never fails
}

void CRecStream::ReadPayloadAt(std::uint64_t offset, std::span<const IoSpan> parts) {
  CCachingFileReader::ReadScope scope(file_);
  PositionRestorer restore(*this, file_.GetPosition());  // always goes back
  std::uint64_t total = 0;
  for (const IoSpan& part : parts) total += part.size;
  const bool windowed = WindowInUse();
  window_size_ = 0;  // the window is the lookahead's landing place
  file_.SetPosition(offset);
  const std::uint32_t ahead = file_.ReadDataScattered(parts, windowed ? window_.get() : nullptr, windowed ? kHeadRead : 0);
  window_at_ = offset + total;
  window_size_ = ahead;
}

bool CRecStream::ReadRun(const BlockRun& run) {
  const std::size_t count = run.data.size();
  const std::uint64_t size = file_.GetFileSize();
  if (count == 0 || count > kMaxRunBlocks || run.head > kRunHeadSlot || run.stride <= run.head ||
      run.first > size || run.stride > (size - run.first) / count || file_.cache_on()) {
    return false;
  }
  if (run_heads_ == nullptr) run_heads_.reset(new (std::nothrow) std::uint8_t[kMaxRunBlocks * kRunHeadSlot]);
  if (run_heads_ == nullptr) return false;
  IoSpan pieces[2 * kMaxRunBlocks + 1];
  for (std::size_t i = 0; i < count; ++i) {
    pieces[2 * i] = IoSpan{run_heads_.get() + i * kRunHeadSlot, run.head};
    pieces[2 * i + 1] = IoSpan{run.data[i], static_cast<std::size_t>(run.stride - run.head)};
  }
  const std::uint64_t end = run.first + count * run.stride;
  const bool windowed = WindowInUse();
  const auto ahead = static_cast<std::uint32_t>(windowed ? std::min<std::uint64_t>(kHeadRead, size - end) : 0);
  std::size_t used = 2 * count;
  if (ahead != 0) pieces[used++] = IoSpan{window_.get(), ahead};
  // Both are landing places now.
  run_count_ = 0;
  window_size_ = 0;
  if (!file_.TryReadVector(run.first, std::span<const IoSpan>(pieces, used))) return false;
  run_first_ = run.first;
  run_stride_ = run.stride;
  run_head_ = run.head;
  run_count_ = count;
  window_at_ = end;
  window_size_ = ahead;
  return true;
}

const std::uint8_t* CRecStream::RunHead(std::uint64_t offset, std::uint64_t count) const {
  if (run_count_ == 0 || offset < run_first_) return nullptr;
  const std::uint64_t block = (offset - run_first_) / run_stride_;
  const std::uint64_t within = (offset - run_first_) % run_stride_;
  if (block >= run_count_ || count > run_head_ || within > run_head_ - count) return nullptr;
  return run_heads_.get() + block * kRunHeadSlot + within;
}

const RecBlockHeader* CRecStream::KnownHeaderAt(std::uint64_t offset) const {
  for (const KnownHeader& k : known_) {
    if (k.offset == offset) return &k.header;
  }
  return nullptr;
}

void CRecStream::RememberHeader(std::uint64_t offset, const RecBlockHeader& header) {
  if (KnownHeaderAt(offset) != nullptr) return;
  known_[next_known_] = KnownHeader{offset, header};
  next_known_ ^= 1;
}

void CRecStream::RequireReadable(std::uint64_t offset, std::uint64_t count) {
  const std::uint64_t size = file_.GetFileSize();
  if (count <= size && offset <= size - count) return;
  file_.SetPosition(offset);
  file_.CheckReadable(count);
}

bool CRecStream::WindowInUse() {
  if (file_.cache_on()) return false;  // the cache's entries serve small reads themselves
  if (window_ == nullptr) window_.reset(new (std::nothrow) std::uint8_t[kReadAheadWindow]);
  return window_ != nullptr;
}

const std::uint8_t* CRecStream::Windowed(std::uint64_t offset, std::uint64_t count) const {
  if (offset < window_at_ || offset - window_at_ > window_size_ || count > window_size_ - (offset - window_at_))
    return nullptr;
  return window_.get() + (offset - window_at_);
}

const std::uint8_t* CRecStream::FillWindow(std::uint64_t offset, std::uint32_t count) {
  if (count > kReadAheadWindow || !WindowInUse()) return nullptr;
  std::uint64_t from = offset;
  std::uint64_t length = large_payloads_ ? std::max(count, kHeadRead) : kReadAheadWindow;
  const std::uint64_t end = backward_from_;
  if (!large_payloads_ && end != kNoOffset && end >= offset + count && end - offset <= kReadAheadWindow) {
    from = end > kReadAheadWindow ? end - kReadAheadWindow : 0;
    length = end - from;
  }
  length = std::min(length, file_.GetFileSize() - from);  // callers checked that the bytes exist
  window_size_ = 0;
  file_.SetPosition(from);
  file_.ReadData(window_.get(), static_cast<std::uint32_t>(length));
  window_at_ = from;
  window_size_ = static_cast<std::uint32_t>(length);
  return window_.get() + (offset - from);
}

void CRecStream::ReadBlockBackward(RecBlock& block, std::uint32_t keep_head) {
  CCachingFileReader::ReadScope scope(file_);
  const std::uint64_t end = file_.GetPosition();
  PositionRestorer restore(*this, end);
  BackwardWalk walk(backward_from_, end);
  std::uint64_t start;
  if (end == file_.GetFileSize()) {
    start = FindPreviousBlock();  // the file's end has no following block to link back
  } else {
    const RecBlockHeader following = HeaderAt(end);
    if (!following.IsReadable()) throw exception_rec_corrupted();
    if (following.Type == kBlockMetadataTable || following.Type == kBlockMetadata) {
      file_.SetPosition(end);
      start = FindPreviousBlock();  // metadata blocks' back links are not kept up
    } else {
      start = end - following.PrevSize;
      if (static_cast<std::int64_t>(start) < 0) throw exception_rec_corrupted();
      // At the file's start the first block links back to itself, which ends a walk there.
      // Anywhere else a link must name a block ending here, or a damaged link (too short to
      // span a header, into a payload, onto an older block) would hold the walk in place.
      if (end != 0 && !EndsAt(start, end)) {
        file_.SetPosition(end);
        start = FindPreviousBlock();
      }
    }
  }
  ReadBlockAt(start, block, keep_head);
  file_.SetPosition(start);
  restore.Done();
}

RecBlockHeader CRecStream::HeaderAt(std::uint64_t offset) {
  RequireReadable(offset, kBlockHeaderSize);  // the file may have been cut behind our back
  if (const RecBlockHeader* known = KnownHeaderAt(offset)) return *known;
  const std::uint8_t* raw = Windowed(offset, kBlockHeaderSize);
  if (raw == nullptr) raw = RunHead(offset, kBlockHeaderSize);
  if (raw == nullptr) raw = FillWindow(offset, kBlockHeaderSize);
  std::uint8_t own[kBlockHeaderSize];
  if (raw == nullptr) {
    file_.SetPosition(offset);
    file_.ReadData(own, kBlockHeaderSize);
    raw = own;
  }
  const RecBlockHeader header = RecBlockHeader::DecodeFrom(raw);
  RememberHeader(offset, header);
  return header;
}

bool CRecStream::EndsAt(std::uint64_t start, std::uint64_t end) {
  if (start > end || end - start < kBlockHeaderSize) return false;
  const RecBlockHeader header = HeaderAt(start);
  return header.IsReadable() && header.TotalSize() == end - start;
}

std::uint64_t CRecStream::FindPreviousBlock() {
  std::uint64_t scanned = 0;
  for (;;) {
    const std::uint64_t position = file_.GetPosition();
    std::uint64_t window = kScanWindow;
    std::uint64_t start = position - window;
    if (position < window) {
      start = 0;
      window = position;
    }
    try {
      scan_.resize(static_cast<std::size_t>(window));
    } catch (const std::bad_alloc&) {
      throw exception_rt(MemoryFailureText(MemorySource::kOperatorNew, window,
                                           {kSourceFile, "CRecStream::FindPreviousBlock"}));
    }
    file_.SetPosition(start);
    file_.ReadData(scan_.data(), static_cast<std::uint32_t>(window));
    file_.SetPosition(start);
    // The highest match wins: the candidate nearest below the position.
    for (std::uint64_t i = window >= kBlockHeaderSize ? window - kBlockHeaderSize + 1 : 0; i-- > 0;) {
      const std::uint8_t* at = scan_.data() + i;
      if (at[0] == kBlockHeaderSize && at[1] == 0 && IsKnownBlockType(LoadLe16(at + 2))) {
        return start + i;
      }
    }
    if (start == 0) throw exception_rec_corrupted();
    scanned += window - kBlockHeaderSize;
    file_.SetPosition(start + kBlockHeaderSize);
    if (scanned >= kScanLimit) throw exception_rec_corrupted();
  }
}

void RecBlockChainWriter::Write(CRecStream& stream, RecBlock& block) {
  const auto length = static_cast<std::uint32_t>(block.payload.size());
  Write(stream, block, length, [&] {
    if (length > 0) stream.WriteData(block.payload.data(), length);
  });
}

void RecBlockChainWriter::Write(CRecStream& stream, RecBlock& block, std::uint32_t length,
                                const std::function<void()>& write_payload) {
  if (length > kMaxDataLength) {
    // No reader would take such a block back: refuse it before anything is written.
    ThrowLocated<exception_rt>(L"A block payload of " + std::to_wstring(length) +
                                   L" bytes exceeds the 104857600 bytes a block may hold",
                               {kSourceFile, "RecBlockChainWriter::Write"});
  }
  const std::uint64_t offset = stream.GetPosition();
  block.header.PrevSize = last_block_size_;
  block.header.DataLength = length;
  if (block.IsSystemBlock()) block.header.Link = kRecEndMark;
  std::uint8_t raw[kBlockHeaderSize];
  block.header.EncodeTo(raw);
  stream.WriteData(raw, kBlockHeaderSize);
  write_payload();
  block.Offset = offset;
  block.Next = stream.GetPosition();
  last_block_size_ = kBlockHeaderSize + length;
  if (!block.IsSystemBlock()) return;
  if (last_system_block_ != kNoOffset) {
    // Link the previous system block to this one, then carry on behind this block.
    std::uint8_t previous[kBlockHeaderSize];
    stream.SetPosition(last_system_block_);
    stream.ReadData(previous, kBlockHeaderSize);
    StoreLe64(previous + 16, offset);
    stream.SetPosition(last_system_block_);
    stream.WriteData(previous, kBlockHeaderSize);
    stream.SetPosition(block.Next);
  }
  last_system_block_ = offset;
}

}  // namespace recfilereader
