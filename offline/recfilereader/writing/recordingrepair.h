// CRecordingRepair: brings back a 2.x recording whose writing was interrupted. It scans the file
// block by block from the start, collects the sources, markers, metadata and a navigation table
// from what it can read, and has the recording saver replace everything after the last readable
// block with a new tail. Runs as a threaded process under the host's service.
//
// What reached the disk is kept: the file is changed only from the valid end on, and only once
// the scan has found sources; a tail that cannot be written is undone by the saver, so a later
// repair starts again from the same data. Not thread-safe: one run per object.
#ifndef RECFILEREADER_WRITING_RECORDINGREPAIR_H
#define RECFILEREADER_WRITING_RECORDINGREPAIR_H

#include <cstdint>
#include <string>

#include "container/metadatalist.h"
#include "container/navigationtable.h"
#include "container/recstream.h"
#include "host/reporttohost.h"
#include "properties/propmanager.h"
#include "recfilereader/hostservices.h"
#include "sources/fileconfigparser.h"
#include "sources/markerset.h"

namespace recfilereader {

class ReadWindow;

class CRecordingRepair final : public IThreadedProcess {
 public:
  // `access` is the reader's service context (settings, memory manager, host reports, temporary
  // files); `platform` is what the private stream on `path` runs on.
  CRecordingRepair(IInterfaceAccess* access, std::wstring path, CachingFileReaderPlatform platform = {});
  CRecordingRepair(const CRecordingRepair&) = delete;
  CRecordingRepair& operator=(const CRecordingRepair&) = delete;
  ~CRecordingRepair();

  void Start(DWORD) override {}
  // Runs the repair; never throws. The outcome is the reader's error code (0, 10, 20 or 30)
  // with the failure's text. Null sinks show nothing and never abort.
  void Execute(IThreadedProcessStatus* status, IAbort* abort) override;
  void Finish(DWORD) override {}

  LONG outcome_code() const { return outcome_code_; }
  const std::wstring& outcome_text() const { return outcome_text_; }

 private:
  void Repair(IThreadedProcessStatus* status, IAbort* abort);
  // Checks the file header and passes the section index; the scan starts behind it.
  void ReadHead();
  void Scan(IThreadedProcessStatus* status, IAbort* abort);
  // The header of the block at `offset`, and a system block whole into block_. Throws when the
  // block cannot be read or does not fit in the file.
  RecBlockHeader ReadBlockAt(ReadWindow& window, std::uint64_t offset, std::uint64_t file_size);
  void ScanDataBlock(ReadWindow& window, const RecBlockHeader& header, std::uint64_t offset);
  void ScanSystemBlock();
  // Runs one table step: reports `status` followed by "OK" or the failure's text. True on success.
  template <class Step>
  bool TableStep(std::wstring status, Step&& step);
  void ExtractMetadata();
  void WriteTail();

  IInterfaceAccess* const access_;
  HostReporter reporter_;
  IExMemoryMgr* const memory_;
  const std::wstring path_;
  const CachingFileReaderPlatform platform_;
  LONG outcome_code_ = 0;
  std::wstring outcome_text_;

  // One run's state.
  CRecStream stream_;
  RecBlock block_;  // reused for every system block
  DeviceList sources_;
  NavigationIndexer navigation_{NavigationIndexer::Rule::kRepair};
  MarkerSet markers_;
  MetadataList metadata_;
  CPropManager recording_, system_;
  bool sources_found_ = false;
  bool metadata_found_ = false;
  std::uint64_t valid_end_ = 0;
  std::uint64_t last_system_block_ = kNoOffset;  // the last one before the valid end
};

}  // namespace recfilereader

#endif  // RECFILEREADER_WRITING_RECORDINGREPAIR_H
