#pragma once

// The data file parser's insides, shared by its files and nothing else:
// data_file_reader.cpp (the parser's frame, the text file, and the readers
// of a file's bytes and of a file on disk), data_file_reader_csv.cpp (the
// CSV export) and data_file_reader_fields.cpp (what a field may hold, and
// the failure that names where a problem is).

#include "data/data_file_reader.h"
#include "data/dump_decoder.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace data_file_reader {

// data_file_reader_fields.cpp, where each says what it does.
[[noreturn]] void Fail(int line, int column, const std::string &what);
std::string Shown(std::string_view text);
int ColumnOf(std::string_view line, size_t at);
bool Blank(std::string_view line);
std::string_view TrimRight(std::string_view s);
std::string_view Trim(std::string_view s);
bool AllDigits(std::string_view s);
bool ProgramDateShape(std::string_view s, char separator);
bool ProgramTimeShape(std::string_view s);

// data_file_reader_dates.cpp: the dates and times a spreadsheet writes.
// A date as a cell holds it, before its order is known: year first
// ("2026-03-15", "2026/03/15"), day first ("30.01.2026") or either
// ("03/01/2026": day/month or month/day, as the locale had it).
struct TCellDate {
  enum TOrder { YearFirst, DayFirst, Either } Order = Either;
  int First = 0, Second = 0, Year = 0;  // the two short fields as written
};
struct TCellTime {
  int Hour = 0, Minute = 0, Second = 0;
};
bool ParseCellDate(std::string_view s, TCellDate &date);
// "5:00", "05:00:00".
bool ParseCellTime(std::string_view s, TCellTime &time);
// Why a day, month and year or a time are no real ones; empty when they are.
std::string DateProblem(long long day, long long month, long long year);
std::string TimeProblem(long long hour, long long minute, long long second);
// A run of up to 12 digits as a number.
long long DigitsValue(std::string_view digits);

// A column name of the CSV header: what it holds.
enum class TColumn { Unknown, DateTime, Date, Time, Channel };

}  // namespace data_file_reader

struct TDataFileParser::TState {
  std::int64_t SizeHint = 0;
  int LineNo = 0;
  bool Started = false;
  TDataFileKind Kind = TDataFileKind::Text;
  int BlankSince = 0;  // first of the blank lines met since the last record
  TDataTable Table{DataColumns, 1};
  int Records = 0;

  // The text file: which field holds the date and which the time, fixed by
  // the first record (the save writes columns in the order they were shown).
  int DateField = -1, TimeField = -1;

  // The CSV: its separator and what each column holds.
  char Separator = ',';
  std::vector<data_file_reader::TColumn> Columns;
  std::vector<int> ColumnChannel;
  int UsedColumns = 0;
  std::vector<int> ChannelOrder;  // channels in the order the file has them

  // Excel's "sep=;" first line named the separator.
  bool SeparatorGiven = false;

  // Dates that read as day/month or as month/day: kept until the file has
  // shown which, then written. The first record that reads only one way,
  // for each way.
  struct TPendingDate {
    int Line, Column, Row;
    std::uint8_t First, Second;
    std::int16_t Year;
    std::int32_t Seconds;  // of the day, from the record's time
  };
  std::vector<TPendingDate> Pending;
  int DayFirstLine = 0, MonthFirstLine = 0;

  std::vector<std::string_view> Fields;
  std::vector<size_t> Starts;
  std::string Unquoted;

  void First(std::string_view line);
  void TextRecord(std::string_view line);
  void CsvHeader(std::string_view line);
  void CsvRecord(std::string_view line);
  void SplitCsv(std::string_view line);
  void PutValue(int column, std::string_view field, std::string_view line, size_t start);
  // `what`: the date as messages name it ("la fecha \"30/02/2026\"").
  void PutDate(int row, const data_file_reader::TCellDate &date, int column, const std::string &what,
               const data_file_reader::TCellTime *time);
  void ResolveDateOrder();
  int NewRow();
};
