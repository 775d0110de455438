#include "writing/recordingextractor.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <new>
#include <utility>

#include "base/exceptions.h"
#include "base/guard.h"
#include "platform/bytes.h"
#include "base/location.h"
#include "platform/textconv.h"
#include "writing/readwindow.h"
#include "writing/recordingsaver.h"

namespace recfilereader {
namespace {

// Consecutive data blocks are copied in pieces of about this size: a few calls per piece, and
// progress and abort keep pace.
constexpr std::uint64_t kRunLimit = 16u << 20;
// Entries of the new navigation table lie at least this far apart, the first and newest aside.
constexpr std::uint64_t kNavigationSpacing = 50'000;

}  // namespace

CRecordingExtractor::CRecordingExtractor(IInterfaceAccess* access, ExtractionSource source, std::wstring path,
                                         std::uint64_t begin, std::uint64_t end, CachingFileReaderPlatform platform)
    : access_(access),
      source_(std::move(source)),
      path_(std::move(path)),
      begin_(begin),
      end_(end),
      platform_(std::move(platform)) {}

CRecordingExtractor::~CRecordingExtractor() = default;

void CRecordingExtractor::Execute(IThreadedProcessStatus* status, IAbort* abort) {
  CRecStream& stream = *source_.stream;
  const std::uint64_t saved_position = stream.GetPosition();
  std::string target;
  bool existed = true;
  try {
    target = WideToUtf8(path_);
    // A file that is there already is not ours to remove: creating the new one fails on it.
    existed = ::access(target.c_str(), F_OK) == 0;
    CRecordingSaver saver(access_, platform_);
    saver.CreateNewRecording(path_.c_str(), source_.second_format ? CRecordingSaver::kSecondFormatMode : 0);
    Extract(saver, status, abort);
    result_code_ = kErrorNone;
    result_text_.clear();
  } catch (...) {
    FailureOutcome failure = CurrentFailureOutcome();
    result_code_ = failure.code;
    result_text_ = std::move(failure.text);
  }
  // The saver is gone, and with it the new file's handle: a failure leaves no part of the file.
  if (result_code_ != kErrorNone && !existed) ::unlink(target.c_str());
  stream.SetPosition(saved_position);
}

void CRecordingExtractor::Extract(CRecordingSaver& saver, IThreadedProcessStatus* status, IAbort* abort) {
  CRecStream& stream = *source_.stream;
  ReadWindow window(stream, stream.GetFileSize());
  std::uint64_t position = source_.locate(begin_);
  for (bool more = true; more && position < source_.data_end;) {
    BlockRun run;
    more = WalkRun(window, saver.stream()->GetPosition(), position, run);
    if (run.blocks != 0) {
      CopyRun(saver, run);
      ShowProgress(status, run.timestamp);
    }
    if (more && abort != nullptr && abort->IsAborted()) throw exception_rt_user_abort();
  }
  WriteTables(saver);
}

bool CRecordingExtractor::WalkRun(ReadWindow& window, std::uint64_t target, std::uint64_t& position, BlockRun& run) {
  while (position < source_.data_end) {
    const RecBlockHeader header = ReadHeaderAt(window, position);
    if (header.Type != kBlockData) {
      if (run.blocks != 0) return true;
      position += header.TotalSize();
      continue;
    }
    // A block whose back size the new file would change starts a run of its own.
    if (run.blocks != 0 && (header.PrevSize != run.last_size || position - run.first >= kRunLimit)) return true;
    const std::uint64_t timestamp = window.DataTimestamp(header, position);
    if (timestamp >= end_) return false;
    if (run.blocks++ == 0) run.first = position, run.first_header = header;
    run.before_last_size = run.last_size;
    run.last = position, run.last_header = header, run.last_size = header.TotalSize();
    run.timestamp = timestamp;
    Index(timestamp, target + (position - run.first));
    position += header.TotalSize();
    run.end = position;
  }
  return true;
}

RecBlockHeader CRecordingExtractor::ReadHeaderAt(ReadWindow& window, std::uint64_t offset) {
  const std::uint64_t file_size = source_.stream->GetFileSize();
  if (offset > file_size || file_size - offset < kBlockHeaderSize)
    throw exception_rec_corrupted(L"Recording is corrupted, offset = " + std::to_wstring(offset));
  const RecBlockHeader header = RecBlockHeader::DecodeFrom(window.At(offset, kBlockHeaderSize));
  if (!header.IsReadable() || header.DataLength > file_size - offset - kBlockHeaderSize)
    throw exception_rec_corrupted(L"Recording is corrupted, offset = " + std::to_wstring(offset));
  window.Expect(header.TotalSize());
  return header;
}

// The first block goes through the saver with everything up to the last block behind its
// payload, and the last block after it, so that the saver chains what follows to the last.
// The saver gave the last block the first one's size as its back size; where the block before
// it differs in size, its header is written anew.
void CRecordingExtractor::CopyRun(CRecordingSaver& saver, const BlockRun& run) {
  CRecStream& target = *saver.stream();
  const auto copy = [&](std::uint64_t begin, std::uint64_t end) {
    if (end > begin) target.CopyData(*source_.stream, begin, end - begin);
  };
  RecBlock first;
  first.header = run.first_header;
  saver.WriteBlock(first, first.header.DataLength,
                   [&] { copy(run.first + kBlockHeaderSize, run.blocks == 1 ? run.end : run.last); });
  if (run.blocks == 1) return;
  RecBlock last;
  last.header = run.last_header;
  saver.WriteBlock(last, last.header.DataLength, [&] { copy(run.last + kBlockHeaderSize, run.end); });
  if (last.header.PrevSize == run.before_last_size) return;
  last.header.PrevSize = static_cast<std::uint32_t>(run.before_last_size);
  std::uint8_t raw[kBlockHeaderSize];
  last.header.EncodeTo(raw);
  target.SetPosition(last.Offset);
  target.WriteData(raw, kBlockHeaderSize);
  target.SetPosition(last.Next);
}

// The newest entry stays; the one between it and the entry two before goes when those two lie
// closer than the spacing, so the table thins out as dense packages arrive. A package older
// than the newest (a source out of order) is set aside, unthinned, and joins the table at the
// end, so that no arrival order costs more than one sort.
void CRecordingExtractor::Index(std::uint64_t timestamp, std::uint64_t offset) {
  if (!navigation_.empty() && timestamp <= navigation_.rbegin()->first) {
    if (timestamp < navigation_.rbegin()->first) strays_.Add(timestamp, offset);
    return;
  }
  navigation_.Add(timestamp, offset);
  if (navigation_.size() < 3) return;
  const auto middle = navigation_.end() - 2;
  if (timestamp - std::prev(middle)->first < kNavigationSpacing) navigation_.Erase(middle);
}

// The table with the packages set aside; an entry met earlier keeps its offset.
void CRecordingExtractor::JoinStrays() {
  strays_.Normalize();
  for (const auto& [timestamp, offset] : strays_) navigation_.Add(timestamp, offset);
  strays_.clear();
  navigation_.Normalize();
}

void CRecordingExtractor::ShowProgress(IThreadedProcessStatus* status, std::uint64_t timestamp) const {
  if (status == nullptr) return;
  const double span = static_cast<double>(end_ - begin_);
  const double fraction = timestamp < begin_ || span == 0 ? 0.0 : static_cast<double>(timestamp - begin_) / span;
  status->SetProgress(static_cast<LONG>(fraction * 5000.0));
  wchar_t text[64];
  std::swprintf(text, std::size(text), L"Processing recording: %.1f %%", fraction * 100.0);
  status->SetStatusText(text);
}

void CRecordingExtractor::WriteTables(CRecordingSaver& saver) {
  MarkerSet markers;
  for (const auto& marker : source_.markers) {
    const auto timestamp = static_cast<std::uint64_t>(marker.first);
    if (timestamp >= begin_ && timestamp <= end_) markers.insert(marker);
  }
  saver.SetSources(source_.sources);
  JoinStrays();
  saver.SetNavigation(navigation_);
  saver.SetMarkers(markers);
  if (source_.recording != nullptr) saver.SetRecordingProperties(*source_.recording);
  if (source_.system != nullptr) saver.SetSystemProperties(*source_.system);
  if (!saver.FinishRecording()) throw exception_rt(saver.failure_text());
}

}  // namespace recfilereader
