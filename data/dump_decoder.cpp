#include "data/dump_decoder.h"

#include "runtime/exceptions.h"
#include "runtime/format_settings.h"
#include "runtime/number_format.h"

#include <cstdlib>

const std::array<const char *, 6> RATE_TEXTS = {"CADA 1 MINUTO",   "CADA 5 MINUTOS",  "CADA 10 MINUTOS",
                                                "CADA 15 MINUTOS", "CADA 30 MINUTOS", "CADA 60 MINUTOS"};
const std::array<int, 6> RATE_STEPS = {1, 5, 10, 15, 30, 60};

namespace {

// One digit of a line, position counted from 1. Anything but a decimal digit,
// or a position past the end of the line, goes through the runtime's own
// conversion so the user reads the program's usual message about that very
// character (an empty text for a missing one).
[[noreturn]] void BadDigit(std::string_view text) {
  StrToInt(text);  // raises for every text that reaches here
  throw EConvertError(FormatMessage1("'%s' is not a valid integer value", std::string(text)));
}

inline int Digit(std::string_view line, size_t position) {
  if (position > line.size()) BadDigit(std::string_view());
  const char c = line[position - 1];
  if (c < '0' || c > '9') BadDigit(std::string_view(&c, 1));
  return c - '0';
}

inline int TwoDigits(std::string_view line, size_t position) {
  const int tens = Digit(line, position);
  return tens * 10 + Digit(line, position + 1);
}

inline int ThreeDigits(std::string_view line, size_t position) {
  const int hundreds = Digit(line, position);
  const int tens = Digit(line, position + 1);
  return hundreds * 100 + tens * 10 + Digit(line, position + 2);
}

// Decimal text of any int; the buffers below always have room for it.
inline char *PutInt(char *out, int value) {
  char digits[12];
  int n = 0;
  long long v = value;
  if (v < 0) {
    *out++ = '-';
    v = -v;
  }
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v > 0);
  while (n > 0) *out++ = digits[--n];
  return out;
}

// Appends a field with the leading zero below 10; anything else (a damaged
// header can start the walk at minute 75 or hour 30) in plain decimal.
inline char *PutField(char *out, int value) {
  if (value >= 0 && value < 10) {
    *out++ = '0';
    *out++ = static_cast<char>('0' + value);
    return out;
  }
  return PutInt(out, value);
}

inline char *PutYear(char *out, int year) {
  *out++ = '2';
  *out++ = '0';
  if (year < 10) *out++ = '0';
  return PutInt(out, year);
}

inline char *PutDate(char *out, int day, int month, int year) {
  char *p = PutField(out, day);
  *p++ = '/';
  p = PutField(p, month);
  *p++ = '/';
  return PutYear(p, year);
}

inline char *PutTime(char *out, int hour, int minute, int second) {
  char *p = PutField(out, hour);
  *p++ = ':';
  p = PutField(p, minute);
  *p++ = ':';
  return PutField(p, second);
}

inline char *PutTemperature(char *out, int raw, char decimal) {
  // R / 10 with one decimal, done on the integer so no rounding can creep in.
  char *p = out;
  const long magnitude = std::labs(static_cast<long>(raw));
  if (raw < 0) *p++ = '-';
  p = PutInt(p, static_cast<int>(magnitude / 10));
  *p++ = decimal;
  *p++ = static_cast<char>('0' + magnitude % 10);
  return p;
}

// Room for any date, time or temperature text above.
constexpr int kTextRoom = 48;

// Day, month and year carries after the hour may have reached 24.
inline void CarryDay(int &hour, int &day, int &month, int &year) {
  if (hour == 24) {
    hour = 0;
    ++day;
  }
  if (day == VERIFICAR(month, year) + 1) {
    day = 1;
    ++month;
  }
  if (month == 13) {
    month = 1;
    ++year;
  }
}

std::string_view LineAt(const TDumpLines &lines, int index) {
  return index >= 0 && index < static_cast<int>(lines.size()) ? lines[index] : std::string_view();
}

}  // namespace

int VERIFICAR(int month, int year) {
  switch (month) {
    case 2: return year % 4 == 0 ? 29 : 28;
    case 4:
    case 6:
    case 9:
    case 11: return 30;
    default: return 31;
  }
}

std::string DateText(int day, int month, int year) {
  char buf[kTextRoom];
  return std::string(buf, PutDate(buf, day, month, year));
}

std::string TimeText(int hour, int minute, int second) {
  char buf[kTextRoom];
  return std::string(buf, PutTime(buf, hour, minute, second));
}

std::string TemperatureText(int raw) {
  char buf[kTextRoom];
  return std::string(buf, PutTemperature(buf, raw, FormatSettings().DecimalSeparator));
}

void TimeStampWalk(const TStartFields &start, int step, int records, TDataTable &table) {
  if (records <= 0) return;
  table.StoreRows(records + 1);  // grow the store once, not row by row
  int year = start.Year, month = start.Month, day = start.Day;
  int hour = start.Hour, minute = start.Minute;
  const int second = start.Second;
  // Only the 1-minute walk lacks the second carry: it cannot step past minute
  // 60 from a sound start, while the larger steps from a start minute that is
  // not a multiple of the step must (minute 57 plus 5 is minute 2 of the next
  // hour).
  const bool carryPastHour = step != 1;
  for (int r = 1; r <= records; ++r) {
    minute += step;
    if (minute == 60) {
      minute = 0;
      ++hour;
    }
    CarryDay(hour, day, month, year);
    if (carryPastHour && minute > 60) {
      minute -= 60;
      ++hour;
      CarryDay(hour, day, month, year);
    }
    char buf[kTextRoom];
    table.SetCells(1, r, std::string_view(buf, PutDate(buf, day, month, year) - buf));
    table.SetCells(2, r, std::string_view(buf, PutTime(buf, hour, minute, second) - buf));
  }
}

void VERPOR1MINUTO(const TStartFields &start, int records, TDataTable &table) {
  TimeStampWalk(start, 1, records, table);
}
void VERPOR5MINUTOS(const TStartFields &start, int records, TDataTable &table) {
  TimeStampWalk(start, 5, records, table);
}
void VERPOR10MINUTOS(const TStartFields &start, int records, TDataTable &table) {
  TimeStampWalk(start, 10, records, table);
}
void VERPOR15MINUTOS(const TStartFields &start, int records, TDataTable &table) {
  TimeStampWalk(start, 15, records, table);
}
void VERPOR30MINUTOS(const TStartFields &start, int records, TDataTable &table) {
  TimeStampWalk(start, 30, records, table);
}
void VERPOR60MINUTOS(const TStartFields &start, int records, TDataTable &table) {
  TimeStampWalk(start, 60, records, table);
}

void OBTIENEFECHAYHORA(const TDumpLines &lines, int records, TDataTable &table, TDumpHeader &header) {
  const std::string_view line = LineAt(lines, 0);
  // Everything is read before anything is stored: a bad header changes nothing.
  TStartFields f;
  f.Year = TwoDigits(line, 2);
  f.Month = TwoDigits(line, 5);
  f.Day = TwoDigits(line, 8);
  f.Second = TwoDigits(line, 11);
  f.Minute = TwoDigits(line, 14);
  f.Hour = TwoDigits(line, 17);
  const int code = Digit(line, 21);

  header.Start = f;
  if (code >= 1 && code <= 6) header.RateText = RATE_TEXTS[code - 1];
  header.StartDate = DateText(f.Day, f.Month, f.Year);
  header.StartTime = TimeText(f.Hour, f.Minute, f.Second);

  using Walk = void (*)(const TStartFields &, int, TDataTable &);
  static const std::array<Walk, 6> walks = {VERPOR1MINUTO,   VERPOR5MINUTOS,  VERPOR10MINUTOS,
                                            VERPOR15MINUTOS, VERPOR30MINUTOS, VERPOR60MINUTOS};
  for (size_t i = 0; i < RATE_TEXTS.size(); ++i)
    if (header.RateText == RATE_TEXTS[i]) walks[i](header.Start, records, table);
}

void MUESTRADATA(const TDumpLines &lines, int records, TDataTable &table) {
  const int last = records + 1;
  if (last < 1) return;
  table.StoreRows(last + 1);  // grow the store once
  const char decimal = FormatSettings().DecimalSeparator;
  int raw[Channels];
  for (int i = 1; i <= last; ++i) {
    const std::string_view line = LineAt(lines, i);
    // All sixteen convert before any is written: a bad line leaves its row
    // without values rather than half filled.
    for (int k = 0; k < Channels; ++k) {
      const size_t at = 6 * static_cast<size_t>(k) + 1;
      raw[k] = ThreeDigits(line, at) * 256 + ThreeDigits(line, at + 3) - 500;
    }
    for (int k = 0; k < Channels; ++k) {
      char buf[kTextRoom];
      table.SetCells(FirstValueColumn + k, i, std::string_view(buf, PutTemperature(buf, raw[k], decimal) - buf));
    }
  }
}

void DOSCANALESLM35(const TDumpLines &lines, TDataTable &table, TDumpHeader &header) {
  const int records = RecordCount(static_cast<int>(lines.size()));
  OBTIENEFECHAYHORA(lines, records, table, header);
  table.SetCells(1, 0, "FECHA:");
  table.SetCells(2, 0, "HORA:");
  for (int k = 1; k <= Channels; ++k) table.SetCells(FirstValueColumn + k - 1, 0, "CH" + std::to_string(k));
  if (records > 0) {
    table.StoreRows(records + 1);
    char buf[16];
    for (int r = 1; r <= records; ++r) table.SetCells(0, r, std::string_view(buf, PutInt(buf, r) - buf));
  }
  MUESTRADATA(lines, records, table);
}
