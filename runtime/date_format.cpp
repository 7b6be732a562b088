#include "runtime/date_format.h"

#include "runtime/format_settings.h"

#include <QDateTime>

#include <cctype>
#include <cstdio>

namespace {

std::string Pad(int v, int width) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*d", width, v);
  return buf;
}

}  // namespace

std::string FormatDateTime(std::string_view format, const TDateTimeParts &t) {
  const TFormatSettings &fs = FormatSettings();
  std::string out;
  bool lastWasHour = false;
  size_t i = 0;
  auto run = [&](char c) {
    size_t n = 0;
    while (i + n < format.size() && std::tolower(static_cast<unsigned char>(format[i + n])) == c) ++n;
    return n;
  };
  while (i < format.size()) {
    const char raw = format[i];
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(raw)));
    if (raw == '"' || raw == '\'') {
      const auto end = format.find(raw, i + 1);
      const size_t stop = end == std::string_view::npos ? format.size() : end;
      out.append(format.substr(i + 1, stop - i - 1));
      i = stop == format.size() ? stop : stop + 1;
      continue;
    }
    if (c == 'y') {
      const size_t n = run('y');
      out += n <= 2 ? Pad(t.Year % 100, 2) : Pad(t.Year, 4);
      i += n;
      lastWasHour = false;
    } else if (c == 'm') {
      const size_t n = run('m');
      const int v = lastWasHour ? t.Minute : t.Month;
      out += n >= 2 ? Pad(v, 2) : std::to_string(v);
      i += n;
      lastWasHour = false;
    } else if (c == 'd') {
      const size_t n = run('d');
      out += n >= 2 ? Pad(t.Day, 2) : std::to_string(t.Day);
      i += n;
      lastWasHour = false;
    } else if (c == 'h') {
      const size_t n = run('h');
      out += n >= 2 ? Pad(t.Hour, 2) : std::to_string(t.Hour);
      i += n;
      lastWasHour = true;
    } else if (c == 'n') {
      const size_t n = run('n');
      out += n >= 2 ? Pad(t.Minute, 2) : std::to_string(t.Minute);
      i += n;
      lastWasHour = false;
    } else if (c == 's') {
      const size_t n = run('s');
      out += n >= 2 ? Pad(t.Second, 2) : std::to_string(t.Second);
      i += n;
      lastWasHour = false;
    } else if (c == 'z') {
      const size_t n = run('z');
      out += n >= 3 ? Pad(t.MSec, 3) : std::to_string(t.MSec);
      i += n;
      lastWasHour = false;
    } else if (raw == '/') {
      out += fs.DateSeparator;
      ++i;
    } else if (raw == ':') {
      out += fs.TimeSeparator;
      ++i;
    } else {
      out += raw;
      ++i;
    }
  }
  return out;
}

std::string TimeToStr(const TDateTimeParts &t) { return FormatDateTime(FormatSettings().LongTimeFormat, t); }
std::string DateToStr(const TDateTimeParts &t) { return FormatDateTime(FormatSettings().ShortDateFormat, t); }

TDateTimeParts Now() { return LocalDateTime(QDateTime::currentMSecsSinceEpoch()); }

TDateTimeParts LocalDateTime(long long msSinceEpoch) {
  const QDateTime t = QDateTime::fromMSecsSinceEpoch(msSinceEpoch);
  const QDate d = t.date();
  const QTime tm = t.time();
  TDateTimeParts p;
  p.Year = d.year();
  p.Month = d.month();
  p.Day = d.day();
  p.Hour = tm.hour();
  p.Minute = tm.minute();
  p.Second = tm.second();
  p.MSec = tm.msec();
  return p;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}
