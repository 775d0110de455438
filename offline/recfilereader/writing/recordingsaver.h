// CRecordingSaver lays a version 2.x recording down on a block stream. It either creates a new
// file and writes its head (file header and an empty 2.1 section index), or attaches to an
// existing 2.x file at a position from which everything behind is rewritten. Its user writes
// data blocks through it in between and hands it the tables; FinishRecording then writes the
// tail (configuration, navigation, markers, for 2.1 the metadata, the end block), cuts the file
// behind it and fills the section index in place.
//
// Finishing is all or nothing for the file: the bytes it will overwrite (the old tail, the
// header of the system block it links from, the section index) are backed up first, and when
// writing fails the failure is reported to the host (severity 4, id 0) and the backup written
// back, so the file is as it was before FinishRecording.
//
// Calling CreateNewRecording, AttachToRecording or FinishRecording in the wrong state throws
// com_error(E_FAIL). Not thread-safe: one thread per saver.
#ifndef RECFILEREADER_WRITING_RECORDINGSAVER_H
#define RECFILEREADER_WRITING_RECORDINGSAVER_H

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "container/navigationtable.h"
#include "container/recstream.h"
#include "fileaccess/cachecore.h"
#include "properties/propmanager.h"
#include "recfilereader/base.h"
#include "recfilereader/compat.h"
#include "sources/fileconfigparser.h"
#include "sources/markerset.h"

namespace recfilereader {

class CRecordingSaver {
 public:
  enum State : int { kIdle = 0, kCreated = 1, kAttached = 2 };
  // Mode that signs the recording with the second format identifier; any other, the first.
  static constexpr DWORD kSecondFormatMode = 2;

  // `access` is the reader's service context: its "IExternalInterfaceAccess" gives the memory
  // manager ("IRCMemoryMgr") and the host's error manager, and the metadata saving finds the
  // temporary files there. `platform` is what a created file's private stream runs on.
  explicit CRecordingSaver(IInterfaceAccess* access, CachingFileReaderPlatform platform = {});
  ~CRecordingSaver();
  CRecordingSaver(const CRecordingSaver&) = delete;
  CRecordingSaver& operator=(const CRecordingSaver&) = delete;

  // Creates the file at `path` (failing when it exists) on a private stream and writes the
  // file header block and a 2.1 section index of end marks. Idle only.
  void CreateNewRecording(const wchar_t* path, DWORD mode);
  // Takes over `stream` (borrowed until idle again) from its position P on: checks that the
  // file is a 2.x recording whose section index lies before P, and continues the block chain
  // from the block that ends at P. Nothing is written. Version 1.0: exception_rt "Saving data
  // to rec file version 1.0 is not supported"; not a recording: exception_rec_invalid or
  // exception_rec_invalid_sig; anything else unexpected: exception_rec_corrupted. Idle only.
  // A caller that knows the offset of the last system block before P (the repair's scan has
  // passed every block) gives it as `last_system_block`, which spares the walk back over the data.
  void AttachToRecording(CRecStream& stream, DWORD mode, std::uint64_t last_system_block = kNoOffset);
  // Writes the tail and the section offsets and returns to idle (closing a created file).
  // True when the tail was written; false when writing failed, was reported and undone. The
  // saver is idle afterwards either way. Throws (state unchanged) for the wrong state and when
  // the backup cannot be held, before anything is written; a failure outside the library's
  // family (memory exhausted while copying properties) is undone and passed on.
  bool FinishRecording();
  // The text of the failure the last FinishRecording reported and undid; empty after success.
  const std::wstring& failure_text() const { return failure_text_; }

  // Writes `block` at the stream's position by the block-writing rule and returns its offset;
  // the position ends behind it. Created or attached only.
  std::uint64_t WriteBlock(RecBlock& block);
  // The same for a payload of `length` bytes that `write_payload` writes to stream() itself.
  std::uint64_t WriteBlock(RecBlock& block, std::uint32_t length, const std::function<void()>& write_payload);

  // The tables FinishRecording writes. Recording and system properties go into the metadata
  // (2.1 only) when they were handed over, even when empty; markers always give their marker
  // blocks and, for 2.1, their properties when there is any marker.
  void SetSources(const DeviceList& devices) { devices_ = devices; }
  void SetNavigation(const NavigationMap& navigation) { navigation_ = navigation; }
  void SetMarkers(const MarkerSet& markers) { markers_ = markers; }
  void SetRecordingProperties(const CPropManager& properties);
  void SetSystemProperties(const CPropManager& properties);

  // Writes the configuration block of the sources handed over at the position, as a system
  // block; returns its offset. FinishRecording writes the one the section index names.
  std::uint64_t WriteConfiguration();

  int state() const { return state_; }
  // The stream written to; null when idle.
  CRecStream* stream() { return stream_; }
  // True for a 2.1 file (the section index has sixteen slots and the tail holds metadata).
  bool version21() const { return version21_; }

 private:
  // A stretch of the file as it was before finishing.
  struct SavedBytes {
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> bytes;
  };

  void RequireState(bool allowed) const;
  const GUID& Format() const;
  // One system block of `type` holding `payload`; its offset.
  std::uint64_t WriteSystemBlock(std::uint16_t type, const std::vector<std::uint8_t>& payload);

  // The bytes FinishRecording may change, read before it writes; nothing when they cannot be
  // read. Raises exception_rt when they cannot be held, or would take more than half the
  // memory the system has available.
  std::optional<std::vector<SavedBytes>> BackUp(std::uint64_t tail);
  // Writes the saved bytes back and cuts the file to `file_size`; a failure is reported.
  void Restore(const std::vector<SavedBytes>& saved, std::uint64_t file_size, std::uint64_t tail);
  // Steps that write the tail; throw on failure.
  void WriteTail();
  std::uint64_t WriteMetadata();
  void WriteSectionIndex(const std::vector<std::uint64_t>& offsets);
  // Back to idle: closes and drops a created file's stream.
  void Reset();

  IInterfaceAccess* const access_;
  const CachingFileReaderPlatform platform_;
  std::unique_ptr<CRecStream> own_stream_;  // a created file's stream
  CRecStream* stream_ = nullptr;            // own_stream_ or the attached one
  RecBlockChainWriter chain_;
  int state_ = kIdle;
  bool version21_ = true;
  std::uint64_t section_index_ = kNoOffset;
  DWORD mode_ = 0;

  DeviceList devices_;
  NavigationMap navigation_;
  MarkerSet markers_;
  CPropManager recording_, system_;
  bool have_recording_ = false, have_system_ = false;
  std::wstring failure_text_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_WRITING_RECORDINGSAVER_H
