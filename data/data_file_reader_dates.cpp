// Dates and times as spreadsheets write them, and the order of a date's day
// and month. "03/01/2026" is 3 January in Madrid and 1 March in New York; the
// file says which only through its other records: a field above 12 (a date
// that reads one way only), or records evenly spaced in one reading and not
// in the other. Nothing is taken on trust: a file that does not tell is
// refused, naming the first record that reads both ways.

#include "data/data_file_reader_state.h"

#include "data/record_values.h"
#include "runtime/date_format.h"

#include <cstdio>

namespace data_file_reader {

namespace {

// Splits "aa?bb?cccc" at one separator into three runs of digits.
bool ThreeRuns(std::string_view s, char &separator, std::string_view runs[3]) {
  const size_t a = s.find_first_of("-/.");
  if (a == std::string_view::npos) return false;
  separator = s[a];
  const size_t b = s.find(separator, a + 1);
  if (b == std::string_view::npos) return false;
  runs[0] = s.substr(0, a);
  runs[1] = s.substr(a + 1, b - a - 1);
  runs[2] = s.substr(b + 1);
  for (int i = 0; i < 3; ++i)
    if (!AllDigits(runs[i])) return false;
  return true;
}

const char *const kMonths[] = {"enero", "febrero", "marzo",     "abril",   "mayo",      "junio",
                               "julio", "agosto",  "setiembre", "octubre", "noviembre", "diciembre"};

}  // namespace

long long DigitsValue(std::string_view digits) {
  long long value = 0;
  for (size_t i = 0; i < digits.size() && i < 12; ++i) value = value * 10 + (digits[i] - '0');
  return value;
}

bool ParseCellDate(std::string_view s, TCellDate &date) {
  char separator = 0;
  std::string_view runs[3];
  if (!ThreeRuns(s, separator, runs)) return false;
  auto shortRun = [](std::string_view r) { return r.size() == 1 || r.size() == 2; };
  if (runs[0].size() == 4 && shortRun(runs[1]) && shortRun(runs[2])) {
    date.Order = TCellDate::YearFirst;
    date.Year = static_cast<int>(DigitsValue(runs[0]));
    date.First = static_cast<int>(DigitsValue(runs[1]));
    date.Second = static_cast<int>(DigitsValue(runs[2]));
    return true;
  }
  if (runs[2].size() != 4 || !shortRun(runs[0]) || !shortRun(runs[1])) return false;
  // Dots are the day-first locales' (de-DE "30.01.2026"); no locale writes
  // the month first with them.
  date.Order = separator == '.' ? TCellDate::DayFirst : TCellDate::Either;
  date.First = static_cast<int>(DigitsValue(runs[0]));
  date.Second = static_cast<int>(DigitsValue(runs[1]));
  date.Year = static_cast<int>(DigitsValue(runs[2]));
  return true;
}

bool ParseCellTime(std::string_view s, TCellTime &time) {
  const size_t a = s.find(':');
  if (a == std::string_view::npos || a == 0 || a > 2 || !AllDigits(s.substr(0, a))) return false;
  const std::string_view rest = s.substr(a + 1);
  if (rest.size() != 2 && rest.size() != 5) return false;
  if (!AllDigits(rest.substr(0, 2))) return false;
  time.Hour = static_cast<int>(DigitsValue(s.substr(0, a)));
  time.Minute = static_cast<int>(DigitsValue(rest.substr(0, 2)));
  time.Second = 0;
  if (rest.size() == 5) {
    if (rest[2] != ':' || !AllDigits(rest.substr(3, 2))) return false;
    time.Second = static_cast<int>(DigitsValue(rest.substr(3, 2)));
  }
  return true;
}

std::string DateProblem(long long day, long long month, long long year) {
  if (year < 1 || year > 9999) return "no hay año " + std::to_string(year);
  if (month < 1 || month > 12) return "no hay mes " + std::to_string(month);
  const int days = DaysInMonth(static_cast<int>(year), static_cast<int>(month));
  if (day < 1 || day > days)
    return std::string(kMonths[month - 1]) + " de " + std::to_string(year) + " tiene " + std::to_string(days) + " días";
  return std::string();
}

std::string TimeProblem(long long hour, long long minute, long long second) {
  if (hour > 23) return "las horas van de 00 a 23";
  if (minute > 59) return "los minutos van de 00 a 59";
  if (second > 59) return "los segundos van de 00 a 59";
  return std::string();
}

}  // namespace data_file_reader

using namespace data_file_reader;

namespace {

bool Real(int day, int month, int year) { return DateProblem(day, month, year).empty(); }

}  // namespace

void TDataFileParser::TState::PutDate(int row, const TCellDate &date, int column, const std::string &what,
                                      const TCellTime *time) {
  if (date.Order != TCellDate::Either) {
    TStamp stamp;
    stamp.Year = date.Year;
    stamp.Month = date.Order == TCellDate::YearFirst ? date.First : date.Second;
    stamp.Day = date.Order == TCellDate::YearFirst ? date.Second : date.First;
    const std::string problem = DateProblem(stamp.Day, stamp.Month, stamp.Year);
    if (!problem.empty()) Fail(LineNo, column, what + " no existe: " + problem);
    Table.SetCells(1, row, ProgramDateText(stamp));
    return;
  }
  const bool dayFirst = Real(date.First, date.Second, date.Year);
  const bool monthFirst = Real(date.Second, date.First, date.Year);
  if (!dayFirst && !monthFirst) Fail(LineNo, column, what + " no existe, ni como día/mes/año ni como mes/día/año");
  if (dayFirst != monthFirst) {
    // This record says which; one that said the other way is a file of two
    // minds, and neither can be trusted.
    int &mine = dayFirst ? DayFirstLine : MonthFirstLine;
    const int other = dayFirst ? MonthFirstLine : DayFirstLine;
    if (other)
      Fail(LineNo, column,
           what + " solo se lee como " + (dayFirst ? "día/mes/año" : "mes/día/año") + ", pero la de la línea " +
               std::to_string(other) + " solo como " + (dayFirst ? "mes/día/año" : "día/mes/año"));
    if (!mine) mine = LineNo;
  }
  TPendingDate pending{};
  pending.Line = LineNo;
  pending.Column = column;
  pending.Row = row;
  pending.First = static_cast<std::uint8_t>(date.First);
  pending.Second = static_cast<std::uint8_t>(date.Second);
  pending.Year = static_cast<std::int16_t>(date.Year);
  pending.Seconds = time ? time->Hour * 3600 + time->Minute * 60 + time->Second : 0;
  Pending.push_back(pending);
}

void TDataFileParser::TState::ResolveDateOrder() {
  if (Pending.empty()) return;
  bool dayFirst = DayFirstLine > 0;
  if (!dayFirst && MonthFirstLine == 0) {
    const TPendingDate *differs = nullptr;
    for (const TPendingDate &p : Pending)
      if (p.First != p.Second) {
        differs = &p;
        break;
      }
    if (differs) {
      // Evenly spaced records in one reading only: the logger records at a
      // steady rate, and a reading that jumps a month at midnight is not it.
      auto regular = [&](bool df) {
        std::int64_t step = 0;
        for (size_t i = 0; i < Pending.size(); ++i) {
          const TPendingDate &p = Pending[i];
          const TStamp s{p.Year, df ? p.Second : p.First, df ? p.First : p.Second, 0, 0, 0};
          const std::int64_t at = StampSeconds(s) + p.Seconds;
          if (i > 0) {
            const TPendingDate &q = Pending[i - 1];
            const TStamp t{q.Year, df ? q.Second : q.First, df ? q.First : q.Second, 0, 0, 0};
            const std::int64_t d = at - (StampSeconds(t) + q.Seconds);
            if (d <= 0 || (i > 1 && d != step)) return false;
            step = d;
          }
        }
        return Pending.size() > 1;
      };
      const bool dm = regular(true), md = regular(false);
      if (dm == md) {
        char text[16];
        std::snprintf(text, sizeof text, "%02d/%02d/%04d", differs->First, differs->Second, differs->Year);
        Fail(differs->Line, differs->Column,
             std::string("no se sabe si la fecha \"") + text +
                 "\" es día/mes/año o mes/día/año: ninguna fecha del archivo pasa de 12 en el día o el mes y los "
                 "registros " +
                 (dm ? "quedan igual de espaciados" : "no quedan a intervalos regulares") +
                 " de las dos maneras. Guarde las fechas como aaaa-mm-dd (o dd.mm.aaaa) y vuelva a abrirlo");
      }
      dayFirst = dm;
    } else {
      dayFirst = true;  // every date reads the same both ways
    }
  }
  for (const TPendingDate &p : Pending) {
    const TStamp s{p.Year, dayFirst ? p.Second : p.First, dayFirst ? p.First : p.Second, 0, 0, 0};
    Table.SetCells(1, p.Row, ProgramDateText(s));
  }
  Pending.clear();
  Pending.shrink_to_fit();
}
