#include "fileheader.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <fstream>

namespace rectool {
namespace {

constexpr std::size_t kBlockHeaderSize = 32;
constexpr std::size_t kFileHeaderPayload = 48;
constexpr std::uint16_t kTypeFileHeader = 0xCBBF;
constexpr std::uint16_t kTypeFiller = 0xCBFA;
// Fillers may stand between the file header and the version block; a file with more than this
// many is not one we can name.
constexpr int kMostFillers = 64;

struct KnownFormat {
  const char* id;
  const char* name;
};
constexpr KnownFormat kFormats[] = {{"{FAF34133-87C1-4E34-B723-8EE4B27B29FA}", "first"},
                                    {"{E7EA9731-5011-46F0-A40A-DF92264B979F}", "second"},
                                    {"{F3CBB487-C14C-4D91-9465-A672EBB42972}", "third"}};

std::uint64_t Little(const unsigned char* bytes, int count) {
  std::uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
  return value;
}

std::string GuidAt(const unsigned char* b) {
  char out[40];
  std::snprintf(out, sizeof out, "{%08" PRIX64 "-%04" PRIX64 "-%04" PRIX64 "-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                Little(b, 4), Little(b + 4, 2), Little(b + 6, 2), b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return out;
}

std::string VersionOf(std::uint16_t type) {
  switch (type) {
    case 0xCBF1: return "1.0";
    case 0xCB01: return "2.0";
    case 0xCB02: return "2.1";
    default: return "unknown";
  }
}

}  // namespace

std::optional<FileHeader> ReadFileHeader(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  unsigned char head[kBlockHeaderSize + kFileHeaderPayload];
  if (!file.read(reinterpret_cast<char*>(head), sizeof head)) return std::nullopt;
  if (Little(head, 2) != kBlockHeaderSize || Little(head + 2, 2) != kTypeFileHeader ||
      Little(head + 28, 4) != kFileHeaderPayload)
    return std::nullopt;
  FileHeader header{GuidAt(head + kBlockHeaderSize), "unknown", "unknown"};
  for (const auto& known : kFormats)
    if (header.format_id == known.id) header.format_name = known.name;
  unsigned char block[kBlockHeaderSize];
  for (int i = 0; i <= kMostFillers && file.read(reinterpret_cast<char*>(block), sizeof block); ++i) {
    const auto type = static_cast<std::uint16_t>(Little(block + 2, 2));
    if (type != kTypeFiller) {
      header.version = VersionOf(type);
      break;
    }
    file.seekg(static_cast<std::streamoff>(Little(block + 28, 4)), std::ios::cur);
  }
  return header;
}

}  // namespace rectool
