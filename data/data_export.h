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
void WriteXlsx(const std::string &path, const TRecordsView &view, const TStatLimits &limits);

// Saves in the format `format`: the text file (byte for byte as "GUARDAR"),
// the CSV or the workbook.
void SaveRecords(const std::string &path, TExportFormat format, const TRecordsView &view, TCsvStyle style,
                 const TStatLimits &limits);

// Excel's row limit, header included.
constexpr int kMaxSheetRows = 1048576;
