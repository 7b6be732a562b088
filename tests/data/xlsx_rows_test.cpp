// The data sheet's rows are written straight into its XML rather than cell
// by cell through libxlsxwriter; they must be the very bytes the library
// writes, whatever the records hold.

#include "common/test_files.h"
#include "data/data_export.h"
#include "data/data_table.h"
#include "data/dump_decoder.h"
#include "data/xlsx_zip.h"
#include "runtime/format_settings.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <fstream>
#include <sstream>

namespace {

std::string Part(const std::string &workbook, const std::string &name) {
  const std::string bytes = ReadFile(workbook);
  for (const TZipEntry &e : ReadZipEntries(bytes))
    if (e.Name == name) return InflateEntry(e);
  return "(no " + name + ")";
}

// The records as the library writes them cell by cell, in the order and
// with the formats the export uses.
void LibraryWorkbook(const std::string &path, const TDataTable &table, int records) {
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  lxw_workbook *book = workbook_new_opt(path.c_str(), &options);
  lxw_worksheet *data = workbook_add_worksheet(book, "Datos");
  workbook_add_worksheet(book, "Estadísticas");
  lxw_format *bold = workbook_add_format(book);
  format_set_bold(bold);
  lxw_format *date = workbook_add_format(book);
  format_set_num_format(date, "dd/mm/yyyy hh:mm:ss");
  lxw_format *value = workbook_add_format(book);
  format_set_num_format(value, "0.0");
  worksheet_set_column(data, 0, 0, 20, nullptr);
  worksheet_set_column(data, 1, 16, 8, nullptr);
  worksheet_freeze_panes(data, 1, 0);
  worksheet_write_string(data, 0, 0, "FECHA Y HORA", bold);
  for (int k = 1; k <= 16; ++k)
    worksheet_write_string(data, 0, static_cast<lxw_col_t>(k), ("CH" + std::to_string(k)).c_str(), bold);
  for (int r = 1; r <= records; ++r) {
    const TRecordStamp stamp = TableRecordStamp(table, r);
    if (stamp.Real) {
      lxw_datetime d{stamp.Stamp.Year,
                     static_cast<uint8_t>(stamp.Stamp.Month),
                     static_cast<uint8_t>(stamp.Stamp.Day),
                     static_cast<uint8_t>(stamp.Stamp.Hour),
                     static_cast<uint8_t>(stamp.Stamp.Minute),
                     static_cast<double>(stamp.Stamp.Second)};
      worksheet_write_datetime(data, static_cast<lxw_row_t>(r), 0, &d, date);
    } else if (!stamp.Text.empty()) {
      worksheet_write_string(data, static_cast<lxw_row_t>(r), 0, stamp.Text.c_str(), nullptr);
    }
    for (int k = 0; k < 16; ++k) {
      std::int64_t tenths;
      if (ParseTenths(table.Cells(3 + k, r), tenths))
        worksheet_write_number(data, static_cast<lxw_row_t>(r), static_cast<lxw_col_t>(k + 1),
                               static_cast<double>(tenths) / 10, value);
    }
  }
  workbook_close(book);
}

TEST(XlsxRows, TheDataSheetIsTheLibrarysOwnByteForByte) {
  ApplyProgramFormats();
  struct Row {
    const char *Date, *Time;
    std::vector<const char *> Values;  // CH1 onwards; "" a missing value
  };
  const std::vector<Row> rows = {
      {"15/03/2004", "10:35:00", {"25,0", "-0,5", "0,0", "-10,0", "123456,7", "", "3,1"}},
      {"29/02/2004", "23:59:59", {"", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "0,1"}},
      {"01/01/1900", "00:00:01", {"1,0"}},
      {"31/12/9999", "12:00:00", {"-999,9"}},
      // Stamps that are not on the calendar stay the recording's texts.
      {"32/13/2004", "10:35:00", {"1,5"}},
      {"", "", {}},  // nothing at all: no row
      {"", "10:40:00", {"2,0"}},
      {" <a&b>", "x\x01 ", {}},
      {"", "", {"7,7"}},
  };
  const int records = static_cast<int>(rows.size());
  TDataTable table(DataColumns, records + 1);
  table.SetCells(1, 0, "FECHA:");
  table.SetCells(2, 0, "HORA:");
  for (int k = 1; k <= 16; ++k) table.SetCells(2 + k, 0, "CH" + std::to_string(k));
  for (int r = 1; r <= records; ++r) {
    const Row &row = rows[static_cast<size_t>(r - 1)];
    table.SetCells(1, r, row.Date);
    table.SetCells(2, r, row.Time);
    for (size_t k = 0; k < row.Values.size(); ++k) table.SetCells(3 + static_cast<int>(k), r, row.Values[k]);
  }
  QTemporaryDir dir;
  const std::string ours = dir.filePath("nuestro.xlsx").toStdString(),
                    theirs = dir.filePath("libreria.xlsx").toStdString();
  // Every record, and none: the sheet with its header row alone.
  for (int n : {records, 0}) {
    SCOPED_TRACE(n);
    WriteXlsx(ours, {table, n, {}}, {});
    LibraryWorkbook(theirs, table, n);
    EXPECT_EQ(Part(ours, "xl/worksheets/sheet1.xml"), Part(theirs, "xl/worksheets/sheet1.xml"));
  }
}

}  // namespace
