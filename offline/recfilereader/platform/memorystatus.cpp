#include "platform/memorystatus.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

namespace recfilereader {

std::optional<std::uint64_t> ParseMemAvailable(const char* text, std::size_t size) {
  const std::string_view all(text, size);
  constexpr std::string_view kKey = "MemAvailable:";
  std::size_t at = all.find(kKey);
  if (at == std::string_view::npos || (at != 0 && all[at - 1] != '\n')) return std::nullopt;
  at += kKey.size();
  while (at < all.size() && all[at] == ' ') ++at;
  std::uint64_t kib = 0;
  std::size_t digits = 0;
  for (; at < all.size() && all[at] >= '0' && all[at] <= '9' && digits < 18; ++at, ++digits) {
    kib = kib * 10 + static_cast<std::uint64_t>(all[at] - '0');
  }
  if (digits == 0) return std::nullopt;
  return kib * 1024;
}

std::optional<std::uint64_t> AvailableSystemMemory() {
  const int fd = ::open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  char text[4096];  // MemAvailable is among the first lines
  std::size_t size = 0;
  while (size < sizeof text) {
    const ssize_t n = ::read(fd, text + size, sizeof text - size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    size += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return ParseMemAvailable(text, size);
}

}  // namespace recfilereader
