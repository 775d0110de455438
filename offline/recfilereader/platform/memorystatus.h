// How much memory the system can still give: MemAvailable of /proc/meminfo, which stands for
// both the available physical memory and the available paging-file memory.
#ifndef RECFILEREADER_PLATFORM_MEMORYSTATUS_H
#define RECFILEREADER_PLATFORM_MEMORYSTATUS_H

#include <cstddef>
#include <cstdint>
#include <optional>

namespace recfilereader {

// Available memory in bytes, or nothing when it cannot be found out.
std::optional<std::uint64_t> AvailableSystemMemory();

// The parser behind it, for the text of /proc/meminfo.
std::optional<std::uint64_t> ParseMemAvailable(const char* text, std::size_t size);

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_MEMORYSTATUS_H
