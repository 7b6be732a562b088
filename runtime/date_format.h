#pragma once

#include <string>
#include <string_view>

// A calendar moment broken into fields; the program never needs more.
struct TDateTimeParts {
  int Year = 2000, Month = 1, Day = 1;
  int Hour = 0, Minute = 0, Second = 0, MSec = 0;
};

// Format codes: d dd m mm yy yyyy h hh n nn s ss z zzz; "m"/"mm" right after
// an hour code means minutes; '/' writes the date separator and ':' the time
// separator of FormatSettings(); quoted text is copied.
std::string FormatDateTime(std::string_view format, const TDateTimeParts &t);

std::string TimeToStr(const TDateTimeParts &t);  // LongTimeFormat
std::string DateToStr(const TDateTimeParts &t);  // ShortDateFormat

// The PC clock, local time.
TDateTimeParts Now();
// The PC's local time at a moment given in milliseconds since the epoch.
TDateTimeParts LocalDateTime(long long msSinceEpoch);

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
