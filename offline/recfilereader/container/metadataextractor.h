// CMetadataExtractor turns a recording's metadata into the recording, system and marker
// properties the host sees, and edited properties back into metadata for saving.
//
// Two generations of storage are read. Current recordings keep the properties in a compound
// document carried as a blob: "Recording properties" and "System properties" in the blob of the
// first properties element, one storage per marker (named by its timestamp in decimal) in the
// marker elements' blobs. Older ones keep a "File Information" and a "Time reference" storage,
// a description text and an audio comment in the properties element and the video preview as
// pictures of the preview elements; audio and pictures become AVI blobs.
//
// Reading never fails: each step reports its progress text with "OK" or what went wrong to the
// host (information, id 0) and the next step runs. Saving raises exception_rt.
#ifndef RECFILEREADER_CONTAINER_METADATAEXTRACTOR_H
#define RECFILEREADER_CONTAINER_METADATAEXTRACTOR_H

#include <string>

#include "container/metadatalist.h"
#include "properties/propertymap.h"
#include "properties/propmanager.h"
#include "recfilereader/base.h"
#include "recfilereader/hostservices.h"
#include "sources/markerset.h"

namespace recfilereader {

// The format identifier of every property set in the metadata's documents.
constexpr FMTID kMetadataFormatId = {
    0x71CCAC61, 0x82F1, 0x415D, {0xA1, 0xA0, 0x26, 0x85, 0xB3, 0x8C, 0x3C, 0x44}};

// Option bits of ExtractRecProperties: which parts of an old recording to read besides its
// File Information.
enum MetadataOption : DWORD {
  kReadDescription = 32,
  kReadTimeReference = 64,
  kReadAudioComment = 128,
  kReadVideoPreview = 256,
};

class CMetadataExtractor {
 public:
  // `access` is the reader's service context: the host's error manager (reports), its memory
  // manager ("IExMemoryMgr") and the temporary files ("IPrivTempFilesMgr"); each may be absent.
  explicit CMetadataExtractor(IInterfaceAccess* access);
  CMetadataExtractor(const CMetadataExtractor&) = delete;
  CMetadataExtractor& operator=(const CMetadataExtractor&) = delete;

  void ExtractRecProperties(const MetadataList& list, CPropManager& recording, DWORD options);
  void ExtractSysProperties(const MetadataList& list, CPropManager& system);
  // Loads each stored marker's properties into the marker of `markers` with its timestamp;
  // storages that name no marker of the set are passed over.
  void ExtractMarkerProperties(const MetadataList& list, MarkerSet& markers);

  // Write the table into the blob of the first properties element (made when missing),
  // replacing its storage and keeping the document's other storages.
  void SaveRecProperties(MetadataList& list, const CPropManager& recording);
  void SaveSysProperties(MetadataList& list, const CPropManager& system);
  // Replaces the marker elements by one (identifier 0) whose blob holds a new document with
  // one storage per marker.
  void SaveMarkerProperties(MetadataList& list, const MarkerSet& markers);

 private:
  // Runs one reading step: reports `status` followed by the failure's text, or by "OK" when
  // `report_success`. True when the step succeeded.
  template <class Step>
  bool RunStep(const std::wstring& status, Step&& step, bool report_success = true);
  void Report(const std::wstring& text);

  void ReadFromStorage(const GenericDataList& data, CPropManager& recording);
  void ReadFileInformation(const GenericDataList& data, CPropManager& recording);
  void ReadDescription(const GenericDataList& data, CPropManager& recording);
  void ReadAudioComment(const GenericDataList& data, CPropManager& recording);
  void ReadTimeReference(const GenericDataList& data, CPropManager& recording);
  void ReadVideoPreview(const MetadataList& list, CPropManager& recording);
  void ReadMarkerDocument(const CGenericData& blob, MarkerSet& markers);
  // The properties of the storage `name` inside the document of the first blob in `data`.
  PropertyMap LoadStorage(const GenericDataList& data, const wchar_t* name);
  void SaveStorage(MetadataList& list, const wchar_t* name, const CPropManager& table);

  IInterfaceAccess* access_;
  IExMemoryMgr* memory_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_CONTAINER_METADATAEXTRACTOR_H
