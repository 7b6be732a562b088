#pragma once

// The data file parser's insides, shared by its files and nothing else:
// data_file_reader.cpp (the parser's frame, the text file, and the readers
// of a file's bytes and of a file on disk), data_file_reader_csv.cpp (the
// CSV export) and data_file_reader_fields.cpp (what a field may hold, and
// the failure that names where a problem is).

#include "data/data_file_reader.h"
#include "data/dump_decoder.h"

#include <cstddef>
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

  std::vector<std::string_view> Fields;
  std::vector<size_t> Starts;
  std::string Unquoted;

  void First(std::string_view line);
  void TextRecord(std::string_view line);
  void CsvHeader(std::string_view line);
  void CsvRecord(std::string_view line);
  void SplitCsv(std::string_view line);
  void PutValue(int column, std::string_view field, std::string_view line, size_t start);
  int NewRow();
};
