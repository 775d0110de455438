#include "writing/recordingrepair.h"

#include <cstdio>
#include <new>
#include <utility>

#include "base/exceptions.h"
#include "base/guard.h"
#include "container/markersloader.h"
#include "container/metadataextractor.h"
#include "container/metadataloader.h"
#include "container/recfilelayout.h"
#include "platform/bytes.h"
#include "writing/readwindow.h"
#include "writing/recordingsaver.h"

namespace recfilereader {
namespace {

// A repair fails as any process does, except that data it collects and cannot read (not only
// a damaged recording) counts as the recording's failure. Call only from a catch.
FailureOutcome RepairFailure() noexcept {
  FailureOutcome failure = CurrentFailureOutcome();
  try {
    throw;
  } catch (const exception_data&) {
    failure.code = kErrorRecording;
  } catch (...) {
  }
  return failure;
}

// The options that make the extractor read every part of old recordings' properties.
constexpr DWORD kAllRecordingProperties = 0x3FF;

IExMemoryMgr* MemoryOf(IInterfaceAccess* access) {
  return access == nullptr ? nullptr : static_cast<IExMemoryMgr*>(access->GetInterface(L"IExMemoryMgr"));
}

std::wstring Formatted(const wchar_t* format, std::uint64_t a, std::uint64_t b = 0) {
  wchar_t text[96];
  std::swprintf(text, std::size(text), format, static_cast<unsigned long long>(a), static_cast<unsigned long long>(b));
  return text;
}

// Shows the scan's progress whenever its value changes: texts for every block would cost more
// than reading a small block does. The position at which the value next changes is kept, so
// that most blocks cost one comparison.
class ScanProgress {
 public:
  ScanProgress(IThreadedProcessStatus* status, std::uint64_t file_size) : status_(status), file_size_(file_size) {}
  void Show(std::uint64_t position) {
    if (status_ == nullptr || position < next_) return;
    const auto progress = static_cast<LONG>(static_cast<double>(position) / static_cast<double>(file_size_) * 5000.0);
    status_->SetProgress(progress);
    status_->SetStatusText(Formatted(L"Scanning file... %llu/%llu", position, file_size_).c_str());
    next_ = static_cast<std::uint64_t>(static_cast<double>(progress + 1) / 5000.0 * static_cast<double>(file_size_));
  }
  // Where the shown value next changes; nowhere when nothing is shown.
  std::uint64_t next() const { return status_ == nullptr ? ~0ull : next_; }

 private:
  IThreadedProcessStatus* status_;
  std::uint64_t file_size_;
  std::uint64_t next_ = 0;
};

}  // namespace

CRecordingRepair::CRecordingRepair(IInterfaceAccess* access, std::wstring path, CachingFileReaderPlatform platform)
    : access_(access),
      reporter_(access),
      memory_(MemoryOf(access)),
      path_(std::move(path)),
      platform_(platform),
      stream_(access, std::move(platform)) {}

CRecordingRepair::~CRecordingRepair() = default;

void CRecordingRepair::Execute(IThreadedProcessStatus* status, IAbort* abort) {
  try {
    Repair(status, abort);
    outcome_code_ = kErrorNone;
    outcome_text_.clear();
  } catch (...) {
    FailureOutcome failure = RepairFailure();
    outcome_code_ = failure.code;
    outcome_text_ = std::move(failure.text);
  }
  try {
    stream_.CloseFile();
  } catch (...) {
    // Nothing was written after the tail, whose failures were handled; the outcome stands.
  }
}

void CRecordingRepair::Repair(IThreadedProcessStatus* status, IAbort* abort) {
  stream_.OpenFile(path_.c_str());
  ReadHead();
  Scan(status, abort);
  if (!sources_found_) throw exception_rt(L"No valid sources data found in recording");
  if (metadata_found_) ExtractMetadata();
  WriteTail();
}

void CRecordingRepair::ReadHead() {
  stream_.SetPosition(0);
  stream_.ReadBlockForward(block_);
  if (block_.header.Type != kBlockFileHeader)
    throw exception_rec_corrupted(L"First rec file block in not file header");
  const auto header = RecFileHeader::Decode({block_.payload.data(), block_.payload.size()});
  if (!header) throw exception_rec_corrupted(L"Invalid file header system block data length");
  // Recordings signed with the second identifier are not repaired.
  if (header->format != kRecFormatFirst && header->format != kRecFormatThird) throw exception_rec_invalid_sig();
  do {
    stream_.ReadBlockForward(block_);
  } while (block_.header.Type == kBlockFiller);
  if (block_.header.Type == kBlockConfiguration)
    throw exception_rec(L"Repairing of REC files version 1.0 is not supported");
  valid_end_ = block_.Next;
  last_system_block_ = block_.Offset;
}

void CRecordingRepair::Scan(IThreadedProcessStatus* status, IAbort* abort) {
  const std::uint64_t file_size = stream_.GetFileSize();
  ReadWindow window(stream_, file_size);
  ScanProgress progress(status, file_size);
  // Most blocks are data blocks that the window holds already: they go in one tight loop up to
  // the next change of progress (or the window's end), and abort is asked once per stretch.
  // Whatever else comes (another kind of block, a header across the window's end or one that
  // cannot be read) takes the block-by-block path below, which reads, reports or throws.
  const auto scan_held_data_blocks = [&](std::uint64_t stop) {
    const std::uint64_t from = valid_end_;
    while (valid_end_ < stop) {
      const std::uint8_t* bytes = window.Find(valid_end_, kBlockHeaderSize);
      if (bytes == nullptr) break;
      const RecBlockHeader header = RecBlockHeader::DecodeFrom(bytes);
      if (header.Type != kBlockData || !header.IsReadable() ||
          header.DataLength > file_size - valid_end_ - kBlockHeaderSize)
        break;
      const std::uint64_t offset = valid_end_;
      valid_end_ += header.TotalSize();
      window.Expect(header.TotalSize());
      ScanDataBlock(window, header, offset);
    }
    return valid_end_ != from;
  };
  for (std::uint64_t start = valid_end_; start < file_size; start = valid_end_) {
    if (scan_held_data_blocks(progress.next())) {
      if (abort != nullptr && abort->IsAborted()) throw exception_rt_user_abort();
      progress.Show(valid_end_);
      continue;
    }
    RecBlockHeader header;
    try {
      header = ReadBlockAt(window, start, file_size);
    } catch (const exception_rt_user_abort&) {
      throw;
    } catch (const wexception& e) {
      // What cannot be read ends the data: the new tail goes there.
      reporter_.Report(0, 0, Formatted(L"Failed to read rec block at %llu: ", start) + e.wtext());
      break;
    }
    valid_end_ = start + header.TotalSize();
    window.Expect(header.TotalSize());
    if (header.Type == kBlockData) {
      ScanDataBlock(window, header, start);
    } else {
      last_system_block_ = start;
      ScanSystemBlock();
    }
    if (abort != nullptr && abort->IsAborted()) throw exception_rt_user_abort();
    progress.Show(valid_end_);
  }
}

RecBlockHeader CRecordingRepair::ReadBlockAt(ReadWindow& window, std::uint64_t offset, std::uint64_t file_size) {
  if (file_size - offset < kBlockHeaderSize) throw exception_rec(L"Reached end of file inside a block header");
  const RecBlockHeader header = RecBlockHeader::DecodeFrom(window.At(offset, kBlockHeaderSize));
  if (!header.IsReadable() || header.DataLength > file_size - offset - kBlockHeaderSize)
    throw exception_rec_corrupted(L"Recording is corrupted, offset = " + std::to_wstring(offset));
  if (header.Type != kBlockData) {
    stream_.SetPosition(offset);
    stream_.ReadBlockForward(block_);
  }
  return header;
}

// Only the timestamp is read: a data block's payload means nothing to the repair.
void CRecordingRepair::ScanDataBlock(ReadWindow& window, const RecBlockHeader& header, std::uint64_t offset) {
  navigation_.Add(window.DataTimestamp(header, offset), offset);
}

void CRecordingRepair::ScanSystemBlock() {
  const std::uint64_t offset = block_.Offset;
  switch (block_.header.Type) {
    case kBlockMarker:
      TableStep(Formatted(L"Parsing marker block at %llu...", offset), [&] {
        if (!CMarkersLoader(access_, stream_, markers_).AddMarkerBlock(block_))
          throw exception_rec(L"Marker data has unexpected size");
      });
      break;
    case kBlockMarkerInfo:
      TableStep(Formatted(L"Loading marker info at %llu...", offset), [&] {
        CMarkersLoader(access_, stream_, markers_).ParseMarkerInfoBlock(block_);
      });
      break;
    case kBlockMetadataTable:
      metadata_found_ = TableStep(Formatted(L"Loading metadata table at %llu...", offset), [&] {
        MetadataList scratch;
        CMetadataLoader().Load(stream_, offset, scratch);
        for (auto& [type, elements] : scratch) metadata_[type] = std::move(elements);
      });
      break;
    case kBlockConfiguration:
      // The most recent configuration decides; a damaged one keeps the sources of an earlier one.
      sources_found_ = TableStep(Formatted(L"Parsing file config block at %llu...", offset), [&] {
        DeviceList scratch;
        CFileConfigParser().ParseConfigInfo({block_.payload.data(), block_.payload.size()}, scratch, memory_);
        sources_ = std::move(scratch);
      });
      break;
    default:
      break;
  }
}

template <class Step>
bool CRecordingRepair::TableStep(std::wstring status, Step&& step) {
  const std::uint64_t position = stream_.GetPosition();
  bool ok = true;
  try {
    step();
    status += L"OK";
  } catch (const exception_rt_user_abort&) {
    throw;
  } catch (const wexception& e) {
    ok = false;
    status += e.wtext();
  }
  stream_.SetPosition(position);
  reporter_.Report(0, 0, status);
  return ok;
}

void CRecordingRepair::ExtractMetadata() {
  std::wstring status = L"Processing metadata...";
  try {
    CMetadataExtractor extractor(access_);
    extractor.ExtractMarkerProperties(metadata_, markers_);
    extractor.ExtractRecProperties(metadata_, recording_, kAllRecordingProperties);
    extractor.ExtractSysProperties(metadata_, system_);
    status += L"OK";
  } catch (const wexception& e) {
    status += e.wtext();
  }
  reporter_.Report(0, 0, status);
}

void CRecordingRepair::WriteTail() {
  stream_.SetPosition(valid_end_);
  CRecordingSaver saver(access_, platform_);
  try {
    saver.AttachToRecording(stream_, 0, last_system_block_);
    navigation_.Finish();  // the table reaches the last data block
    saver.SetSources(sources_);
    saver.SetNavigation(navigation_.map());
    saver.SetMarkers(markers_);
    saver.SetRecordingProperties(recording_);
    saver.SetSystemProperties(system_);
    if (!saver.FinishRecording()) throw exception_rt(saver.failure_text());
  } catch (const wexception& e) {
    reporter_.Report(0, 0, L"Saving recording..." + e.wtext());
    throw;
  }
  reporter_.Report(0, 0, L"Saving recording...OK");
}

}  // namespace recfilereader
