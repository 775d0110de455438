#include "container/markersloader.h"

#include <string>
#include <vector>

#include "base/exceptions.h"
#include "base/location.h"
#include "base/privateinterfaces.h"
#include "container/recstream.h"
#include "host/scopedtempfile.h"
#include "platform/bytes.h"
#include "platform/media/mediaformats.h"
#include "platform/textconv.h"
#include "properties/audioconverter.h"
#include "properties/genericdata.h"
#include "properties/propvalue.h"
#include "recfilereader/propertynames.h"
#include "sources/recmarkersmgr.h"

namespace recfilereader {
namespace {

constexpr SourceTag kAudioWhere{"markersloader", "CMarkersLoader::AddMarkerInfoAudio"};

LONGLONG MarkerTimestamp(std::uint64_t timestamp) { return static_cast<LONGLONG>(timestamp); }

}  // namespace

CMarkersLoader::CMarkersLoader(IInterfaceAccess* access, CRecStream& stream, MarkerSet& markers)
    : access_(access), stream_(stream), markers_(markers) {}

void CMarkersLoader::LoadMarkersData(std::uint64_t offset) {
  stream_.SetPosition(offset);
  RecBlock block;
  for (;;) {
    stream_.ReadBlockForward(block);
    switch (block.header.Type) {
      case kBlockFiller:
        break;
      case kBlockMarker:
        AddMarkerBlock(block);
        break;
      case kBlockMarkerInfo:
        ParseMarkerInfoBlock(block);
        break;
      default:
        return;
    }
  }
}

bool CMarkersLoader::AddMarkerBlock(const RecBlock& block, bool version10) {
  if (block.payload.size() != kMarkerPayloadSize) return false;
  const std::uint8_t* timestamp = block.payload.data() + (version10 ? kMarkerTimestampOffsetV10 : 0);
  CRecMarkersMgr::AddMarkerTo(markers_, MarkerTimestamp(LoadLe64(timestamp)));
  return true;
}

void CMarkersLoader::ParseMarkerInfoBlock(const RecBlock& block) {
  const std::size_t size = block.payload.size();
  const std::uint8_t* payload = block.payload.data();
  if (size < kMarkerInfoHeaderSize) throw exception_rec_corrupted();
  for (std::size_t position = 0; position < size;) {
    const std::uint8_t* header = payload + position;
    if (size - position < kMarkerInfoHeaderSize || LoadLe32(header) != kMarkerInfoMark) {
      throw exception_rec_corrupted();
    }
    const std::uint64_t timestamp = LoadLe64(header + 4);
    const std::uint32_t kind = LoadLe32(header + 12);
    const std::uint32_t length = LoadLe32(header + 16);
    if (length > size - position - kMarkerInfoHeaderSize) throw exception_rec_corrupted();
    const std::uint8_t* data = header + kMarkerInfoHeaderSize;
    if (kind == kMarkerInfoRecordList) {
      for (std::size_t i = 0; i < length / 8; ++i) ReadStandAloneRecord(LoadLe64(data + 8 * i));
    } else {
      try {
        ApplyRecord(kind, data, length, timestamp);
      } catch (...) {
        // A description or audio comment that cannot be applied has no effect.
      }
    }
    position += kMarkerInfoHeaderSize + length;
  }
}

void CMarkersLoader::ApplyMarkerInfoBlockV10(const RecBlock& block) {
  const LONGLONG timestamp = markers_.empty() ? 0 : markers_.begin()->first;
  PropertyValue text;
  SetPropWString(text.get(), Utf16LeToWide(block.payload.data(), block.payload.size()).c_str());
  CRecMarkersMgr::SetMarkerProperty(markers_, timestamp, kMarkerPropDescription, std::move(text));
}

void CMarkersLoader::ReadStandAloneRecord(std::uint64_t offset) {
  const std::uint64_t resume = stream_.GetPosition();
  if (offset == kRecEndMark) throw exception_rec_corrupted();
  stream_.SetPosition(offset);
  std::uint8_t header[kMarkerInfoHeaderSize];
  stream_.ReadData(header, kMarkerInfoHeaderSize);
  if (LoadLe32(header) != kMarkerInfoMark) throw exception_rec_corrupted();
  const std::uint64_t timestamp = LoadLe64(header + 4);
  const std::uint32_t kind = LoadLe32(header + 12);
  const std::uint32_t length = LoadLe32(header + 16);
  // A length past the end fails as the read would, before anything is allocated.
  stream_.file().CheckReadable(length);
  // Stand-alone records of an undamaged file lie apart from each other, so together they never
  // exceed the file; more means records overlapping or listed over and over, which would make
  // the work grow without bound.
  stand_alone_bytes_ += kMarkerInfoHeaderSize + std::uint64_t{length};
  if (stand_alone_bytes_ > stream_.GetFileSize()) throw exception_rec_corrupted();
  if (length != 0 && (kind == kMarkerInfoDescription || kind == kMarkerInfoAudio)) {
    std::vector<std::uint8_t> data(length);
    stream_.ReadData(data.data(), length);
    ApplyRecord(kind, data.data(), length, timestamp);
  }
  stream_.SetPosition(resume);
}

void CMarkersLoader::AddMarkerInfoAudio(const std::uint8_t* data, std::size_t length, std::uint64_t timestamp) {
  if (length < CGenericAudioData::kMinimumSize) {
    ThrowLocated<exception_rt>(L"Audio data size is less then size of WAVEFORMATEX", kAudioWhere);
  }
  const std::optional<WAVEFORMATEX> format = WAVEFORMATEX::DecodeFrom({data, WAVEFORMATEX::kEncodedSize});
  PROPVARIANT samples;
  PropVariantInit(&samples);
  samples.vt = VT_BLOB;
  samples.blob.cbSize = static_cast<ULONG>(length - WAVEFORMATEX::kEncodedSize);
  samples.blob.pBlobData = const_cast<BYTE*>(data + WAVEFORMATEX::kEncodedSize);  // only read
  PropertyValue avi;
  {
    const ScopedTempFile temp(access_, L"marker_audio", L"avi",
                              L"Failed to create temporary file for audio conversion");
    CAudioConverter::RawAudioToAviBlob(*format, samples, avi.get(), temp.path());
  }
  CRecMarkersMgr::SetMarkerProperty(markers_, MarkerTimestamp(timestamp), kMarkerPropAudioComment,
                                    std::move(avi));
}

void CMarkersLoader::AddMarkerInfoText(const std::uint8_t* data, std::size_t length, std::uint64_t timestamp) {
  CGenericTextData text;
  text.SetData(data, length);
  PropertyValue value;
  SetPropWString(value.get(), Utf8ToWide(text.text()).c_str());
  CRecMarkersMgr::SetMarkerProperty(markers_, MarkerTimestamp(timestamp), kMarkerPropDescription,
                                    std::move(value));
}

void CMarkersLoader::ApplyRecord(std::uint32_t kind, const std::uint8_t* data, std::size_t length,
                                 std::uint64_t timestamp) {
  if (kind == kMarkerInfoDescription) {
    AddMarkerInfoText(data, length, timestamp);
  } else if (kind == kMarkerInfoAudio) {
    AddMarkerInfoAudio(data, length, timestamp);
  }
}

}  // namespace recfilereader
