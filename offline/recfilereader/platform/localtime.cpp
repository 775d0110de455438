#include "platform/localtime.h"

#include <ctime>

#include "platform/bytes.h"

namespace recfilereader {

SYSTEMTIME LocalTimeNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(local.tm_year + 1900);
  time.wMonth = static_cast<WORD>(local.tm_mon + 1);
  time.wDayOfWeek = static_cast<WORD>(local.tm_wday);
  time.wDay = static_cast<WORD>(local.tm_mday);
  time.wHour = static_cast<WORD>(local.tm_hour);
  time.wMinute = static_cast<WORD>(local.tm_min);
  time.wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);
  time.wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
  return time;
}

std::array<std::uint8_t, 16> SystemTimeBytes(const SYSTEMTIME& time) {
  const WORD fields[8] = {time.wYear, time.wMonth, time.wDayOfWeek, time.wDay,
                          time.wHour, time.wMinute, time.wSecond, time.wMilliseconds};
  std::array<std::uint8_t, 16> bytes{};
  for (int i = 0; i < 8; ++i) StoreLe16(bytes.data() + 2 * i, fields[i]);
  return bytes;
}

}  // namespace recfilereader
