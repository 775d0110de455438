// The block stream's faces. Users reach the stream through these; the loaders and the repair
// hold it by its primary table (CRecStream itself).
#ifndef RECFILEREADER_CONTAINER_RECSTREAMINTERFACES_H
#define RECFILEREADER_CONTAINER_RECSTREAMINTERFACES_H

#include <cstdint>

#include "recfilereader/compat.h"

namespace recfilereader {
struct RecBlock;
}

// Directions of IRECStreamRead::ReadBlock (the host-facing read directions are 1 and 2).
constexpr ULONG kBlockForward = 0;
constexpr ULONG kBlockBackward = 1;

struct IRECStream {
  virtual void OpenFile(const wchar_t* path) = 0;
  virtual void CreateFileW(const wchar_t* path) = 0;
  virtual void CloseFile() = 0;

 protected:
  ~IRECStream() = default;
};

struct IRECStreamAccess {
  // 1 read-only, 3 read and write, 0 closed.
  virtual std::uint32_t GetAccessMode() = 0;

 protected:
  ~IRECStreamAccess() = default;
};

struct IRECStreamRead {
  // kBlockForward: the block at the position, leaving the position just past it.
  // kBlockBackward: the block that ends at the position, leaving the position at its start.
  // Any other direction does nothing.
  virtual void ReadBlock(ULONG direction, recfilereader::RecBlock& block) = 0;

 protected:
  ~IRECStreamRead() = default;
};

struct IRECStreamReadRaw {
  virtual void ReadData(void* buffer, std::uint32_t count) = 0;

 protected:
  ~IRECStreamReadRaw() = default;
};

struct IRECStreamWriteRaw {
  virtual void WriteData(const void* buffer, std::uint32_t count) = 0;
  virtual void SetEndOfFile() = 0;

 protected:
  ~IRECStreamWriteRaw() = default;
};

#endif  // RECFILEREADER_CONTAINER_RECSTREAMINTERFACES_H
