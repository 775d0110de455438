// CMarkersLoader: reads marker blocks and marker info records into a marker set.
//
// Marker block: a 32-byte payload, one marker. 2.x files keep its timestamp as the u64 at
// payload offset 0, 1.0 files at offset 24; the other bytes mean nothing.
//
// Marker info block, 2.x: a sequence of records, each a 20-byte header and its data:
//   OFFSET  SIZE  FIELD
//        0     4  mark 0x71717171
//        4     8  timestamp of the marker the record belongs to
//       12     4  kind (MarkerInfoKind; other kinds are ignored)
//       16     4  data length
// A record-list record holds u64 file offsets of stand-alone records: the same header and data,
// lying outside any block.
// Marker info block, 1.0: the whole payload is a UTF-16 description of the marker with the
// smallest timestamp so far (timestamp 0 while there is none).
//
// A timestamp that names no marker gets one, so nothing read is lost. Not thread-safe.
#ifndef RECFILEREADER_CONTAINER_MARKERSLOADER_H
#define RECFILEREADER_CONTAINER_MARKERSLOADER_H

#include <cstddef>
#include <cstdint>

#include "container/recblock.h"
#include "recfilereader/base.h"
#include "sources/markerset.h"

namespace recfilereader {

class CRecStream;

constexpr std::size_t kMarkerPayloadSize = 32;
constexpr std::size_t kMarkerTimestampOffsetV10 = 24;
constexpr std::size_t kMarkerInfoHeaderSize = 20;
constexpr std::uint32_t kMarkerInfoMark = 0x71717171;

enum MarkerInfoKind : std::uint32_t {
  kMarkerInfoDescription = 0x71030000,  // narrow text without terminator
  kMarkerInfoAudio = 0x710A0000,        // 18-byte WAVEFORMATEX, then the samples
  kMarkerInfoRecordList = 0x710FFFFF,   // u64 offsets of stand-alone records
};

class CMarkersLoader {
 public:
  // `access` finds the temporary-files manager ("IPrivTempFilesMgr") that audio comments are
  // converted through. The stream and the set are borrowed for the loader's life.
  CMarkersLoader(IInterfaceAccess* access, CRecStream& stream, MarkerSet& markers);
  CMarkersLoader(const CMarkersLoader&) = delete;
  CMarkersLoader& operator=(const CMarkersLoader&) = delete;

  // Reads the markers data of a 2.x file: marker and marker info blocks (fillers between them
  // passed over) from `offset` up to the first block of another type. Damage passes on as the
  // exceptions below; what was read before it stays in the set.
  void LoadMarkersData(std::uint64_t offset);

  // Adds the marker of a marker block; false, adding nothing, for a payload that is not 32
  // bytes long.
  bool AddMarkerBlock(const RecBlock& block, bool version10 = false);

  // Applies every record of a 2.x marker info block. A block shorter than one header, a record
  // that does not fit or lacks its mark, and any failure of a stand-alone record throw
  // (exception_rec_corrupted "Recording corrupted" for damage); a description or audio comment
  // that cannot be applied is dropped and parsing goes on.
  void ParseMarkerInfoBlock(const RecBlock& block);

  // Sets the description that a 1.0 marker info block holds.
  void ApplyMarkerInfoBlockV10(const RecBlock& block);

  // Reads the stand-alone record at `offset` and applies a description or audio comment; the
  // stream's position is restored. Throws exception_rec_corrupted for the end mark, a missing
  // mark or more stand-alone data than the file holds in all; read errors and conversion
  // failures pass on.
  void ReadStandAloneRecord(std::uint64_t offset);

  // Sets the marker's "AudioComment" to an AVI made from `data` (an 18-byte WAVEFORMATEX, then
  // the samples). Shorter data: exception_rt "Audio data size is less then size of
  // WAVEFORMATEX"; no temporary file or a failed conversion: exception_rt.
  void AddMarkerInfoAudio(const std::uint8_t* data, std::size_t length, std::uint64_t timestamp);

 private:
  void AddMarkerInfoText(const std::uint8_t* data, std::size_t length, std::uint64_t timestamp);
  // Applies what a record of `kind` carries; other kinds do nothing.
  void ApplyRecord(std::uint32_t kind, const std::uint8_t* data, std::size_t length,
                   std::uint64_t timestamp);

  IInterfaceAccess* access_;
  CRecStream& stream_;
  MarkerSet& markers_;
  std::uint64_t stand_alone_bytes_ = 0;  // header and data of every stand-alone record read
};

}  // namespace recfilereader

#endif  // RECFILEREADER_CONTAINER_MARKERSLOADER_H
