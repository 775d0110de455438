// FILETIME values as English text, without the platform's locale functions: the long date
// ("Saturday, December 5, 2026") and the 12-hour time ("5:18:24 PM") of the value as it is
// (UTC, never converted to local time).
#ifndef RECFILEREADER_PLATFORM_FILETIMEFORMAT_H
#define RECFILEREADER_PLATFORM_FILETIMEFORMAT_H

#include <string>

#include "recfilereader/compat.h"

namespace recfilereader {

// Calendar fields of a FILETIME, as FileTimeToSystemTime gives them.
struct SystemTime {
  WORD year;
  WORD month;         // 1-12
  WORD day_of_week;   // 0 = Sunday
  WORD day;           // 1-31
  WORD hour;
  WORD minute;
  WORD second;
  WORD milliseconds;
};

// False for values with the top bit set (beyond year 30827), which have no calendar form.
bool FileTimeToSystemTime(const FILETIME& time, SystemTime& out);

// "Saturday, December 5, 2026"
std::wstring FormatLongDate(const SystemTime& time);
// "5:18:24 PM": hour without a leading zero, 12 for noon and midnight.
std::wstring FormatTime12(const SystemTime& time);
// Long date, a blank, the time; empty for a value without a calendar form.
std::wstring FormatFileTime(const FILETIME& time);

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_FILETIMEFORMAT_H
