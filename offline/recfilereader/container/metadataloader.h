// CMetadataLoader reads the metadata section of a version 2.1 file (table, reference blocks,
// items; see metadataformat.h) into a metadata list. The section comes from files written by
// other programs, so every count and length is checked against what the block or the file
// holds, and all that one load reads together may not exceed the file's size: items of an
// honest writer never overlap, so more than that means references that loop or overlap.
//
// Each operation leaves the stream's position as it found it when it returns normally.
#ifndef RECFILEREADER_CONTAINER_METADATALOADER_H
#define RECFILEREADER_CONTAINER_METADATALOADER_H

#include <cstdint>
#include <map>
#include <utility>

#include "container/metadatalist.h"
#include "container/recblock.h"

namespace recfilereader {

class CRecStream;

class CMetadataLoader {
 public:
  CMetadataLoader() = default;
  CMetadataLoader(const CMetadataLoader&) = delete;
  CMetadataLoader& operator=(const CMetadataLoader&) = delete;

  // Replaces `list` with the metadata whose table block is at `offset`. Not a table block:
  // exception_rec "Invalid data at metadata table offset"; on any failure `list` is unchanged.
  void Load(CRecStream& stream, std::uint64_t offset, MetadataList& list);
  // Adds the items of the reference block at `offset`. Not a reference block: exception_rec
  // "Invalid data at metadata offset". A short or unmarked tail ends the walk quietly.
  void LoadMetadata(CRecStream& stream, std::uint64_t offset, MetadataList& list);
  // Adds the item at `offset`: no mark, exception_data "Data error"; data past the end of the
  // file, exception_rec_invalid_offset; an offset list, exception_rec "File offset is not
  // expected here".
  void LoadMetadataItem(CRecStream& stream, std::uint64_t offset, MetadataList& list);
  // The type number of a type code; exception_rec "Unknown metadata type" for others.
  static std::uint32_t ConvertMetadataType(std::uint32_t code);

 private:
  void LoadReferenceRecords(CRecStream& stream, MetadataList& list);
  // The element of `list` for the type and identifier, appended when there is none.
  MetadataElement& ElementFor(MetadataList& list, std::uint32_t type, std::uint64_t id);
  // Counts `bytes` as read; exception_rec_corrupted once more than the file holds was read.
  void Charge(CRecStream& stream, std::uint64_t bytes);

  RecBlock block_;           // reused for every block this loader reads
  MetadataList working_;     // what Load collects before it hands it over
  std::uint64_t charged_ = 0;
  // (type, identifier) -> position in its type's elements, for the list last loaded into.
  std::map<std::pair<std::uint32_t, std::uint64_t>, std::size_t> positions_;
  const MetadataList* indexed_ = nullptr;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_CONTAINER_METADATALOADER_H
