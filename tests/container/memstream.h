// The container tests' stream: a CRecStream over a file kept in memory, with the cache as the
// owner's settings ask and its worker only where a test wants one.
#ifndef RECFILEREADER_TESTS_CONTAINER_MEMSTREAM_H
#define RECFILEREADER_TESTS_CONTAINER_MEMSTREAM_H

#include <memory>

#include "container/recstream.h"
#include "support/fakeowner.h"
#include "support/memfilesystem.h"

namespace rectest {

struct MemStream {
  // Opens the file `name` holding `bytes`, or creates it empty when `bytes` is null.
  recfilereader::CRecStream& Open(const wchar_t* name, const std::vector<std::uint8_t>* bytes, bool worker = false) {
    if (bytes != nullptr) files.Add(name, *bytes);
    recfilereader::CachingFileReaderPlatform platform;
    platform.files = &files;
    platform.start_worker = worker;
    stream = std::make_unique<recfilereader::CRecStream>(&owner, platform);
    bytes != nullptr ? stream->OpenFile(name) : stream->CreateFileW(name);
    return *stream;
  }

  FakeOwner owner;
  MemFileSystem files;
  std::unique_ptr<recfilereader::CRecStream> stream;
};

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_CONTAINER_MEMSTREAM_H
