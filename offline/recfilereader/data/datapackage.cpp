#include "data/datapackage.h"

#include <cstring>
#include <utility>

#include "base/exceptions.h"
#include "base/location.h"
#include "container/extendedpackageheader.h"

namespace recfilereader {

namespace {

constexpr SourceTag kConvert{"datapackage", "RecBlockToDataPackage"};
constexpr SourceTag kFill{"datapackage", "CDataPackage::GetDataPackage"};
// The text by which the reader recognises a package it can read past (the block's own lengths
// are wrong, the blocks around it are fine).
constexpr const wchar_t* kDataCorrupted = kPackageDataCorruptedText;

void CopyBytes(std::uint8_t* to, const std::uint8_t* from, std::size_t size) {
  if (size != 0) std::memcpy(to, from, size);
}

}  // namespace

void CDataPackage::Reset() {
  position_ = next_position_ = 0;
  valid_ = second_format_ = false;
  source_handle_ = 0;
  timestamp_ = 0;
  info1_ = info2_ = 0;
  descriptor_ = DataPackageDescriptor{};
  data_offset_ = data_size_ = extra_offset_ = extra_size_ = 0;
  stream_ = nullptr;
  file_offset_ = 0;
}

void CDataPackage::Release() {
  Reset();
  prefetch_.Clear();
  bytes_.Release();
  read_block_.payload.Release();
}

void CDataPackage::Load(const RecBlock& block, CSharedBuffer* donor, CRecStream* stream) {
  Reset();
  try {
    const Layout layout = DecodeBlock(block);
    if (block.deferred != 0) {
      if (stream == nullptr) throw exception_rt(L"Invalid argument");
      stream_ = stream;
      file_offset_ = block.Offset + kBlockHeaderSize + layout.data_offset;
      data_size_ = layout.data_size;
      extra_size_ = layout.extra_size;
    } else if (donor != nullptr) {
      std::swap(bytes_, *donor);
      data_offset_ = layout.data_offset;
      data_size_ = layout.data_size;
      extra_offset_ = layout.extra_offset;
      extra_size_ = layout.extra_size;
    } else {
      CopyFrom(block.payload, layout);
    }
  } catch (const exception_rec_corrupted& e) {
    if (e.wtext() != kDataCorrupted) {
      Reset();
      throw;
    }
    SetPositions(block.Offset, block.Next);
    valid_ = true;
    throw;
  } catch (...) {
    Reset();
    throw;
  }
  SetPositions(block.Offset, block.Next);
  valid_ = true;
}

CDataPackage::Layout CDataPackage::DecodeBlock(const RecBlock& block) {
  const CSharedBuffer& payload = block.payload;
  // The payload's length, with the bytes a read left in the file.
  const std::size_t payload_size = payload.size() + block.deferred;
  if (block.header.Tag == kTagExtendedPackage) {
    if (payload.size() < kExtendedPackageHeaderSize) throw exception_rec_corrupted();
    const ExtendedPackageHeader header = ExtendedPackageHeader::DecodeFrom(payload.data());
    source_handle_ = header.source_handle;
    timestamp_ = header.timestamp;
    info1_ = header.info1;
    info2_ = header.info2;
    descriptor_ = header.descriptor;
    const std::size_t after_header = payload_size - kExtendedPackageHeaderSize;
    if (header.data_length > after_header) throw exception_rec_corrupted(kDataCorrupted);
    Layout layout{.data_offset = kExtendedPackageHeaderSize, .data_size = header.data_length};
    // Extra data only when its length accounts for exactly the rest of the payload.
    const std::size_t rest = after_header - header.data_length;
    if (rest != 0 && header.extra_length == rest) {
      layout.extra_offset = layout.data_offset + layout.data_size;
      layout.extra_size = rest;
    }
    second_format_ = true;
    return layout;
  }
  source_handle_ = block.header.Tag;
  timestamp_ = block.header.Link;
  if (block.header.DataLength > payload_size) throw exception_rec_corrupted(kDataCorrupted);
  return Layout{.data_size = block.header.DataLength};
}

void CDataPackage::CopyFrom(const CSharedBuffer& payload, const Layout& layout) {
  // Bytes another holder still sees must not be overwritten.
  if (bytes_.use_count() > 1) bytes_.Release();
  if (!bytes_.Resize(layout.data_size))
    throw exception_rt(MemoryFailureText(MemorySource::kOperatorNew, layout.data_size, kConvert));
  CopyBytes(bytes_.data(), payload.data() + layout.data_offset, layout.data_size);
  if (layout.extra_size != 0) {
    if (!bytes_.Resize(layout.data_size + layout.extra_size))
      throw exception_rt(MemoryFailureText(MemorySource::kOperatorNew, layout.extra_size, kConvert));
    CopyBytes(bytes_.data() + layout.data_size, payload.data() + layout.extra_offset, layout.extra_size);
  }
  data_offset_ = 0;
  data_size_ = layout.data_size;
  extra_offset_ = layout.data_size;
  extra_size_ = layout.extra_size;
}

void* CDataPackage::AllocateForHost(std::size_t size, DWORD flags) const {
  void* copy = memory_ != nullptr ? memory_->Allocate(size, flags) : nullptr;
  // An empty copy may come back as null: there is nothing to hand out then.
  if (copy == nullptr && size != 0)
    throw exception_rt(MemoryFailureText(MemorySource::kMemoryManager, size, kFill));
  return copy;
}

// One copy into the host's buffers: from the file when the bytes wait there, else from memory.
void CDataPackage::FillHostCopies(void* data, void* extra) const {
  if (stream_ == nullptr) {
    CopyBytes(static_cast<std::uint8_t*>(data), bytes_.data() + data_offset_, data_size_);
    CopyBytes(static_cast<std::uint8_t*>(extra), bytes_.data() + extra_offset_, extra_size_);
    return;
  }
  const IoSpan parts[] = {{data, data_size_}, {extra, extra_size_}};
  stream_->ReadPayloadAt(file_offset_, std::span<const IoSpan>(parts, extra_size_ != 0 ? 2 : 1));
}

std::optional<PayloadPrefetch::Place> CDataPackage::PrefetchPlace(DWORD flags) const {
  if (stream_ == nullptr || extra_size_ != 0 || data_size_ == 0 || memory_ == nullptr) return std::nullopt;
  const std::uint64_t head = file_offset_ - position_;
  if (head > kBlockHeaderSize + kExtendedPackageHeaderSize || next_position_ - file_offset_ != data_size_)
    return std::nullopt;
  return PayloadPrefetch::Place{stream_, position_, static_cast<std::uint32_t>(head), data_size_, flags};
}

void CDataPackage::GetDataPackage(DataPackageRecord& record) {
  record = DataPackageRecord{};
  record.Descriptor = descriptor_;
  record.SourceHandle = source_handle_;
  record.Timestamp = timestamp_;
  const bool trailed = (descriptor_.PackageFlags & kPackageFlagTrailerMask) != 0;
  const DWORD flags = trailed ? kAllocateTrailedData : kAllocateData;
  const std::optional<PayloadPrefetch::Place> place = PrefetchPlace(flags);
  void* data = place ? prefetch_.Take(*place, memory_) : nullptr;
  const bool fetched = data != nullptr;
  if (!fetched) data = AllocateForHost(data_size_, flags);
  record.Info1 = info1_;
  record.Info2 = info2_;
  void* extra = nullptr;
  try {
    if (extra_size_ != 0) extra = AllocateForHost(extra_size_, kAllocateData);
    if (place && !fetched) {
      prefetch_.Read(*place, data, memory_);
    } else if (!fetched) {
      FillHostCopies(data, extra);
    }
  } catch (...) {
    // The host never learns of a copy from a failed call, so it must not outlive the call.
    if (data != nullptr) memory_->Free(data);
    if (extra != nullptr) memory_->Free(extra);
    throw;
  }
  record.Data = data;
  record.DataSize = static_cast<ULONG>(data_size_);
  if (extra_size_ == 0) return;
  record.ExtraData = extra;
  record.ExtraSize = static_cast<ULONG>(extra_size_);
}

void RecBlockToDataPackage(const RecBlock& block, CDataPackage& package) { package.Load(block, nullptr); }

bool IsPackageDataCorruption(const exception_rec_corrupted& failure) {
  return failure.wtext() == kPackageDataCorruptedText;
}

}  // namespace recfilereader
