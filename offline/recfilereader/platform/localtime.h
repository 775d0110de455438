// The current local time as the 16-byte calendar record (year to millisecond).
#ifndef RECFILEREADER_PLATFORM_LOCALTIME_H
#define RECFILEREADER_PLATFORM_LOCALTIME_H

#include <array>
#include <cstdint>

#include "recfilereader/compat.h"

namespace recfilereader {

SYSTEMTIME LocalTimeNow();

// The record's 16 bytes: each field as two little-endian bytes, in field order.
std::array<std::uint8_t, 16> SystemTimeBytes(const SYSTEMTIME& time);

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_LOCALTIME_H
