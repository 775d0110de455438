#include "platform/filetimeformat.h"

#include <cwchar>

namespace recfilereader {
namespace {

constexpr std::uint64_t kTicksPerMillisecond = 10000;
constexpr std::uint64_t kMillisecondsPerDay = 86400000;
// Days from 0000-03-01 (the proleptic Gregorian era start of the civil algorithm) to 1601-01-01.
constexpr std::int64_t kDaysTo1601 = 584694;

constexpr const wchar_t* kDayNames[] = {L"Sunday",   L"Monday", L"Tuesday", L"Wednesday",
                                        L"Thursday", L"Friday", L"Saturday"};
constexpr const wchar_t* kMonthNames[] = {L"January", L"February", L"March",     L"April",
                                          L"May",     L"June",     L"July",      L"August",
                                          L"September", L"October", L"November", L"December"};

// Civil date of a day count since 0000-03-01 (years begin in March so leap days come last).
void CivilFromDays(std::int64_t days, SystemTime& out) {
  const std::int64_t era = days / 146097;
  const std::int64_t day_of_era = days - era * 146097;
  const std::int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t month_from_march = (5 * day_of_year + 2) / 153;
  const std::int64_t month = month_from_march < 10 ? month_from_march + 3 : month_from_march - 9;
  out.day = static_cast<WORD>(day_of_year - (153 * month_from_march + 2) / 5 + 1);
  out.month = static_cast<WORD>(month);
  out.year = static_cast<WORD>(era * 400 + year_of_era + (month <= 2 ? 1 : 0));
}

}  // namespace

bool FileTimeToSystemTime(const FILETIME& time, SystemTime& out) {
  const std::uint64_t ticks = static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
  if (ticks >> 63 != 0) return false;
  const std::uint64_t milliseconds = ticks / kTicksPerMillisecond;
  const std::uint64_t days = milliseconds / kMillisecondsPerDay;
  std::uint64_t in_day = milliseconds % kMillisecondsPerDay;
  CivilFromDays(static_cast<std::int64_t>(days) + kDaysTo1601, out);
  out.day_of_week = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
  out.milliseconds = static_cast<WORD>(in_day % 1000);
  in_day /= 1000;
  out.second = static_cast<WORD>(in_day % 60);
  out.minute = static_cast<WORD>(in_day / 60 % 60);
  out.hour = static_cast<WORD>(in_day / 3600);
  return true;
}

std::wstring FormatLongDate(const SystemTime& time) {
  wchar_t buffer[64];
  std::swprintf(buffer, 64, L"%ls, %ls %u, %u", kDayNames[time.day_of_week % 7],
                kMonthNames[(time.month + 11) % 12], static_cast<unsigned>(time.day),
                static_cast<unsigned>(time.year));
  return buffer;
}

std::wstring FormatTime12(const SystemTime& time) {
  const unsigned hour = time.hour % 12 == 0 ? 12u : time.hour % 12u;
  wchar_t buffer[32];
  std::swprintf(buffer, 32, L"%u:%02u:%02u %ls", hour, static_cast<unsigned>(time.minute),
                static_cast<unsigned>(time.second), time.hour < 12 ? L"AM" : L"PM");
  return buffer;
}

std::wstring FormatFileTime(const FILETIME& time) {
  SystemTime calendar{};
  if (!FileTimeToSystemTime(time, calendar)) return std::wstring();
  return FormatLongDate(calendar) + L" " + FormatTime12(calendar);
}

}  // namespace recfilereader
