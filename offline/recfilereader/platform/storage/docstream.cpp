#include "platform/storage/docstream.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/hresults.h"
#include "platform/storage/elementmode.h"
#include "platform/storage/statstg.h"

namespace recfilereader {

CDocStream::CDocStream(std::shared_ptr<CCompoundDocument> doc, std::shared_ptr<CompoundNode> node,
                       DWORD mode)
    : doc_(std::move(doc)), node_(std::move(node)), mode_(mode) {
  ++node_->open_count;
}

CDocStream::~CDocStream() { --node_->open_count; }

HRESULT CDocStream::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream) {
    *object = static_cast<IStream*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CDocStream::AddRef() { return refs_.Add(); }

ULONG CDocStream::Release() {
  const ULONG left = refs_.Drop();
  if (left == 0) delete this;
  return left;
}

HRESULT CDocStream::CheckWritable() const {
  if (node_->removed) return STG_E_REVERTED;
  if (!ModeWrites(mode_)) return STG_E_ACCESSDENIED;
  return S_OK;
}

HRESULT CDocStream::Read(void* buffer, ULONG count, ULONG* read) {
  return ComGuard([&]() -> HRESULT {
    if (read != nullptr) *read = 0;
    if (buffer == nullptr) return STG_E_INVALIDPOINTER;
    if (node_->removed) return STG_E_REVERTED;
    if (!ModeReads(mode_)) return STG_E_ACCESSDENIED;
    const std::size_t n = doc_->ReadStream(*node_, position_, static_cast<std::uint8_t*>(buffer), count);
    position_ += n;
    if (read != nullptr) *read = static_cast<ULONG>(n);
    return S_OK;
  });
}

HRESULT CDocStream::Write(const void* data, ULONG count, ULONG* written) {
  return ComGuard([&]() -> HRESULT {
    if (written != nullptr) *written = 0;
    if (data == nullptr) return STG_E_INVALIDPOINTER;
    if (const HRESULT hr = CheckWritable(); FAILED(hr)) return hr;
    if (count == 0) return S_OK;
    if (position_ > kMaxSize || count > kMaxSize - position_) return STG_E_MEDIUMFULL;
    doc_->LoadStream(*node_);
    const std::size_t end = static_cast<std::size_t>(position_ + count);
    if (end > node_->data.size()) node_->data.resize(end);  // a gap after the old end reads as zeros
    std::memcpy(node_->data.data() + position_, data, count);
    node_->size = node_->data.size();
    position_ = end;
    doc_->MarkChanged();
    if (written != nullptr) *written = count;
    return S_OK;
  });
}

HRESULT CDocStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* new_position) {
  if (node_->removed) return STG_E_REVERTED;
  std::uint64_t base = 0;
  switch (origin) {
    case STREAM_SEEK_SET: base = 0; break;
    case STREAM_SEEK_CUR: base = position_; break;
    case STREAM_SEEK_END: base = node_->size; break;
    default: return STG_E_INVALIDFUNCTION;
  }
  const std::int64_t delta = move.QuadPart;
  if (delta < 0 && static_cast<std::uint64_t>(-(delta + 1)) >= base) return STG_E_INVALIDFUNCTION;
  const std::uint64_t target = base + static_cast<std::uint64_t>(delta);
  if (delta > 0 && target < base) return STG_E_INVALIDFUNCTION;  // past 2^64
  position_ = target;
  if (new_position != nullptr) new_position->QuadPart = position_;
  return S_OK;
}

HRESULT CDocStream::SetSize(ULARGE_INTEGER size) {
  return ComGuard([&]() -> HRESULT {
    if (const HRESULT hr = CheckWritable(); FAILED(hr)) return hr;
    if (size.QuadPart > kMaxSize) return STG_E_MEDIUMFULL;
    if (size.QuadPart == node_->size) return S_OK;
    doc_->LoadStream(*node_);
    node_->data.resize(static_cast<std::size_t>(size.QuadPart));
    node_->size = size.QuadPart;
    doc_->MarkChanged();
    return S_OK;
  });
}

HRESULT CDocStream::CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                           ULARGE_INTEGER* written) {
  return ComGuard([&]() -> HRESULT {
    if (read != nullptr) read->QuadPart = 0;
    if (written != nullptr) written->QuadPart = 0;
    if (target == nullptr) return STG_E_INVALIDPOINTER;
    constexpr std::size_t kPiece = 1 << 16;
    std::vector<std::uint8_t> buffer(kPiece);
    std::uint64_t left = count.QuadPart;
    while (left > 0) {
      ULONG got = 0;
      HRESULT hr = Read(buffer.data(), static_cast<ULONG>(std::min<std::uint64_t>(left, kPiece)), &got);
      if (FAILED(hr)) return hr;
      if (got == 0) break;
      if (read != nullptr) read->QuadPart += got;
      ULONG put = 0;
      hr = target->Write(buffer.data(), got, &put);
      if (written != nullptr) written->QuadPart += put;
      if (FAILED(hr)) return hr;
      left -= got;
    }
    return S_OK;
  });
}

HRESULT CDocStream::Commit(DWORD /*commit_flags*/) {
  return ComGuard([&]() -> HRESULT {
    if (node_->removed) return STG_E_REVERTED;
    if (ModeWrites(mode_)) doc_->Commit();
    return S_OK;
  });
}

// Direct mode: there is nothing to go back to.
HRESULT CDocStream::Revert() { return node_->removed ? STG_E_REVERTED : S_OK; }

// Streams of compound documents have no region locks.
HRESULT CDocStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return STG_E_INVALIDFUNCTION; }
HRESULT CDocStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return STG_E_INVALIDFUNCTION; }

HRESULT CDocStream::Stat(STATSTG* stat, DWORD stat_flag) {
  return ComGuard([&]() -> HRESULT {
    if (node_->removed) return STG_E_REVERTED;
    return FillStatStg(*node_, mode_, stat_flag, stat);
  });
}

HRESULT CDocStream::Clone(IStream** clone) {
  return ComGuard([&]() -> HRESULT {
    if (clone == nullptr) return STG_E_INVALIDPOINTER;
    *clone = nullptr;
    if (node_->removed) return STG_E_REVERTED;
    auto* copy = new CDocStream(doc_, node_, mode_);
    copy->position_ = position_;
    *clone = copy;
    return S_OK;
  });
}

}  // namespace recfilereader
