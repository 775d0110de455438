#include "properties/compositebuffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace recfilereader {
namespace {

std::uint8_t* MapPage() {
  void* page = mmap(nullptr, CCompositeBuffer::kPageSize, PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return page == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(page);
}

void UnmapPage(std::uint8_t* page) { munmap(page, CCompositeBuffer::kPageSize); }

}  // namespace

CCompositeBuffer::~CCompositeBuffer() { ReleasePagesFrom(0); }

void CCompositeBuffer::ReleasePagesFrom(std::size_t first) {
  for (std::size_t i = first; i < pages_.size(); ++i) UnmapPage(pages_[i]);
  pages_.resize(first < pages_.size() ? first : pages_.size());
}

bool CCompositeBuffer::Resize(std::size_t size) {
  const std::size_t needed = (size >> kPageShift) + ((size & (kPageSize - 1)) != 0 ? 1 : 0);
  if (needed < pages_.size()) ReleasePagesFrom(needed);
  if (needed > pages_.max_size()) return false;
  if (needed > pages_.size()) {
    const std::size_t held = pages_.size();
    try {
      pages_.reserve(needed);
    } catch (const std::bad_alloc&) {
      return false;
    }
    while (pages_.size() < needed) {
      std::uint8_t* page = MapPage();
      if (page == nullptr) {
        ReleasePagesFrom(held);
        return false;
      }
      pages_.push_back(page);
    }
  }
  // Fresh pages come zeroed; a page kept from before may hold bytes of an earlier, larger size.
  if (size > size_) {
    const std::size_t kept_end = std::min(size, pages_.size() * kPageSize);
    ForEachPiece(size_, kept_end - size_, [](std::uint8_t* p, std::size_t n, std::size_t) {
      std::memset(p, 0, n);
    });
  }
  size_ = size;
  return true;
}

template <class Copy>
void CCompositeBuffer::ForEachPiece(std::size_t offset, std::size_t count, Copy&& copy) const {
  std::size_t done = 0;
  while (done < count) {
    const std::size_t at = offset + done;
    const std::size_t in_page = at & (kPageSize - 1);
    const std::size_t piece = std::min(count - done, kPageSize - in_page);
    copy(pages_[at >> kPageShift] + in_page, piece, done);
    done += piece;
  }
}

bool CCompositeBuffer::Write(std::size_t offset, const void* data, std::size_t count) {
  if (offset > size_ || count > size_ - offset || (count > 0 && data == nullptr)) return false;
  const auto* source = static_cast<const std::uint8_t*>(data);
  ForEachPiece(offset, count, [source](std::uint8_t* p, std::size_t n, std::size_t done) {
    std::memcpy(p, source + done, n);
  });
  return true;
}

bool CCompositeBuffer::Read(std::size_t offset, void* buffer, std::size_t count) const {
  if (offset > size_ || count > size_ - offset || (count > 0 && buffer == nullptr)) return false;
  auto* target = static_cast<std::uint8_t*>(buffer);
  ForEachPiece(offset, count, [target](std::uint8_t* p, std::size_t n, std::size_t done) {
    std::memcpy(target + done, p, n);
  });
  return true;
}

}  // namespace recfilereader
