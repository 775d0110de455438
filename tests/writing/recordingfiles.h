// What the repair and extraction tests share: interrupted recordings built block by block
// (independently of the library's writer) with their sources up front, a host reading the
// packages back through the public interfaces, and a file system that fails or shortens the
// n-th write.
#ifndef RECFILEREADER_TESTS_WRITING_RECORDINGFILES_H
#define RECFILEREADER_TESTS_WRITING_RECORDINGFILES_H

#include <cerrno>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "container/recfilelayout.h"
#include "platform/file.h"
#include "recfilereader/recfilereader.h"
#include "sources/fileconfigsaver.h"
#include "support/hostreader.h"
#include "support/recbuilder.h"

namespace rectest {

using Bytes = std::vector<std::uint8_t>;

struct Package {
  ULONG source = 0;
  std::uint64_t timestamp = 0;
  Bytes data;
  bool operator==(const Package&) const = default;
};

// Small packages, and every eighth a large one, so that copies and scans meet both kinds.
inline Package SamplePackage(std::size_t i) {
  const std::size_t size = i % 8 == 3 ? 600'000 : 1 + (i * 37) % 300;
  return {ULONG(1 + i % 3), 1'000 + 20'000 * i, PlainPayload(size, std::uint8_t(i))};
}

struct Layout {
  GUID format = recfilereader::kRecFormatFirst;
  std::size_t index_size = recfilereader::kSectionIndex21Size;  // 0: a 1.0 file
  bool config = true;
  std::vector<std::uint64_t> markers{};
};

struct Built {
  Bytes bytes;
  std::vector<std::uint64_t> data;  // offsets of the data blocks
};

// A recording whose writer stopped after `count` sample packages: head, sources, markers, data.
inline Built BuildRecording(std::size_t count, const Layout& layout = {}) {
  using namespace recfilereader;
  RecBuilder b;
  Built built;
  b.Add({.type = kBlockFileHeader, .payload = RecFileHeader::Encode(layout.format)});
  const bool v20 = layout.index_size == kSectionIndex20Size;
  if (layout.index_size != 0)
    b.Add({.type = v20 ? kBlockSectionIndex20 : kBlockSectionIndex21, .payload = EncodeSectionIndex({}, layout.index_size)});
  Bytes config;
  CFileConfigSaver().SaveFileConfig(nullptr, {}, config);
  if (layout.config) b.Add({.type = kBlockConfiguration, .payload = config});
  for (std::uint64_t marker : layout.markers) {
    Bytes payload(32);
    PutLe(payload, 0, marker, 8);
    b.Add({.type = kBlockMarker, .payload = payload});
  }
  for (std::size_t i = 0; i < count; ++i) {
    const Package p = SamplePackage(i);
    built.data.push_back(b.Add({.type = kBlockData, .sequence = i, .link = p.timestamp, .tag = p.source, .payload = p.data}));
  }
  built.bytes = b.bytes();
  return built;
}

inline std::vector<Package> SamplePackages(std::size_t from, std::size_t to) {
  std::vector<Package> packages;
  while (from < to) packages.push_back(SamplePackage(from++));
  return packages;
}

// The shared host's reader, reading whole recordings.
class Reader : public HostReader {
 public:
  // Every package of the recording at `path`, forward; none when it does not open.
  std::vector<Package> Packages(const std::filesystem::path& path) {
    std::vector<Package> packages;
    if (!reader()->Open(path.wstring().c_str(), 1)) return packages;
    for (HostPackage p; Read(kReadForward, p);) packages.push_back({p.source, p.timestamp, std::move(p.data)});
    reader()->Close();
    return packages;
  }
};

// Aborts whenever asked.
struct AlwaysAbort final : IAbort {
  bool IsAborted() override { return true; }
  bool Sleep(DWORD) override { return false; }
  bool WaitForObject(HANDLE, DWORD, DWORD*) override { return false; }
  bool WaitForObjects(DWORD, const HANDLE*, DWORD, DWORD*) override { return false; }
};

// The disk, except that the write or copy call numbered `fail_at` (from 1) fails or stops halfway.
class FaultyFiles final : public recfilereader::FileSystem {
 public:
  using File = recfilereader::PlatformFile;
  int writes = 0, fail_at = 0;
  bool short_write = false;

  // Starts counting afresh, to fail (or stop short) the write numbered `n`.
  void Arm(int n, bool short_stop) { writes = 0, fail_at = n, short_write = short_stop; }

  bool IsWritable(const std::wstring& path) override { return disk().IsWritable(path); }
  int Open(const std::wstring& path, recfilereader::FileAccess access, std::shared_ptr<File>& file) override {
    return Wrap(disk().Open(path, access, file), file);
  }
  int CreateNew(const std::wstring& path, std::shared_ptr<File>& file) override {
    return Wrap(disk().CreateNew(path, file), file);
  }

 private:
  struct Faulty final : File {
    Faulty(FaultyFiles& f, std::shared_ptr<File> i) : files(f), inner(std::move(i)) {}
    recfilereader::IoResult ReadAt(std::uint64_t at, void* to, std::size_t n) override { return inner->ReadAt(at, to, n); }
    recfilereader::IoResult WriteAt(std::uint64_t at, const void* from, std::size_t n) override {
      const std::optional<std::size_t> allowed = Allowed(n);
      return allowed ? inner->WriteAt(at, from, *allowed) : recfilereader::IoResult{0, EIO};
    }
    int GetSize(std::uint64_t& size) override { return inner->GetSize(size); }
    int Truncate(std::uint64_t size) override { return inner->Truncate(size); }
    // A copy counts as one write, which fails or stops halfway in the kernel's copy.
    recfilereader::IoResult CopyFrom(File& source, std::uint64_t from, std::uint64_t at, std::size_t n) override {
      const std::optional<std::size_t> allowed = Allowed(n);
      return allowed ? inner->CopyFrom(source, from, at, *allowed) : recfilereader::IoResult{0, EIO};
    }
    // The bytes of `n` this write may write: all, or half when it is the one that stops short;
    // none when it is the one that fails.
    std::optional<std::size_t> Allowed(std::size_t n) {
      if (++files.writes != files.fail_at) return n;
      if (files.short_write && n > 1) return n / 2;
      return std::nullopt;
    }
    FaultyFiles& files;
    std::shared_ptr<File> inner;
  };
  static recfilereader::FileSystem& disk() { return recfilereader::PosixFileSystem(); }
  int Wrap(int error, std::shared_ptr<File>& file) {
    if (error == 0) file = std::make_shared<Faulty>(*this, file);
    return error;
  }
};

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_WRITING_RECORDINGFILES_H
