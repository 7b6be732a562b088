#pragma once

// Days and Gregorian dates, the one way the program counts them: the
// simulator's clock, the records' time stamps and the chart's time axis all
// go through here, so a leap day can never be counted twice or not at all.
// Standard library only, since the simulator stands alone.
//
// The arithmetic is H. Hinnant's civil-calendar algorithms: exact over the
// whole proleptic Gregorian calendar, no table, no time zone, no library
// clock involved.

#include <cstdint>

namespace civil {

struct TDate {
  std::int64_t Year = 1970;
  int Month = 1;  // 1..12
  int Day = 1;    // 1..31
};

constexpr bool IsLeapYear(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// 0 for a month outside 1..12, so a range check against it fails.
constexpr int DaysInMonth(std::int64_t year, int month) {
  constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1 January 1970 to the given date (negative before it). The day
// may run past its month's end: the 31st of April counts as 1 May.
constexpr std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yoe = year - era * 400;                                          // [0, 399]
  const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;  // from 1 March
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;                     // [0, 146096]
  return era * 146097 + doe - 719468;
}

constexpr TDate CivilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t doe = days - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  TDate date;
  date.Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  date.Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  date.Year = yoe + era * 400 + (date.Month <= 2 ? 1 : 0);
  return date;
}

}  // namespace civil
