#include "platform/storage/compounddocument.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "base/exceptions.h"
#include "platform/hresults.h"
#include "platform/storage/compoundreader.h"
#include "platform/storage/compoundwriter.h"

namespace recfilereader {

CCompoundDocument::CCompoundDocument(ILockBytes* lock_bytes, bool writable)
    : lock_bytes_(lock_bytes), writable_(writable) {
  lock_bytes_->AddRef();
}

CCompoundDocument::~CCompoundDocument() {
  try {
    Commit();
  } catch (...) {
    // Nobody is left to tell; the lock bytes keep the last committed document.
  }
  lock_bytes_->Release();
}

std::shared_ptr<CCompoundDocument> CCompoundDocument::Create(ILockBytes* lock_bytes) {
  std::shared_ptr<CCompoundDocument> doc(new CCompoundDocument(lock_bytes, true));
  doc->root_ = std::make_shared<CompoundNode>();
  doc->root_->type = STGTY_STORAGE;
  doc->root_->name = u"Root Entry";
  doc->changed_ = true;
  doc->Commit();
  return doc;
}

std::shared_ptr<CCompoundDocument> CCompoundDocument::Open(ILockBytes* lock_bytes, bool writable) {
  LoadedDocument loaded = LoadCompoundDocument(lock_bytes);
  std::shared_ptr<CCompoundDocument> doc(new CCompoundDocument(lock_bytes, writable));
  doc->major_version_ = loaded.header.major_version;
  doc->sectors_ = std::move(loaded.sectors);
  doc->chains_ = std::move(loaded.chains);
  doc->root_ = std::move(loaded.root);
  return doc;
}

void CCompoundDocument::CheckStream(CompoundNode& stream) {
  if (stream.loaded || stream.source.checked) return;
  stream.source = chains_.Check(sectors_, stream.source.start, stream.size);
}

std::size_t CCompoundDocument::ReadStream(CompoundNode& stream, std::uint64_t offset,
                                          std::uint8_t* out, std::size_t count) {
  if (offset >= stream.size) return 0;
  CheckStream(stream);
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, stream.size - offset));
  if (stream.loaded) {
    std::memcpy(out, stream.data.data() + offset, n);
  } else {
    sectors_.ReadStream(stream.source, offset, out, n);
  }
  return n;
}

void CCompoundDocument::LoadStream(CompoundNode& stream) {
  if (stream.loaded) return;
  CheckStream(stream);
  std::vector<std::uint8_t> data(static_cast<std::size_t>(stream.size));
  sectors_.ReadStream(stream.source, 0, data.data(), data.size());
  stream.data = std::move(data);
  stream.source = StreamSource{};
  stream.loaded = true;
}

void CCompoundDocument::LoadAllStreams() {
  std::vector<CompoundNode*> pending{root_.get()};
  while (!pending.empty()) {
    CompoundNode* node = pending.back();
    pending.pop_back();
    if (!node->IsStorage()) LoadStream(*node);
    for (const auto& child : node->children) pending.push_back(child.get());
  }
}

void CCompoundDocument::WriteBytes(std::uint64_t offset, const std::uint8_t* data, std::size_t count) {
  for (std::size_t done = 0; done < count;) {
    const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(count - done, 0x40000000u));
    ULARGE_INTEGER at;
    at.QuadPart = offset + done;
    ULONG written = 0;
    HRESULT hr = lock_bytes_->WriteAt(at, data + done, piece, &written);
    if (SUCCEEDED(hr) && written != piece) hr = STG_E_WRITEFAULT;
    if (FAILED(hr)) throw com_error(hr);
    done += piece;
  }
}

void CCompoundDocument::Commit() {
  if (!writable_ || !changed_) return;
  LoadAllStreams();
  const CompoundImage image = BuildCompoundImage(*root_, major_version_);
  // Size first: a lock-bytes object that cannot hold the document fails before anything moves.
  ULARGE_INTEGER size;
  size.QuadPart = image.size;
  HRESULT hr = lock_bytes_->SetSize(size);
  if (FAILED(hr)) throw com_error(hr);
  WriteBytes(0, image.front.data(), image.front.size());
  // Each large stream, then zeros up to the next one: no stale bytes of the old layout stay.
  const std::vector<std::uint8_t> zeros(major_version_ == 4 ? 4096 : 512);
  for (std::size_t i = 0; i < image.large.size(); ++i) {
    const CompoundImage::Placed& piece = image.large[i];
    WriteBytes(piece.offset, piece.data->data(), piece.data->size());
    const std::uint64_t end = piece.offset + piece.data->size();
    const std::uint64_t next = i + 1 < image.large.size() ? image.large[i + 1].offset : image.size;
    WriteBytes(end, zeros.data(), static_cast<std::size_t>(next - end));
  }
  hr = lock_bytes_->Flush();
  if (FAILED(hr)) throw com_error(hr);
  changed_ = false;
}

}  // namespace recfilereader
