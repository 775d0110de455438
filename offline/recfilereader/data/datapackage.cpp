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
}

void CDataPackage::Release() {
  Reset();
  bytes_.Release();
  read_block_.payload.Release();
}

void CDataPackage::Load(const RecBlock& block, CSharedBuffer* donor) {
  Reset();
  try {
    const Layout layout = DecodeBlock(block);
    if (donor != nullptr) {
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
  if (block.header.Tag == kTagExtendedPackage) {
    if (payload.size() < kExtendedPackageHeaderSize) throw exception_rec_corrupted();
    const ExtendedPackageHeader header = ExtendedPackageHeader::DecodeFrom(payload.data());
    source_handle_ = header.source_handle;
    timestamp_ = header.timestamp;
    info1_ = header.info1;
    info2_ = header.info2;
    descriptor_ = header.descriptor;
    const std::size_t after_header = payload.size() - kExtendedPackageHeaderSize;
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
  if (block.header.DataLength > payload.size()) throw exception_rec_corrupted(kDataCorrupted);
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

void* CDataPackage::CopyToHost(std::span<const std::uint8_t> bytes, DWORD flags) const {
  void* copy = memory_ != nullptr ? memory_->Allocate(bytes.size(), flags) : nullptr;
  // An empty copy may come back as null: there is nothing to hand out then.
  if (copy == nullptr && !bytes.empty())
    throw exception_rt(MemoryFailureText(MemorySource::kMemoryManager, bytes.size(), kFill));
  CopyBytes(static_cast<std::uint8_t*>(copy), bytes.data(), bytes.size());
  return copy;
}

void CDataPackage::GetDataPackage(DataPackageRecord& record) const {
  record = DataPackageRecord{};
  record.Descriptor = descriptor_;
  record.SourceHandle = source_handle_;
  record.Timestamp = timestamp_;
  const bool trailed = (descriptor_.PackageFlags & kPackageFlagTrailerMask) != 0;
  record.Data = CopyToHost(data(), trailed ? kAllocateTrailedData : kAllocateData);
  record.DataSize = static_cast<ULONG>(data_size_);
  record.Info1 = info1_;
  record.Info2 = info2_;
  if (extra_size_ == 0) return;
  try {
    record.ExtraData = CopyToHost(extra(), kAllocateData);
  } catch (...) {
    // The host never learns of a copy from a failed call, so it must not outlive the call.
    if (record.Data != nullptr) memory_->Free(record.Data);
    record.Data = nullptr;
    record.DataSize = 0;
    throw;
  }
  record.ExtraSize = static_cast<ULONG>(extra_size_);
}

void RecBlockToDataPackage(const RecBlock& block, CDataPackage& package) { package.Load(block, nullptr); }

bool IsPackageDataCorruption(const exception_rec_corrupted& failure) {
  return failure.wtext() == kPackageDataCorruptedText;
}

}  // namespace recfilereader
