// The file reader's internal faces, through which the block stream drives it. Each is a plain
// table of operations without reference counting; the owner holds the object by value. Sizes
// and positions are bytes; counts are 32-bit. Failures are exceptions of the library's family.
#ifndef RECFILEREADER_FILEACCESS_FILEINTERFACES_H
#define RECFILEREADER_FILEACCESS_FILEINTERFACES_H

#include <cstdint>

#include "recfilereader/compat.h"

struct IFile {
  // Closes any open file, then opens the existing file at `path`, for writing too when the
  // file allows it.
  virtual void OpenFile(const wchar_t* path) = 0;
  // Closes any open file, then creates a new file at `path`; fails when it exists.
  virtual void CreateFileW(const wchar_t* path) = 0;
  virtual void CloseFile() = 0;

 protected:
  ~IFile() = default;
};

struct IFileAccess {
  // Bit 0 readable, bit 1 writable: 0 closed, 1 read-only, 3 read and write.
  virtual std::uint32_t GetAccessMode() = 0;

 protected:
  ~IFileAccess() = default;
};

struct IFileNavigation {
  virtual std::uint64_t GetFileSize() = 0;
  virtual std::uint64_t GetPosition() = 0;
  // Tests no bound (reads do); always true.
  virtual bool SetPosition(std::uint64_t position) = 0;

 protected:
  ~IFileNavigation() = default;
};

struct IFileDataRead {
  // Reads `count` bytes at the position into `destination` and advances the position.
  virtual void ReadData(void* destination, std::uint32_t count) = 0;

 protected:
  ~IFileDataRead() = default;
};

struct IFileDataWrite {
  // Writes `count` bytes at the position, growing the file, and advances the position.
  virtual void WriteData(const void* source, std::uint32_t count) = 0;
  // Makes the position the end of the file.
  virtual void SetEndOfFile() = 0;

 protected:
  ~IFileDataWrite() = default;
};

#endif  // RECFILEREADER_FILEACCESS_FILEINTERFACES_H
