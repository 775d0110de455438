// The text of an operating-system or COM error code: "0x%08X " then the system's description,
// placeholders removed, at most 511 characters. errno values (below 0x10000) are described by
// strerror; HRESULTs the library raises by a table of English texts; others are
// "Unknown system error".
#ifndef RECFILEREADER_PLATFORM_SYSTEMERROR_H
#define RECFILEREADER_PLATFORM_SYSTEMERROR_H

#include <cstdint>
#include <string>

namespace recfilereader {

std::wstring SystemErrorText(std::uint32_t code);

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_SYSTEMERROR_H
