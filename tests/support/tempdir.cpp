#include "support/tempdir.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace rectest {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "rectest-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path SharedDir() {
  const char* configured = std::getenv("RECFILEREADER_SHARED_DIR");
  if (configured == nullptr) return {};
  std::filesystem::path dir(configured);
  std::error_code ec;
  return std::filesystem::is_directory(dir, ec) ? std::filesystem::canonical(dir, ec) : std::filesystem::path{};
}

}  // namespace rectest
