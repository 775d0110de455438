#include "container/metadataloader.h"

#include <algorithm>
#include <new>
#include <vector>

#include "base/exceptions.h"
#include "base/location.h"
#include "container/metadataformat.h"
#include "container/recstream.h"
#include "platform/bytes.h"

namespace recfilereader {
namespace {

constexpr SourceTag kLoad{"metadataloader", "CMetadataLoader::Load"};
constexpr SourceTag kLoadMetadata{"metadataloader", "CMetadataLoader::LoadMetadata"};
constexpr SourceTag kLoadItem{"metadataloader", "CMetadataLoader::LoadMetadataItem"};
constexpr SourceTag kConvertType{"metadataloader", "CMetadataLoader::ConvertMetadataType"};

// The generic data object an item of `kind` carries; null for kinds that carry none.
std::shared_ptr<CGenericData> MakeData(std::uint32_t kind) {
  switch (kind) {
    case kMetadataKindText: return std::make_shared<CGenericTextData>();
    case kMetadataKindAudio: return std::make_shared<CGenericAudioData>();
    case kMetadataKindPicture: return std::make_shared<CGenericPictureData>();
    case kMetadataKindBlob: return std::make_shared<CGenericBlobData>();
    default: return nullptr;
  }
}

std::size_t ElementCount(const MetadataList& list) {
  std::size_t count = 0;
  for (const auto& [type, elements] : list) count += elements.size();
  return count;
}

}  // namespace

void CMetadataLoader::Load(CRecStream& stream, std::uint64_t offset, MetadataList& list) {
  const std::uint64_t entry = stream.GetPosition();
  working_.clear();
  indexed_ = nullptr;
  charged_ = 0;
  stream.SetPosition(offset);
  stream.ReadBlockForward(block_);
  if (block_.header.Type != kBlockMetadataTable) {
    ThrowLocated<exception_rec>(L"Invalid data at metadata table offset", kLoad);
  }
  Charge(stream, block_.header.TotalSize());
  // The block is reused below, so the reference offsets are taken out first.
  std::vector<std::uint64_t> references;
  const std::size_t count = block_.payload.size() / kMetadataTableRecordSize;
  references.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    references.push_back(LoadLe64(block_.payload.data() + i * kMetadataTableRecordSize + 8));
  }
  for (const std::uint64_t reference : references) LoadMetadata(stream, reference, working_);
  list = std::move(working_);
  working_.clear();
  stream.SetPosition(entry);
}

void CMetadataLoader::LoadMetadata(CRecStream& stream, std::uint64_t offset, MetadataList& list) {
  const std::uint64_t entry = stream.GetPosition();
  stream.SetPosition(offset);
  stream.ReadBlockForward(block_);
  if (block_.header.Type != kBlockMetadata) {
    ThrowLocated<exception_rec>(L"Invalid data at metadata offset", kLoadMetadata);
  }
  Charge(stream, block_.header.TotalSize());
  LoadReferenceRecords(stream, list);
  stream.SetPosition(entry);
}

void CMetadataLoader::LoadReferenceRecords(CRecStream& stream, MetadataList& list) {
  // The items are read with the same stream, so the offsets are copied out of block_ first.
  const std::vector<std::uint8_t> payload(block_.payload.data(),
                                          block_.payload.data() + block_.payload.size());
  std::size_t at = 0;
  while (payload.size() - at >= kMetadataRecordHeaderSize) {
    const MetadataRecordHeader record = MetadataRecordHeader::DecodeFrom(payload.data() + at);
    at += kMetadataRecordHeaderSize;
    if (record.mark != kMetadataRecordMark || payload.size() - at < record.length) break;
    if (record.kind != kMetadataKindOffsets) {
      ThrowLocated<exception_rec>(L"Should never happen", kLoadMetadata);
    }
    for (std::size_t i = 0; i + 8 <= record.length; i += 8) {
      LoadMetadataItem(stream, LoadLe64(payload.data() + at + i), list);
    }
    at += record.length;
  }
}

void CMetadataLoader::LoadMetadataItem(CRecStream& stream, std::uint64_t offset, MetadataList& list) {
  const std::uint64_t entry = stream.GetPosition();
  stream.SetPosition(offset);
  std::uint8_t head[kMetadataRecordHeaderSize];
  stream.ReadData(head, sizeof head);
  const MetadataRecordHeader item = MetadataRecordHeader::DecodeFrom(head);
  if (item.mark != kMetadataRecordMark) throw exception_data(L"Data error");
  // The length is the file's word: it must be there before anything is allocated for it.
  stream.file().CheckReadable(item.length);
  Charge(stream, kMetadataRecordHeaderSize + std::uint64_t{item.length});
  std::vector<std::uint8_t> data;
  try {
    data.resize(item.length);
  } catch (const std::bad_alloc&) {
    throw exception_rt(L"Runtime error");
  }
  stream.ReadData(data.data(), item.length);
  const std::uint32_t type = ConvertMetadataType(item.type_code);
  MetadataElement& element = ElementFor(list, type, item.id);
  if (item.kind == kMetadataKindOffsets) {
    ThrowLocated<exception_rec>(L"File offset is not expected here", kLoadItem);
  }
  if (std::shared_ptr<CGenericData> object = MakeData(item.kind)) {
    // An audio clip or picture too short for its head stays empty; extraction says why.
    (void)object->SetData(data.data(), data.size());
    element.data.push_back(std::move(object));
  }
  stream.SetPosition(entry);
}

MetadataElement& CMetadataLoader::ElementFor(MetadataList& list, std::uint32_t type, std::uint64_t id) {
  // The index makes a section of many identifiers linear; it is rebuilt when it does not
  // describe `list`, which the caller may have changed since the last item.
  if (indexed_ != &list || ElementCount(list) != positions_.size()) {
    positions_.clear();
    for (const auto& [list_type, elements] : list) {
      for (std::size_t i = 0; i < elements.size(); ++i) positions_.emplace(std::pair{list_type, elements[i].id}, i);
    }
    indexed_ = &list;
  }
  std::vector<MetadataElement>& elements = list[type];
  const auto [it, added] = positions_.emplace(std::pair{type, id}, elements.size());
  if (added) elements.push_back(MetadataElement{.type = type, .id = id, .data = {}});
  return elements[it->second];
}

std::uint32_t CMetadataLoader::ConvertMetadataType(std::uint32_t code) {
  const std::optional<std::uint32_t> type = MetadataTypeOfCode(code);
  if (!type) ThrowLocated<exception_rec>(L"Unknown metadata type", kConvertType);
  return *type;
}

void CMetadataLoader::Charge(CRecStream& stream, std::uint64_t bytes) {
  charged_ += bytes;
  if (charged_ > stream.GetFileSize()) throw exception_rec_corrupted();
}

}  // namespace recfilereader
