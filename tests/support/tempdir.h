// A private temporary directory for one test, removed with everything in it at the end.
#ifndef RECFILEREADER_TESTS_SUPPORT_TEMPDIR_H
#define RECFILEREADER_TESTS_SUPPORT_TEMPDIR_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace rectest {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// The shared folder beside the repository (corpus and references), or empty when absent.
std::filesystem::path SharedDir();

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_SUPPORT_TEMPDIR_H
