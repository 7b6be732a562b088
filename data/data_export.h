#pragma once

// The records as spreadsheets take them. The CSV has one header line, the
// date and time as one ISO 8601 column, then the 16 channels, UTF-8, RFC 4180
// quoting and CR LF line ends; its separator and decimal mark are the ones a
// spreadsheet of the user's locale expects. The XLSX is written by
// libxlsxwriter: real date cells, values with one decimal, the header row
// frozen, and a second sheet with the statistics.
//
// Both take the rows as the grid shows them: the channels in their shown
// order under their own captions.

#include "data/data_statistics.h"
#include "data/data_table.h"
#include "data/record_values.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Comma separator with decimal point, or semicolon with decimal comma (what
// a spreadsheet reads where the decimal separator is a comma).
enum class TCsvStyle { Comma, Semicolon };

// The style for a locale whose decimal separator is `decimalPoint`.
TCsvStyle CsvStyleFor(char decimalPoint);
// The style of this PC's locale (the user's number format settings).
TCsvStyle LocaleCsvStyle();

enum class TExportFormat { Text, Csv, Xlsx };
// By the name's extension, any letter case: ".csv", ".xlsx"; anything else is
// the program's text file.
TExportFormat ExportFormatOf(const std::string &path);

// The records of a table as shown, and what the exports add to them.
struct TRecordsView {
  const TDataTable &Table;
  int Records = 0;
  std::vector<int> ColumnOrder;  // the grid's; empty: as stored
};

std::string BuildCsv(const TRecordsView &view, TCsvStyle style);

// Writes the workbook to `path` (atomically, as the text file is saved).
// Raises Exception on any failure of the library, EInOutError on the file's.
void WriteXlsx(const std::string &path, const TRecordsView &view, const TStatLimits &limits,
               const TAlarmOptions &alarms = TAlarmOptions());

// Raises Exception when `records` do not fit in one sheet.
void RefuseOverSheetRows(std::int64_t records);

// A record's stamp as the exports and the statistics show it: a date and
// time when it is a real one, and the program's texts as the record has
// them (empty when it has none).
struct TRecordStamp {
  bool Real = false;
  TStamp Stamp;
  std::string Text;
};
// Row `row`'s stamp in the date and time columns of a table.
TRecordStamp TableRecordStamp(const TDataTable &table, int row);

// The workbook a record at a time: what WriteXlsx writes, for records that
// are read in slices and never sit in one table. Given up before Finish, it
// leaves no file anywhere.
class TXlsxStream {
public:
  // The 16 channels' captions in their shown order.
  explicit TXlsxStream(const std::array<std::string, 16> &captions);
  ~TXlsxStream();
  TXlsxStream(const TXlsxStream &) = delete;
  TXlsxStream &operator=(const TXlsxStream &) = delete;

  // The next record: its stamp and its values in tenths, in shown order.
  void Add(const TRecordStamp &stamp, const std::array<std::optional<std::int64_t>, 16> &tenths);
  // Adds the statistics sheet (with when each channel's lowest and highest
  // happened) and puts the workbook at `path` atomically.
  void Finish(const std::string &path, const TDataStatistics &stats, const std::array<TRecordStamp, 16> &minAt,
              const std::array<TRecordStamp, 16> &maxAt);

private:
  struct TState;
  std::unique_ptr<TState> S_;
};

// Saves in the format `format`: the text file (byte for byte as "GUARDAR"),
// the CSV or the workbook.
void SaveRecords(const std::string &path, TExportFormat format, const TRecordsView &view, TCsvStyle style,
                 const TStatLimits &limits, const TAlarmOptions &alarms = TAlarmOptions());

// Excel's row limit, header included.
constexpr int kMaxSheetRows = 1048576;
