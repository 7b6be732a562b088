#pragma once

// Reading back what the program wrote: its text file (byte for byte as the
// save makes it) and its CSV export, also after a spreadsheet or an editor
// had them (a decimal point for the comma or the other way round, a trailing
// empty column, CR LF, LF or CR line ends, a byte-order mark, UTF-16 text,
// Excel's "sep=" line, separate date and time columns, dates day first,
// month first or year first). Nothing is guessed: a date must read one way
// only (the file has to prove the order of its day and month), a date or
// time must exist on the calendar and the clock, a value must be a whole
// number of tenths, every column must be named.
//
// The whole file is read before anything is handed out, so a caller that
// shows the result changes nothing when the file is refused.

#include "data/data_table.h"
#include "data/record_values.h"
#include "runtime/exceptions.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The first problem of a file that does not read, where an editor shows it:
// line and column count from 1 (column in characters). Line 0 means the file
// as a whole (it cannot be opened, it is too large). The message names the
// place: "línea 3, columna 15: ...". A file that could not be opened or read
// carries the system's error number too.
class EDataFileError : public Exception {
public:
  EDataFileError(const std::string &message, int line, int column, int osCode = 0)
      : Exception(message), Line_(line), Column_(column), OsCode_(osCode) {}
  int Line() const { return Line_; }
  int Column() const { return Column_; }
  int OsCode() const { return OsCode_; }

private:
  int Line_;
  int Column_;
  int OsCode_;
};

enum class TDataFileKind { Text, Csv };

// An opened file: the table as the data window shows a download (captions in
// row 0, running numbers in column 0, dates, times and values in the
// program's texts), the records, and the order its columns were written in.
struct TOpenedData {
  TDataTable Table{19, 1};
  int Records = 0;
  std::vector<int> ColumnOrder;  // the table column at each position
  TDataFileKind Kind = TDataFileKind::Text;
  TDerivedStart Start;
};

// Limits that keep memory bounded whatever is chosen: the logger holds 2,000
// records; the program opens 250 times that.
constexpr int kMaxOpenRecords = 500000;
constexpr std::int64_t kMaxOpenBytes = 96LL * 1024 * 1024;
constexpr int kMaxLineLength = 4096;

// Takes a file line by line (without line breaks), as it comes; Finish gives
// the result or raises the first problem.
class TDataFileParser {
public:
  // `sizeHint`: the file's size, to size the table once.
  explicit TDataFileParser(std::int64_t sizeHint = 0);
  ~TDataFileParser();
  TDataFileParser(const TDataFileParser &) = delete;
  TDataFileParser &operator=(const TDataFileParser &) = delete;

  void Line(std::string_view line);
  TOpenedData Finish();

private:
  struct TState;
  std::unique_ptr<TState> S_;
};

// A whole file's bytes.
TOpenedData ParseDataFile(std::string_view bytes);

// Reads `path` from disk a piece at a time. Only an ordinary file opens (a
// FIFO or a device could keep the reader waiting or never end). Raises
// EDataFileError for everything, a file that cannot be opened or read
// included.
TOpenedData ReadDataFile(const std::string &path);
