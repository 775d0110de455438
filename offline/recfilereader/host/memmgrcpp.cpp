#include "host/memmgrcpp.h"

#include <cstdlib>
#include <utility>

namespace recfilereader {

CMemMgrCpp::~CMemMgrCpp() {
  // Blocks the host never gave back are freed with the reader.
  for (const auto& [block, count] : counts_) std::free(block);
}

void* CMemMgrCpp::Allocate(std::size_t size, DWORD /*flags*/) noexcept {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) return nullptr;
  try {
    counts_[block] = 1;
  } catch (...) {
    std::free(block);
    return nullptr;
  }
  return block;
}

void* CMemMgrCpp::Reallocate(void* block, std::size_t size) noexcept {
  if (block == nullptr) return Allocate(size, 0);
  const auto found = counts_.find(block);
  if (found == counts_.end()) return nullptr;
  void* moved = std::realloc(block, size == 0 ? 1 : size);
  if (moved == nullptr) return nullptr;  // the old block stays valid and recorded
  if (moved != block) {
    // The record moves as it is: re-keying its node allocates nothing, so the moved block can
    // never be lost between the heap and the table.
    auto record = counts_.extract(found);
    record.key() = moved;
    counts_.insert(std::move(record));
  }
  return moved;
}

void CMemMgrCpp::Lock(void* block) noexcept {
  const auto found = counts_.find(block);
  if (found != counts_.end()) ++found->second;
}

void CMemMgrCpp::Unlock(void* block) noexcept {
  const auto found = counts_.find(block);
  if (found == counts_.end()) return;
  if (--found->second <= 0) {
    std::free(found->first);
    counts_.erase(found);
  }
}

bool CMemMgrCpp::IsShared(void* block) noexcept {
  const auto found = counts_.find(block);
  return found != counts_.end() && found->second > 1;
}

}  // namespace recfilereader
