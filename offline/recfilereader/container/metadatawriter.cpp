#include "container/metadatawriter.h"

#include <cstring>
#include <map>

#include "base/exceptions.h"
#include "base/location.h"
#include "container/metadataformat.h"
#include "container/recstream.h"
#include "platform/bytes.h"
#include "properties/compositebuffer.h"

namespace recfilereader {
namespace {

constexpr SourceTag kWrite{"metadatawriter", "CMetadataWriter::Write"};

std::uint32_t KindOf(GenericDataType type) {
  switch (type) {
    case gdt_text: return kMetadataKindText;
    case gdt_audio: return kMetadataKindAudio;
    case gdt_picture: return kMetadataKindPicture;
    case gdt_blob: break;
  }
  return kMetadataKindBlob;
}

// The bytes an object stores: a text with its terminator, a blob from its composite buffer.
std::vector<std::uint8_t> BytesOf(const CGenericData& object) {
  if (const auto* blob = dynamic_cast<const CGenericBlobData*>(&object)) {
    std::vector<std::uint8_t> bytes(blob->GetSize());
    if (!bytes.empty() && !blob->buffer()->Read(0, bytes.data(), bytes.size())) {
      ThrowLocated<exception_rt>(L"Failed to read metadata blob", kWrite);
    }
    return bytes;
  }
  const auto* data = static_cast<const std::uint8_t*>(object.GetData());
  std::vector<std::uint8_t> bytes(data, data + object.GetSize());
  if (object.GetType() == gdt_text) bytes.push_back(0);
  return bytes;
}

void AppendHeader(std::vector<std::uint8_t>& out, const MetadataRecordHeader& header) {
  const std::size_t at = out.size();
  out.resize(at + kMetadataRecordHeaderSize);
  header.EncodeTo(out.data() + at);
}

// Writes one system block of `type` with `payload`; returns its offset.
std::uint64_t WriteBlock(CRecStream& stream, RecBlockChainWriter& chain, std::uint16_t type,
                         const std::vector<std::uint8_t>& payload) {
  if (payload.size() > kMaxDataLength) {
    ThrowLocated<exception_rt>(L"Metadata does not fit into one block", kWrite);
  }
  RecBlock block;
  block.header.Type = type;
  if (!block.payload.Resize(payload.size())) {
    throw exception_rt(MemoryFailureText(MemorySource::kOperatorNew, payload.size(), kWrite));
  }
  if (!payload.empty()) std::memcpy(block.payload.data(), payload.data(), payload.size());
  chain.Write(stream, block);
  return block.Offset;
}

}  // namespace

std::vector<std::uint8_t> CMetadataWriter::EncodeItems(const MetadataElement& element) {
  std::vector<std::uint8_t> out;
  for (const auto& object : element.data) {
    if (object == nullptr) continue;
    const std::vector<std::uint8_t> bytes = BytesOf(*object);
    if (bytes.size() > kMaxDataLength) {
      ThrowLocated<exception_rt>(L"Metadata does not fit into one block", kWrite);
    }
    AppendHeader(out, {.type_code = MetadataCodeOfType(element.type), .id = element.id,
                       .kind = KindOf(object->GetType()),
                       .length = static_cast<std::uint32_t>(bytes.size())});
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

std::uint64_t CMetadataWriter::Write(CRecStream& stream, RecBlockChainWriter& chain,
                                     const MetadataList& list) {
  std::map<std::uint32_t, std::vector<std::uint64_t>> items;  // type number -> item offsets
  for (const auto& [type, elements] : list) {
    if (type >= kMetadataTypeCount) continue;
    for (const MetadataElement& element : elements) {
      const std::vector<std::uint8_t> payload = EncodeItems(element);
      if (payload.empty()) continue;
      const std::uint64_t block = WriteBlock(stream, chain, kBlockMetadata, payload);
      for (std::size_t at = 0; at < payload.size();) {
        items[type].push_back(block + kBlockHeaderSize + at);
        at += kMetadataRecordHeaderSize + LoadLe32(payload.data() + at + 20);
      }
    }
  }
  std::vector<std::uint8_t> table;
  for (const auto& [type, offsets] : items) {
    std::vector<std::uint8_t> reference;
    AppendHeader(reference, {.type_code = MetadataCodeOfType(type), .id = ~0ull,
                             .kind = kMetadataKindOffsets,
                             .length = static_cast<std::uint32_t>(offsets.size() * 8)});
    for (const std::uint64_t offset : offsets) {
      reference.resize(reference.size() + 8);
      StoreLe64(reference.data() + reference.size() - 8, offset);
    }
    const std::uint64_t at = WriteBlock(stream, chain, kBlockMetadata, reference);
    const std::size_t record = table.size();
    table.resize(record + kMetadataTableRecordSize);
    StoreLe32(table.data() + record, MetadataCodeOfType(type));
    StoreLe32(table.data() + record + 4, ~0u);
    StoreLe64(table.data() + record + 8, at);
    StoreLe64(table.data() + record + 16, ~0ull);
  }
  return WriteBlock(stream, chain, kBlockMetadataTable, table);
}

}  // namespace recfilereader
