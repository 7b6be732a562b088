#include "data/record_values.h"

#include "calendar/civil_date.h"
#include "data/dump_decoder.h"
#include "runtime/date_format.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kMaxWholeDigits = 9;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A run of 1 to `most` digits at `at`; moves `at` past it.
bool Number(std::string_view text, size_t &at, int most, int &value) {
  const size_t start = at;
  value = 0;
  while (at < text.size() && IsDigit(text[at]) && static_cast<int>(at - start) < most)
    value = value * 10 + (text[at++] - '0');
  return at > start && (at >= text.size() || !IsDigit(text[at]));
}

bool Expect(std::string_view text, size_t &at, char c) {
  if (at >= text.size() || text[at] != c) return false;
  ++at;
  return true;
}

// Stamps count seconds from 1 January of year 1, as they always have.
constexpr std::int64_t kYearOneDays = civil::DaysFromCivil(1, 1, 1);

}  // namespace

bool ParseTenths(std::string_view text, std::int64_t &tenths) {
  size_t at = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) ++at;
  std::int64_t whole = 0;
  const size_t digits = at;
  while (at < text.size() && IsDigit(text[at])) {
    if (at - digits >= static_cast<size_t>(kMaxWholeDigits)) return false;
    whole = whole * 10 + (text[at++] - '0');
  }
  if (at == digits) return false;
  int tenth = 0;
  if (at < text.size()) {
    if (text[at] != ',' && text[at] != '.') return false;
    ++at;
    if (at >= text.size()) return false;
    if (!IsDigit(text[at])) return false;
    tenth = text[at++] - '0';
    // Further decimals may only be zeros: the logger measures tenths, and a
    // spreadsheet writing 25.50 means 25.5, but 25.05 is no reading of it.
    for (; at < text.size(); ++at)
      if (text[at] != '0') return false;
  }
  tenths = whole * 10 + tenth;
  if (negative) tenths = -tenths;
  return true;
}

char *PutTenths(char *out, std::int64_t tenths, char decimal) {
  const std::uint64_t magnitude =
      tenths < 0 ? 0 - static_cast<std::uint64_t>(tenths) : static_cast<std::uint64_t>(tenths);
  if (tenths < 0) *out++ = '-';
  char digits[24];
  int n = 0;
  std::uint64_t whole = magnitude / 10;
  do {
    digits[n++] = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole > 0);
  while (n > 0) *out++ = digits[--n];
  *out++ = decimal;
  *out++ = static_cast<char>('0' + magnitude % 10);
  return out;
}

std::string TenthsText(std::int64_t tenths, char decimal) {
  char buf[24];
  return std::string(buf, PutTenths(buf, tenths, decimal));
}

bool ValidStamp(const TStamp &s) {
  return s.Year >= 1 && s.Year <= 9999 && s.Month >= 1 && s.Month <= 12 && s.Day >= 1 &&
         s.Day <= DaysInMonth(s.Year, s.Month) && s.Hour >= 0 && s.Hour < 24 && s.Minute >= 0 && s.Minute < 60 &&
         s.Second >= 0 && s.Second < 60;
}

std::int64_t StampSeconds(const TStamp &s) {
  return (civil::DaysFromCivil(s.Year, s.Month, s.Day) - kYearOneDays) * 86400 + s.Hour * 3600 + s.Minute * 60 +
         s.Second;
}

TStamp StampFromSeconds(std::int64_t seconds) {
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  TStamp s;
  const civil::TDate date = civil::CivilFromDays(days + kYearOneDays);
  s.Year = static_cast<int>(date.Year);
  s.Month = date.Month;
  s.Day = date.Day;
  s.Hour = static_cast<int>(rest / 3600);
  s.Minute = static_cast<int>(rest / 60 % 60);
  s.Second = static_cast<int>(rest % 60);
  return s;
}

bool RowStamp(std::string_view date, std::string_view time, TStamp &stamp) {
  TStamp s;
  size_t at = 0;
  if (!Number(date, at, 2, s.Day) || !Expect(date, at, '/') || !Number(date, at, 2, s.Month) ||
      !Expect(date, at, '/') || !Number(date, at, 4, s.Year) || at != date.size())
    return false;
  at = 0;
  if (!Number(time, at, 2, s.Hour) || !Expect(time, at, ':') || !Number(time, at, 2, s.Minute) ||
      !Expect(time, at, ':') || !Number(time, at, 2, s.Second) || at != time.size())
    return false;
  if (!ValidStamp(s)) return false;
  stamp = s;
  return true;
}

std::string IsoText(const TStamp &s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", s.Year, s.Month, s.Day, s.Hour, s.Minute, s.Second);
  return buf;
}

std::string ProgramDateText(const TStamp &s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", s.Day, s.Month, s.Year);
  return buf;
}

std::string ProgramTimeText(const TStamp &s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", s.Hour, s.Minute, s.Second);
  return buf;
}

TShownColumns ShownColumns(const std::vector<int> &columnAtPosition) {
  TShownColumns shown;
  int next = 0;
  const int positions = static_cast<int>(columnAtPosition.size());
  for (int p = 1; p < positions && next < Channels; ++p) {
    const int column = columnAtPosition[p];
    if (column >= FirstValueColumn && column < FirstValueColumn + Channels) shown.Channels[next++] = column;
  }
  // Whatever the order did not name (none given, or a short one) follows in
  // table order.
  for (int column = FirstValueColumn; next < Channels && column < FirstValueColumn + Channels; ++column) {
    bool named = false;
    for (int i = 0; i < next; ++i) named = named || shown.Channels[i] == column;
    if (!named) shown.Channels[next++] = column;
  }
  return shown;
}

std::vector<int> ChannelsInOwnOrder(const std::vector<int> &columnAtPosition) {
  std::vector<int> order = columnAtPosition;
  const auto isChannel = [](int column) { return column >= FirstValueColumn && column < FirstValueColumn + Channels; };
  std::vector<int> channels;
  for (int column : order)
    if (isChannel(column)) channels.push_back(column);
  std::sort(channels.begin(), channels.end());
  size_t next = 0;
  for (int &column : order)
    if (isChannel(column)) column = channels[next++];
  return order;
}

TDerivedStart DeriveStart(const TDataTable &table, int records, int dateColumn, int timeColumn) {
  TDerivedStart derived;
  TStamp first, second;
  if (records < 2 || !RowStamp(table.Cells(dateColumn, 1), table.Cells(timeColumn, 1), first) ||
      !RowStamp(table.Cells(dateColumn, 2), table.Cells(timeColumn, 2), second))
    return derived;
  const std::int64_t step = StampSeconds(second) - StampSeconds(first);
  for (size_t i = 0; i < RATE_STEPS.size(); ++i) {
    if (step != RATE_STEPS[i] * 60LL) continue;
    const TStamp start = StampFromSeconds(StampSeconds(first) - step);
    if (!ValidStamp(start)) return derived;
    derived.Known = true;
    derived.Start = start;
    derived.StepMinutes = RATE_STEPS[i];
    derived.RateText = RATE_TEXTS[i];
  }
  return derived;
}
