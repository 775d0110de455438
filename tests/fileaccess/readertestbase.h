// Shared set-up of the file reader tests: an in-memory file system, a fake owner with cache
// settings, and files filled with a recognisable pattern.
#ifndef RECFILEREADER_TESTS_FILEACCESS_READERTESTBASE_H
#define RECFILEREADER_TESTS_FILEACCESS_READERTESTBASE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fileaccess/cachingfilereader.h"
#include "support/fakeowner.h"
#include "support/memfilesystem.h"
#include "support/recbuilder.h"

namespace rectest {

constexpr std::uint32_t kEntry = 524288;  // the smallest entry size

inline std::vector<std::uint8_t> Pattern(std::size_t size) { return PlainPayload(size, 7); }

class ReaderTest : public ::testing::Test {
 protected:
  // Without a worker thread the test runs the worker's steps itself, on a clock it moves by
  // hand (now_us); a worker runs on the real clock.
  recfilereader::CachingFileReaderPlatform Platform(bool worker = false) {
    recfilereader::CachingFileReaderPlatform p;
    p.files = &files;
    p.start_worker = worker;
    p.memory_status = [this]() -> std::optional<std::uint64_t> { return available_memory; };
    if (!worker) p.clock = [this] { return now_us; };
    return p;
  }
  // Puts `bytes` at "f" and opens it with the owner's cache settings and no worker.
  recfilereader::CCachingFileReader& Open(std::vector<std::uint8_t> bytes) {
    files.Add(L"f", std::move(bytes));
    reader_ = std::make_unique<recfilereader::CCachingFileReader>(&owner, Platform());
    reader_->OpenFile(L"f");
    return *reader_;
  }
  std::vector<std::uint8_t> Read(recfilereader::CCachingFileReader& reader, std::uint64_t at, std::uint32_t count) {
    std::vector<std::uint8_t> out(count);
    reader.SetPosition(at);
    reader.ReadData(out.data(), count);
    return out;
  }
  static std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& v, std::uint64_t at, std::size_t count) {
    return {v.begin() + static_cast<std::ptrdiff_t>(at), v.begin() + static_cast<std::ptrdiff_t>(at + count)};
  }

  FakeOwner owner;
  MemFileSystem files;
  std::optional<std::uint64_t> available_memory;
  std::uint64_t now_us = 1;
  std::unique_ptr<recfilereader::CCachingFileReader> reader_;
};

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_FILEACCESS_READERTESTBASE_H
