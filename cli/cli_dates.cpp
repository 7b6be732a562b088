#include "cli/cli_dates.h"

#include "cli/cli_errors.h"
#include "runtime/date_format.h"

#include <cstddef>

namespace {

const char *const kMonthNames[] = {"enero", "febrero", "marzo",      "abril",   "mayo",      "junio",
                                   "julio", "agosto",  "septiembre", "octubre", "noviembre", "diciembre"};

// Reads `least` to `most` digits at `at`; false when there are fewer.
bool Digits(const std::string &text, std::size_t &at, std::size_t least, std::size_t most, int &value) {
  std::size_t n = 0;
  value = 0;
  while (at < text.size() && n < most && text[at] >= '0' && text[at] <= '9') {
    value = value * 10 + (text[at] - '0');
    ++at;
    ++n;
  }
  return n >= least;
}

bool Char(const std::string &text, std::size_t &at, char c) {
  if (at >= text.size() || text[at] != c) return false;
  ++at;
  return true;
}

[[noreturn]] void Refuse(const std::string &option, const std::string &text, const std::string &why) {
  throw ECliUsage(option + ": \"" + text + "\" " + why);
}

}  // namespace

TStamp ParseCliStamp(const std::string &option, const std::string &text, TRangeEnd end) {
  const std::string forms =
      "no es una fecha: se escribe AAAA-MM-DD[THH:MM[:SS]] (2026-03-01T10:30) o dd/mm/aaaa[ hh:mm[:ss]] "
      "(01/03/2026 10:30).";
  TStamp s;
  std::size_t at = 0;
  const bool iso = text.size() > 4 && text[4] == '-';
  if (iso) {
    if (!Digits(text, at, 4, 4, s.Year) || !Char(text, at, '-') || !Digits(text, at, 2, 2, s.Month) ||
        !Char(text, at, '-') || !Digits(text, at, 2, 2, s.Day))
      Refuse(option, text, forms);
  } else if (!Digits(text, at, 1, 2, s.Day) || !Char(text, at, '/') || !Digits(text, at, 1, 2, s.Month) ||
             !Char(text, at, '/') || !Digits(text, at, 4, 4, s.Year)) {
    Refuse(option, text, forms);
  }
  // How much of the time was given: none, hours and minutes, or all of it.
  int given = 0;
  if (at < text.size()) {
    // ISO's "T", or a blank as people (and the program) write it.
    if (!(Char(text, at, iso ? 'T' : ' ') || (iso && Char(text, at, ' '))) || !Digits(text, at, 1, 2, s.Hour) ||
        !Char(text, at, ':') || !Digits(text, at, 2, 2, s.Minute))
      Refuse(option, text, forms);
    given = 1;
    if (at < text.size()) {
      if (!Char(text, at, ':') || !Digits(text, at, 2, 2, s.Second)) Refuse(option, text, forms);
      given = 2;
    }
    if (at != text.size()) Refuse(option, text, forms);
  }
  if (s.Year < 1 || s.Month < 1 || s.Month > 12)
    Refuse(option, text, "no es una fecha real: el mes va de 01 a 12 y el año de 0001 a 9999.");
  if (s.Day < 1 || s.Day > DaysInMonth(s.Year, s.Month))
    Refuse(option, text,
           "no es una fecha real: " + std::string(kMonthNames[s.Month - 1]) + " de " + std::to_string(s.Year) +
               " tiene " + std::to_string(DaysInMonth(s.Year, s.Month)) + " días.");
  if (s.Hour > 23 || s.Minute > 59 || s.Second > 59)
    Refuse(option, text, "no es una hora real: va de 00:00:00 a 23:59:59.");
  if (end == TRangeEnd::To) {
    if (given == 0) s.Hour = 23;
    if (given <= 1) {
      s.Minute = given == 0 ? 59 : s.Minute;
      s.Second = 59;
    }
  }
  return s;
}
