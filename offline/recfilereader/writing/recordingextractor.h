// CRecordingExtractor: copies a time span of the open recording into a new 2.1 file, as a
// threaded process under the host's service. The span's data blocks are copied unchanged, a
// navigation table is built for them in the new file, the markers are restricted to the span,
// and the sources and properties go along.
//
// The new file exists only when the extraction succeeded: any failure, abort included, removes
// what was written of it. The source recording is only read.
#ifndef RECFILEREADER_WRITING_RECORDINGEXTRACTOR_H
#define RECFILEREADER_WRITING_RECORDINGEXTRACTOR_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "container/navigationtable.h"
#include "container/recstream.h"
#include "properties/propmanager.h"
#include "recfilereader/hostservices.h"
#include "sources/fileconfigparser.h"
#include "sources/markerset.h"

namespace recfilereader {

class CRecordingSaver;
class ReadWindow;

// What the extractor takes from the open recording; borrowed for the extractor's life.
struct ExtractionSource {
  CRecStream* stream = nullptr;  // the recording's block stream; its position is restored
  // Positions the reader at the span's begin and returns the offset of the first data block to
  // copy. Runs on the process's thread, after the new file was created.
  std::function<std::uint64_t(std::uint64_t begin)> locate;
  std::uint64_t data_end = 0;  // just past the last data block
  DeviceList sources;
  MarkerSet markers;
  const CPropManager* recording = nullptr;
  const CPropManager* system = nullptr;
  bool second_format = false;  // sign the new file with the second identifier
};

class CRecordingExtractor final : public IThreadedProcess {
 public:
  // `access` is the reader's service context; `platform` is what the new file is written on
  // (its file system must be the disk's, where a failed extraction's file is removed).
  CRecordingExtractor(IInterfaceAccess* access, ExtractionSource source, std::wstring path, std::uint64_t begin,
                      std::uint64_t end, CachingFileReaderPlatform platform = {});
  CRecordingExtractor(const CRecordingExtractor&) = delete;
  CRecordingExtractor& operator=(const CRecordingExtractor&) = delete;
  ~CRecordingExtractor();

  void Start(DWORD) override {}
  // Writes the new file; never throws. The result is the reader's error code (0, 10, 20 or 30)
  // with the failure's text. Null sinks show nothing and never abort.
  void Execute(IThreadedProcessStatus* status, IAbort* abort) override;
  void Finish(DWORD) override {}

  LONG result_code() const { return result_code_; }
  const std::wstring& result_text() const { return result_text_; }

 private:
  // Data blocks of the span that lie one behind the other in the source, each chained to the
  // one before as the new file chains them, so that their bytes go over unchanged. Offsets are
  // the source's.
  struct BlockRun {
    std::uint64_t first = 0, last = 0, end = 0;  // the first and last block, just past the last
    RecBlockHeader first_header, last_header;
    std::uint64_t last_size = 0, before_last_size = 0;  // total sizes of the last two blocks
    std::uint64_t timestamp = 0;                        // the last block's
    std::size_t blocks = 0;
  };

  void Extract(CRecordingSaver& saver, IThreadedProcessStatus* status, IAbort* abort);
  // Walks the blocks from `position` into `run`, indexing each for its place `target` on in the
  // new file, up to a block that does not continue the run; other blocks than data are passed
  // over. False when it met a data block at or past the end, which ends the extraction.
  // `position` moves past the run and the blocks passed over.
  bool WalkRun(ReadWindow& window, std::uint64_t target, std::uint64_t& position, BlockRun& run);
  RecBlockHeader ReadHeaderAt(ReadWindow& window, std::uint64_t offset);
  void CopyRun(CRecordingSaver& saver, const BlockRun& run);
  void Index(std::uint64_t timestamp, std::uint64_t offset);
  void JoinStrays();
  void ShowProgress(IThreadedProcessStatus* status, std::uint64_t timestamp) const;
  void WriteTables(CRecordingSaver& saver);

  IInterfaceAccess* const access_;
  ExtractionSource source_;
  const std::wstring path_;
  const std::uint64_t begin_, end_;
  const CachingFileReaderPlatform platform_;
  LONG result_code_ = 0;
  std::wstring result_text_;

  NavigationMap navigation_;  // packages met in time order, thinned
  NavigationMap strays_;      // packages older than the newest met before them
};

}  // namespace recfilereader

#endif  // RECFILEREADER_WRITING_RECORDINGEXTRACTOR_H
