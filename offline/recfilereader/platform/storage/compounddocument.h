// One open compound document: the element tree, the lock bytes it lives on and the way
// changes reach them.
//
// Commit mode: direct (no transactions). Every change is visible at once to every open
// element of the document, and Revert has nothing to undo. The tree is kept in memory and the
// whole document is written to the lock bytes, front to back in the layout of
// compoundwriter.h, by Commit of any storage or stream of the document and, if anything
// changed since, when its last element is released. Before the first write every stream
// still in the lock bytes is loaded, since the new layout overwrites the old one.
//
// Not thread-safe: a document and its elements are used by one thread at a time.
#ifndef RECFILEREADER_PLATFORM_STORAGE_COMPOUNDDOCUMENT_H
#define RECFILEREADER_PLATFORM_STORAGE_COMPOUNDDOCUMENT_H

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/storage/compoundnode.h"
#include "platform/storage/sectorchains.h"
#include "platform/storage/sectorfile.h"
#include "platform/storage/storageinterfaces.h"

namespace recfilereader {

class CCompoundDocument {
 public:
  // Both throw com_error. Create writes an empty document to the lock bytes at once.
  static std::shared_ptr<CCompoundDocument> Create(ILockBytes* lock_bytes);
  static std::shared_ptr<CCompoundDocument> Open(ILockBytes* lock_bytes, bool writable);

  CCompoundDocument(const CCompoundDocument&) = delete;
  CCompoundDocument& operator=(const CCompoundDocument&) = delete;
  // Writes pending changes (failures cannot be reported here) and releases the lock bytes.
  ~CCompoundDocument();

  const std::shared_ptr<CompoundNode>& root() const { return root_; }
  bool writable() const { return writable_; }

  // Follows and checks the chain of a stream still in the lock bytes, once. Throws
  // com_error(STG_E_DOCFILECORRUPT) when that stream is damaged; the others stay readable.
  void CheckStream(CompoundNode& stream);
  // Reads up to `count` bytes of a stream at `offset`; returns how many there were.
  std::size_t ReadStream(CompoundNode& stream, std::uint64_t offset, std::uint8_t* out,
                         std::size_t count);
  // Brings a stream's contents into memory so it can be changed.
  void LoadStream(CompoundNode& stream);

  void MarkChanged() { changed_ = true; }
  // Writes the document to the lock bytes when anything changed. Throws com_error; a damaged
  // stream still in the document fails it with STG_E_DOCFILECORRUPT (destroy it first).
  void Commit();

 private:
  CCompoundDocument(ILockBytes* lock_bytes, bool writable);
  void LoadAllStreams();
  void WriteBytes(std::uint64_t offset, const std::uint8_t* data, std::size_t count);

  ILockBytes* lock_bytes_;  // one reference held
  bool writable_;
  bool changed_ = false;
  std::uint16_t major_version_ = 3;
  SectorFile sectors_;
  SectorChains chains_;
  std::shared_ptr<CompoundNode> root_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_COMPOUNDDOCUMENT_H
