// Helpers of the compound-document tests: documents in memory lock bytes, a full walk of a
// document, and running the independent peers (python3-olefile, gsf).
#ifndef RECFILEREADER_TESTS_PLATFORM_STORAGE_STORAGETESTUTIL_H
#define RECFILEREADER_TESTS_PLATFORM_STORAGE_STORAGETESTUTIL_H

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/storage/comobject.h"
#include "platform/storage/storageinterfaces.h"

namespace rectest {

using recfilereader::ComPtr;

ComPtr<ILockBytes> MemoryLockBytes(const std::vector<std::uint8_t>& bytes = {});
std::vector<std::uint8_t> ContentsOf(ILockBytes* lock_bytes);

// Opens `bytes` as a document; the result of StgOpenStorageOnILockBytes.
HRESULT OpenDocument(const std::vector<std::uint8_t>& bytes, ComPtr<IStorage>* root,
                     DWORD mode = STGM_READ | STGM_SHARE_EXCLUSIVE);

struct Element {
  std::string path;  // names joined with '/', UTF-8
  bool storage = false;
  std::uint64_t size = 0;
  std::uint32_t crc = 0;  // CRC-32 of a stream's bytes
  bool operator==(const Element&) const = default;
};

// Every element under `root`, depth first in enumeration order, each stream read whole.
// With `skip_damaged`, streams that fail to open as damaged are left out instead of failing.
HRESULT WalkDocument(IStorage* root, std::vector<Element>* out, bool skip_damaged = false,
                     const std::string& prefix = "");
// The paths WalkDocument gives, which it must give without failing.
std::vector<std::string> ElementPaths(IStorage* root);
// Opens and walks `bytes`, expecting both to succeed; sorted by path when `sorted`.
std::vector<Element> ListDocument(const std::vector<std::uint8_t>& bytes, bool sorted = false);

std::vector<std::uint8_t> ReadStreamAt(IStorage* storage, const wchar_t* name);
void WriteStream(IStorage* storage, const wchar_t* name, const std::vector<std::uint8_t>& data);

// Byte i is (seed + i * 7) mod 256.
std::vector<std::uint8_t> Pattern(std::size_t count, std::uint8_t seed);
std::uint32_t Crc32(const std::vector<std::uint8_t>& bytes);

// Runs a shell command; its standard output, and its exit status in `status`.
std::string RunCommand(const std::string& command, int* status);

// The peers, when installed (empty otherwise).
std::string PythonWithOlefile();
std::string GsfProgram();

// What python3-olefile lists of `file` cut after each of `cuts` bytes, sorted by path: the
// elements it reads without an error. Without cuts, the whole file under the key of its size,
// and any error fails; `strict` makes olefile raise on every defect and parsing issue it knows.
std::map<std::size_t, std::vector<Element>> OlefileListings(const std::string& python,
                                                             const std::filesystem::path& file, bool strict,
                                                             const std::vector<std::size_t>& cuts = {});

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_PLATFORM_STORAGE_STORAGETESTUTIL_H
