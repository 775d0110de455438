// CRecordingWriter: the recording a host writes through the reader (OpenEx with access 0 or 2).
// Open creates a new 2.1 file through its saver; the sources set by then go into a configuration
// block ahead of the first package (so that a file cut off while being written can be repaired);
// each appended package becomes one data block
// in the second package format, numbered from 0, while the navigation table is built as the
// packages arrive; Close hands the table (ending at the last package), the sources and the
// markers to the saver and finishes the file. Not thread-safe.
#ifndef RECFILEREADER_WRITING_RECORDINGWRITER_H
#define RECFILEREADER_WRITING_RECORDINGWRITER_H

#include <cstdint>

#include "container/navigationtable.h"
#include "recfilereader/data.h"
#include "writing/recordingsaver.h"

namespace recfilereader {

class CRecordingWriter {
 public:
  // `access` and `platform` as for CRecordingSaver.
  explicit CRecordingWriter(IInterfaceAccess* access, CachingFileReaderPlatform platform = {});
  // Finishes an open file; never throws.
  ~CRecordingWriter();
  CRecordingWriter(const CRecordingWriter&) = delete;
  CRecordingWriter& operator=(const CRecordingWriter&) = delete;

  // Empties the tables and creates the file; mode 2 signs it with the second format
  // identifier. com_error(E_FAIL) when a file is open already.
  void Open(const wchar_t* path, DWORD mode);
  // Writes `record` as the next data block: its 72-byte header (DataSize counting the 8
  // trailing bytes that PackageFlags bits 4 and 5 announce), DataSize (+ 8) bytes of Data, then
  // ExtraSize bytes of ExtraData, straight from the record's buffers. A package larger than a
  // block may hold raises exception_rt before anything is written; a failed write leaves the
  // position at the block's start, so the next package replaces what was partly written.
  // com_error(E_FAIL) when no file is open.
  void AppendDataPackage(const DataPackageRecord& record);
  void SetSources(const DeviceList& devices) { sources_ = devices; }
  // The markers written at Close; the reader's marker operations edit them meanwhile.
  MarkerSet& markers() { return markers_; }

  bool is_open() const { return saver_.state() == CRecordingSaver::kCreated; }
  // Finishes the file when one is open (true when its tail was written; a failure is reported
  // to the host and undone by the saver); nothing, and false, otherwise.
  bool Close();

  std::uint64_t package_count() const { return package_count_; }

 private:
  CRecordingSaver saver_;
  std::uint64_t package_count_ = 0;  // the next data block's Sequence
  NavigationIndexer navigation_{NavigationIndexer::Rule::kWriter};
  DeviceList sources_;
  MarkerSet markers_;
  RecBlock block_;  // reused for every data block
};

}  // namespace recfilereader

#endif  // RECFILEREADER_WRITING_RECORDINGWRITER_H
