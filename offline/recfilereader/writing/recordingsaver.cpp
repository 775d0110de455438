#include "writing/recordingsaver.h"

#include <algorithm>
#include <new>
#include <span>
#include <string>

#include "base/exceptions.h"
#include "base/location.h"
#include "base/privateinterfaces.h"
#include "container/markerswriter.h"
#include "container/metadataextractor.h"
#include "container/metadatawriter.h"
#include "container/recfilelayout.h"
#include "host/reporttohost.h"
#include "platform/memorystatus.h"
#include "sources/fileconfigsaver.h"

namespace recfilereader {
namespace {

constexpr const char* kFile = "recordingsaver";
constexpr SourceTag kCreate{kFile, "CRecordingSaver::CreateNewRecording"};
constexpr SourceTag kFinish{kFile, "CRecordingSaver::FinishRecording"};
constexpr SourceTag kWriteSystemBlock{kFile, "CRecordingSaver::WriteSystemBlock"};
constexpr DWORD kFailureSeverity = 4;
// Raw reads and writes move at most this much at a time (their counts are 32-bit).
constexpr std::uint64_t kChunk = 1u << 30;

std::optional<RecBlockHeader> HeaderAt(CRecStream& stream, std::uint64_t offset) {
  if (offset > stream.GetFileSize() || stream.GetFileSize() - offset < kBlockHeaderSize) return std::nullopt;
  std::uint8_t raw[kBlockHeaderSize];
  stream.SetPosition(offset);
  stream.ReadData(raw, kBlockHeaderSize);
  return RecBlockHeader::DecodeFrom(raw);
}

// The block that ends at `end`. Its back link finds it; where the header at `end` is damaged or
// missing (a repair attaches at the first unreadable block) a scan does.
RecBlock BlockEndingAt(CRecStream& stream, std::uint64_t end) {
  RecBlock block;
  const std::optional<RecBlockHeader> following = HeaderAt(stream, end);
  stream.SetPosition(end);
  if (end == stream.GetFileSize() || (following && following->IsReadable())) {
    stream.ReadBlockBackward(block);
  } else {
    stream.SetPosition(stream.FindPreviousBlock());
    stream.ReadBlockForward(block);
  }
  if (block.Next != end) throw exception_rec_corrupted();
  return block;
}

// The offset of the last system block at or before `block`. Data blocks are passed by their
// headers alone, since a recording's data can be long; a back link that does not name a block
// ending there is passed by the stream's scan.
std::uint64_t LastSystemBlockFrom(CRecStream& stream, const RecBlock& block) {
  std::uint64_t offset = block.Offset;
  RecBlockHeader header = block.header;
  while (header.Type == kBlockData) {
    const std::uint32_t link = header.PrevSize;
    std::optional<RecBlockHeader> before;
    if (link >= kBlockHeaderSize && link <= offset) before = HeaderAt(stream, offset - link);
    if (before && before->IsReadable() && before->TotalSize() == link) {
      offset -= link;
      header = *before;
      continue;
    }
    RecBlock previous;
    stream.SetPosition(offset);
    stream.ReadBlockBackward(previous);
    if (previous.Offset >= offset) throw exception_rec_corrupted();
    offset = previous.Offset;
    header = previous.header;
  }
  return offset;
}

IExMemoryMgr* MemoryManager(IInterfaceAccess* access) {
  if (access == nullptr) return nullptr;
  auto* external = static_cast<IExternalInterfaceAccess*>(access->GetInterface(L"IExternalInterfaceAccess"));
  return external == nullptr ? nullptr : static_cast<IExMemoryMgr*>(external->GetInterface(L"IRCMemoryMgr"));
}

void WriteAll(CRecStream& stream, const std::vector<std::uint8_t>& bytes) {
  for (std::uint64_t at = 0; at < bytes.size();) {
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunk, bytes.size() - at));
    stream.WriteData(bytes.data() + at, count);
    at += count;
  }
}

}  // namespace

CRecordingSaver::CRecordingSaver(IInterfaceAccess* access, CachingFileReaderPlatform platform)
    : access_(access), platform_(std::move(platform)) {}

CRecordingSaver::~CRecordingSaver() = default;

void CRecordingSaver::RequireState(bool allowed) const {
  if (!allowed) throw com_error(E_FAIL);
}

const GUID& CRecordingSaver::Format() const {
  return mode_ == kSecondFormatMode ? kRecFormatSecond : kRecFormatFirst;
}

void CRecordingSaver::SetRecordingProperties(const CPropManager& properties) {
  recording_.Assign(properties);
  have_recording_ = true;
}

void CRecordingSaver::SetSystemProperties(const CPropManager& properties) {
  system_.Assign(properties);
  have_system_ = true;
}

void CRecordingSaver::CreateNewRecording(const wchar_t* path, DWORD mode) {
  RequireState(state_ == kIdle);
  try {
    own_stream_ = std::make_unique<CRecStream>(access_, platform_);
  } catch (const std::bad_alloc&) {
    throw exception_rt(MemoryFailureText(MemorySource::kOperatorNew, sizeof(CRecStream), kCreate));
  }
  try {
    own_stream_->CreateFileW(path);
    stream_ = own_stream_.get();
    chain_ = RecBlockChainWriter();
    mode_ = mode;
    version21_ = true;  // new files are always 2.1
    WriteSystemBlock(kBlockFileHeader, RecFileHeader::Encode(Format()));
    section_index_ = WriteSystemBlock(kBlockSectionIndex21, EncodeSectionIndex({}, kSectionIndex21Size));
  } catch (...) {
    Reset();
    throw;
  }
  state_ = kCreated;
}

void CRecordingSaver::AttachToRecording(CRecStream& stream, DWORD mode, std::uint64_t last_system_block) {
  RequireState(state_ == kIdle);
  const std::uint64_t start = stream.GetPosition();
  RecBlock block;
  std::uint64_t last_system = kNoOffset;
  try {
    stream.SetPosition(0);
    stream.ReadBlockForward(block);
    if (block.header.Type != kBlockFileHeader) throw exception_rec_invalid();
    const auto header = RecFileHeader::Decode({block.payload.data(), block.payload.size()});
    if (!header) throw exception_rec_invalid();
    if (!IsRecFormat(header->format)) throw exception_rec_invalid_sig();
    do {
      stream.ReadBlockForward(block);
    } while (block.header.Type == kBlockFiller);
    std::size_t index_size = 0;
    switch (block.header.Type) {
      case kBlockSectionIndex21: index_size = kSectionIndex21Size; break;
      case kBlockSectionIndex20: index_size = kSectionIndex20Size; break;
      case kBlockConfiguration: throw exception_rt(L"Saving data to rec file version 1.0 is not supported");
      default: throw exception_rec_corrupted();
    }
    // The index is rewritten in place, so it must be whole and lie before what is replaced.
    if (block.payload.size() != index_size || block.Next > start) throw exception_rec_corrupted();
    section_index_ = block.Offset;
    version21_ = block.header.Type == kBlockSectionIndex21;
    block = BlockEndingAt(stream, start);
    last_system = last_system_block != kNoOffset ? last_system_block : LastSystemBlockFrom(stream, block);
    stream.SetPosition(start);
  } catch (...) {
    section_index_ = kNoOffset;
    stream.SetPosition(start);
    throw;
  }
  chain_ = RecBlockChainWriter(static_cast<std::uint32_t>(block.header.TotalSize()), last_system);
  stream_ = &stream;
  mode_ = mode;
  state_ = kAttached;
}

std::uint64_t CRecordingSaver::WriteBlock(RecBlock& block) {
  RequireState(state_ != kIdle);
  chain_.Write(*stream_, block);
  return block.Offset;
}

std::uint64_t CRecordingSaver::WriteBlock(RecBlock& block, std::uint32_t length,
                                          const std::function<void()>& write_payload) {
  RequireState(state_ != kIdle);
  chain_.Write(*stream_, block, length, write_payload);
  return block.Offset;
}

std::uint64_t CRecordingSaver::WriteSystemBlock(std::uint16_t type, const std::vector<std::uint8_t>& payload) {
  if (payload.size() > kMaxDataLength) {
    ThrowLocated<exception_rt>(L"A block payload of " + std::to_wstring(payload.size()) +
                                   L" bytes exceeds the 104857600 bytes a block may hold",
                               kWriteSystemBlock);
  }
  RecBlock block;
  block.header.Type = type;
  const auto length = static_cast<std::uint32_t>(payload.size());
  chain_.Write(*stream_, block, length, [&] { WriteAll(*stream_, payload); });
  return block.Offset;
}

bool CRecordingSaver::FinishRecording() {
  RequireState(state_ != kIdle);
  CRecStream& stream = *stream_;
  const std::uint64_t tail = stream.GetPosition();
  const std::uint64_t file_size = stream.GetFileSize();
  const std::optional<std::vector<SavedBytes>> saved = BackUp(tail);
  bool written = true;
  failure_text_.clear();
  try {
    WriteTail();
  } catch (const wexception& e) {
    written = false;
    failure_text_ = e.wtext();
    ReportToHost(access_, kFailureSeverity, 0, e.wtext());
    if (saved) Restore(*saved, file_size, tail);
  } catch (...) {
    if (saved) Restore(*saved, file_size, tail);
    Reset();
    throw;
  }
  Reset();
  return written;
}

std::optional<std::vector<CRecordingSaver::SavedBytes>> CRecordingSaver::BackUp(std::uint64_t tail) {
  CRecStream& stream = *stream_;
  const std::uint64_t file_size = stream.GetFileSize();
  // The old tail, the header whose link the first tail block rewrites, the section index.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> spans{{tail, file_size - std::min(tail, file_size)}};
  if (chain_.last_system_block() != kNoOffset) spans.emplace_back(chain_.last_system_block(), kBlockHeaderSize);
  spans.emplace_back(section_index_, kBlockHeaderSize + (version21_ ? kSectionIndex21Size : kSectionIndex20Size));
  std::uint64_t total = 0;
  for (const auto& span : spans) total += span.second;
  // Zero-filling more than the system can back would not fail here but exhaust the machine.
  const std::optional<std::uint64_t> available =
      platform_.memory_status ? platform_.memory_status() : AvailableSystemMemory();
  if (available && total > *available / 2) {
    throw exception_rt(MemoryFailureText(MemorySource::kOperatorNew, total, kFinish));
  }
  std::vector<SavedBytes> saved(spans.size());
  for (std::size_t i = 0; i < spans.size(); ++i) {
    saved[i].offset = spans[i].first;
    try {
      saved[i].bytes.resize(static_cast<std::size_t>(spans[i].second));
    } catch (const std::bad_alloc&) {
      throw exception_rt(MemoryFailureText(MemorySource::kOperatorNew, spans[i].second, kFinish));
    }
  }
  try {
    for (SavedBytes& span : saved) {
      stream.SetPosition(span.offset);
      for (std::uint64_t at = 0; at < span.bytes.size();) {
        const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunk, span.bytes.size() - at));
        stream.ReadData(span.bytes.data() + at, count);
        at += count;
      }
    }
  } catch (const wexception&) {
    stream.SetPosition(tail);
    return std::nullopt;  // finishing goes on, without a way back
  }
  stream.SetPosition(tail);
  return saved;
}

void CRecordingSaver::Restore(const std::vector<SavedBytes>& saved, std::uint64_t file_size, std::uint64_t tail) {
  CRecStream& stream = *stream_;
  try {
    for (const SavedBytes& span : saved) {
      stream.SetPosition(span.offset);
      WriteAll(stream, span.bytes);
    }
    stream.SetPosition(file_size);
    stream.SetEndOfFile();
    stream.SetPosition(tail);
  } catch (const wexception& e) {
    ReportToHost(access_, kFailureSeverity, 0, e.wtext());
  }
}

void CRecordingSaver::WriteTail() {
  CRecStream& stream = *stream_;
  std::vector<std::uint64_t> offsets;
  offsets.push_back(WriteConfiguration());
  offsets.push_back(WriteNavigationTable(stream, chain_, navigation_));
  offsets.push_back(WriteMarkersData(stream, chain_, markers_));
  if (version21_) offsets.push_back(WriteMetadata());
  WriteSystemBlock(kBlockEnd, EncodeEndBlock(Format()));
  stream.SetEndOfFile();  // nothing of the old tail stays behind the end block
  WriteSectionIndex(offsets);
}

std::uint64_t CRecordingSaver::WriteConfiguration() {
  std::vector<std::uint8_t> payload;
  CFileConfigSaver().SaveFileConfig(MemoryManager(access_), devices_, payload);
  return WriteSystemBlock(kBlockConfiguration, payload);
}

std::uint64_t CRecordingSaver::WriteMetadata() {
  MetadataList list;
  CMetadataExtractor extractor(access_);
  if (have_recording_) extractor.SaveRecProperties(list, recording_);
  if (have_system_) extractor.SaveSysProperties(list, system_);
  if (!markers_.empty()) extractor.SaveMarkerProperties(list, markers_);
  return CMetadataWriter::Write(*stream_, chain_, list);
}

void CRecordingSaver::WriteSectionIndex(const std::vector<std::uint64_t>& offsets) {
  CRecStream& stream = *stream_;
  const std::uint64_t end = stream.GetPosition();
  const std::size_t size = version21_ ? kSectionIndex21Size : kSectionIndex20Size;
  const std::vector<std::uint8_t> payload = EncodeSectionIndex(offsets, size);
  stream.SetPosition(section_index_ + kBlockHeaderSize);  // the header stays as it is
  WriteAll(stream, payload);
  stream.SetPosition(end);
}

void CRecordingSaver::Reset() {
  own_stream_.reset();  // closes a created file
  stream_ = nullptr;
  chain_ = RecBlockChainWriter();
  state_ = kIdle;
  section_index_ = kNoOffset;
}

}  // namespace recfilereader
