#include "data/data_export.h"

#include "data/dump_decoder.h"
#include "data/record_values.h"
#include "data/text_file_writer.h"
#include "runtime/exceptions.h"

#include <QLocale>

#include <xlsxwriter.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string_view>

TCsvStyle CsvStyleFor(char decimalPoint) { return decimalPoint == ',' ? TCsvStyle::Semicolon : TCsvStyle::Comma; }

TCsvStyle LocaleCsvStyle() {
  const QString point = QLocale::system().decimalPoint();
  return CsvStyleFor(point.size() == 1 ? point.at(0).toLatin1() : '.');
}

TExportFormat ExportFormatOf(const std::string &path) {
  auto endsWith = [&](std::string_view suffix) {
    if (path.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
      char c = path[path.size() - suffix.size() + i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (c != suffix[i]) return false;
    }
    return true;
  };
  if (endsWith(".xlsx")) return TExportFormat::Xlsx;
  if (endsWith(".csv")) return TExportFormat::Csv;
  return TExportFormat::Text;
}

namespace {

constexpr char kDateTimeCaption[] = "FECHA Y HORA";

// RFC 4180: a field holding the separator, a quote or a line break goes in
// quotes, its quotes doubled.
void PutField(std::string &out, std::string_view field, char separator) {
  if (field.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string_view::npos) {
    out.append(field.data(), field.size());
    return;
  }
  out += '"';
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// The stamp of a record as one text: ISO 8601 when it is a real date and
// time, else the program's own texts as they stand (a damaged recording can
// count to day 32), empty when the recording has none.
std::string StampField(const TDataTable &table, int row, int dateColumn, int timeColumn) {
  TStamp stamp;
  const std::string_view date = table.Cells(dateColumn, row), time = table.Cells(timeColumn, row);
  if (RowStamp(date, time, stamp)) return IsoText(stamp);
  std::string text(date);
  if (!text.empty() && !time.empty()) text += ' ';
  text.append(time.data(), time.size());
  return text;
}

}  // namespace

std::string BuildCsv(const TRecordsView &view, TCsvStyle style) {
  const char separator = style == TCsvStyle::Semicolon ? ';' : ',';
  const char decimal = style == TCsvStyle::Semicolon ? ',' : '.';
  const TShownColumns shown = ShownColumns(view.ColumnOrder);
  const int records = view.Records > 0 ? view.Records : 0;
  std::string out;
  out.reserve(static_cast<size_t>(records) * 120 + 128);
  out += kDateTimeCaption;
  for (int column : shown.Channels) {
    out += separator;
    PutField(out, view.Table.Cells(column, 0), separator);
  }
  out += "\r\n";
  for (int r = 1; r <= records; ++r) {
    PutField(out, StampField(view.Table, r, shown.Date, shown.Time), separator);
    for (int column : shown.Channels) {
      out += separator;
      std::int64_t tenths;
      // A cell that holds no temperature (a record whose decoding failed)
      // stays empty rather than becoming a zero.
      if (ParseTenths(view.Table.Cells(column, r), tenths)) {
        // A value with a decimal comma goes in quotes: a spreadsheet that
        // splits at commas and semicolons alike (LibreOffice's import does
        // by default) would cut "13,8" in two.
        char buf[24];
        if (decimal == ',') out += '"';
        out.append(buf, PutTenths(buf, tenths, decimal));
        if (decimal == ',') out += '"';
      }
    }
    out += "\r\n";
  }
  return out;
}

namespace {

// A folder of our own for libxlsxwriter's files, gone with everything in it
// however the export ends.
class TScratchFolder {
public:
  TScratchFolder() {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/talvex-xlsx-XXXXXX";
    if (!mkdtemp(pattern.data())) {
      const int cause = errno;
      throw EInOutError(InOutErrorMessage(cause), cause);
    }
    Path_ = pattern;
  }
  ~TScratchFolder() {
    unlink(Workbook().c_str());
    rmdir(Path_.c_str());
  }
  TScratchFolder(const TScratchFolder &) = delete;
  TScratchFolder &operator=(const TScratchFolder &) = delete;
  const std::string &Path() const { return Path_; }
  std::string Workbook() const { return Path_ + "/libro.xlsx"; }

private:
  std::string Path_;
};

std::string ReadWhole(const std::string &path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int cause = errno;
    throw EInOutError(InOutErrorMessage(cause), cause);
  }
  std::string bytes;
  char buf[65536];
  while (true) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int cause = errno;
      close(fd);
      throw EInOutError(InOutErrorMessage(cause), cause);
    }
    if (n == 0) break;
    bytes.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return bytes;
}

// The workbook is freed on every way out; a failure of the library is
// raised with its own words.
class TWorkbook {
public:
  TWorkbook(const std::string &file, const std::string &scratch) {
    lxw_workbook_options options{};
    // Rows go to disk as they are written: a hundred thousand records do not
    // sit in memory as cells.
    options.constant_memory = LXW_TRUE;
    options.tmpdir = const_cast<char *>(scratch.c_str());
    Book_ = workbook_new_opt(file.c_str(), &options);
    if (!Book_) throw Exception("No se pudo crear el libro XLSX.");
  }
  ~TWorkbook() {
    // Closing is what writes the file; a workbook given up half-way is still
    // closed to free it, into the scratch folder that goes next.
    if (Book_) workbook_close(Book_);
  }
  TWorkbook(const TWorkbook &) = delete;
  TWorkbook &operator=(const TWorkbook &) = delete;

  lxw_workbook *Get() const { return Book_; }
  void Close() {
    lxw_workbook *book = Book_;
    Book_ = nullptr;
    Check(workbook_close(book));
  }
  static void Check(lxw_error error) {
    if (error != LXW_NO_ERROR)
      throw Exception(std::string("No se pudo escribir el libro XLSX: ") + lxw_strerror(error) + ".");
  }
  lxw_worksheet *Sheet(const char *name) {
    lxw_worksheet *sheet = workbook_add_worksheet(Book_, name);
    if (!sheet) throw Exception("No se pudo crear la hoja XLSX.");
    return sheet;
  }
  lxw_format *Format(const char *numbers, bool bold = false) {
    lxw_format *f = workbook_add_format(Book_);
    if (numbers) format_set_num_format(f, numbers);
    if (bold) format_set_bold(f);
    return f;
  }

private:
  lxw_workbook *Book_ = nullptr;
};

lxw_datetime DateCell(const TStamp &s) {
  lxw_datetime d{};
  d.year = s.Year;
  d.month = s.Month;
  d.day = s.Day;
  d.hour = s.Hour;
  d.min = s.Minute;
  d.sec = s.Second;
  return d;
}

// A record's stamp: a date cell, or the program's texts, or nothing.
void PutStamp(lxw_worksheet *sheet, lxw_row_t row, lxw_col_t col, const TXlsxStamp &stamp, lxw_format *dateFormat) {
  if (stamp.Real) {
    lxw_datetime cell = DateCell(stamp.Stamp);
    TWorkbook::Check(worksheet_write_datetime(sheet, row, col, &cell, dateFormat));
  } else if (!stamp.Text.empty()) {
    TWorkbook::Check(worksheet_write_string(sheet, row, col, stamp.Text.c_str(), nullptr));
  }
}

TXlsxStamp TableStamp(const TDataTable &table, int record) {
  TXlsxStamp stamp;
  const std::string_view date = table.Cells(1, record), time = table.Cells(2, record);
  stamp.Real = RowStamp(date, time, stamp.Stamp);
  if (!stamp.Real && (!date.empty() || !time.empty())) stamp.Text = RecordStampText(table, record);
  return stamp;
}

void WriteStatisticsSheet(TWorkbook &book, lxw_worksheet *sheet, const TDataStatistics &stats,
                          const std::array<TXlsxStamp, 16> &minAt, const std::array<TXlsxStamp, 16> &maxAt) {
  lxw_format *bold = book.Format(nullptr, true);
  lxw_format *tenths = book.Format("0.0");
  lxw_format *hundredths = book.Format("0.00");
  lxw_format *date = book.Format("dd/mm/yyyy hh:mm:ss");
  lxw_format *duration = book.Format("[h]:mm");
  static const char *const captions[] = {"Canal",
                                         "Registros",
                                         "Mínimo (°C)",
                                         "Fecha del mínimo",
                                         "Máximo (°C)",
                                         "Fecha del máximo",
                                         "Media (°C)",
                                         "Desviación estándar de la población (°C)",
                                         "Tiempo sobre el límite superior",
                                         "Tiempo bajo el límite inferior"};
  static const double widths[] = {8, 10, 11, 20, 11, 20, 10, 22, 28, 28};
  for (lxw_col_t c = 0; c < 10; ++c) TWorkbook::Check(worksheet_set_column(sheet, c, c, widths[c], nullptr));
  worksheet_freeze_panes(sheet, 1, 0);
  for (lxw_col_t c = 0; c < 10; ++c) TWorkbook::Check(worksheet_write_string(sheet, 0, c, captions[c], bold));
  lxw_row_t row = 1;
  for (size_t k = 0; k < stats.Channels.size(); ++k) {
    const TChannelStats &c = stats.Channels[k];
    TWorkbook::Check(worksheet_write_string(sheet, row, 0, c.Name.c_str(), nullptr));
    TWorkbook::Check(worksheet_write_number(sheet, row, 1, c.Count, nullptr));
    if (c.Count > 0) {
      TWorkbook::Check(worksheet_write_number(sheet, row, 2, static_cast<double>(c.Min) / 10, tenths));
      PutStamp(sheet, row, 3, minAt[k], date);
      TWorkbook::Check(worksheet_write_number(sheet, row, 4, static_cast<double>(c.Max) / 10, tenths));
      PutStamp(sheet, row, 5, maxAt[k], date);
      TWorkbook::Check(worksheet_write_number(sheet, row, 6, c.Mean, hundredths));
      TWorkbook::Check(worksheet_write_number(sheet, row, 7, c.StdDev, hundredths));
    }
    // Durations are fractions of a day, as spreadsheets keep them.
    if (auto above = stats.MinutesAbove(c))
      TWorkbook::Check(worksheet_write_number(sheet, row, 8, static_cast<double>(*above) / 1440, duration));
    if (auto below = stats.MinutesBelow(c))
      TWorkbook::Check(worksheet_write_number(sheet, row, 9, static_cast<double>(*below) / 1440, duration));
    ++row;
  }
  ++row;
  auto fact = [&](const char *caption, const std::optional<double> &value, lxw_format *format, const char *none) {
    TWorkbook::Check(worksheet_write_string(sheet, row, 0, caption, bold));
    if (value) TWorkbook::Check(worksheet_write_number(sheet, row, 2, *value, format));
    else TWorkbook::Check(worksheet_write_string(sheet, row, 2, none, nullptr));
    ++row;
  };
  auto degrees = [](const std::optional<std::int64_t> &t) {
    return t ? std::optional<double>(static_cast<double>(*t) / 10) : std::nullopt;
  };
  fact("Registros", static_cast<double>(stats.Records), nullptr, "");
  fact("Minutos entre registros", stats.StepMinutes ? std::optional<double>(stats.StepMinutes) : std::nullopt, nullptr,
       stats.IntervalsKnown ? stats.SpacingText().c_str() : "desconocido");
  fact("Límite superior (°C)", degrees(stats.Limits.Upper), tenths, "ninguno");
  fact("Límite inferior (°C)", degrees(stats.Limits.Lower), tenths, "ninguno");
}

}  // namespace

void RefuseOverSheetRows(std::int64_t records) {
  if (records + 1 > kMaxSheetRows)
    throw Exception("Demasiados registros para una hoja XLSX: " + std::to_string(records) + " (el máximo es " +
                    std::to_string(kMaxSheetRows - 1) + ").");
}

struct TXlsxStream::TState {
  TScratchFolder Scratch;
  TWorkbook Book{Scratch.Workbook(), Scratch.Path()};
  lxw_worksheet *Data = nullptr;
  lxw_worksheet *Summary = nullptr;
  lxw_format *Date = nullptr;
  lxw_format *Value = nullptr;
  std::int64_t Records = 0;
};

TXlsxStream::TXlsxStream(const std::array<std::string, 16> &captions) : S_(std::make_unique<TState>()) {
  TWorkbook &book = S_->Book;
  lxw_worksheet *data = S_->Data = book.Sheet("Datos");
  S_->Summary = book.Sheet("Estadísticas");
  lxw_format *bold = book.Format(nullptr, true);
  S_->Date = book.Format("dd/mm/yyyy hh:mm:ss");
  S_->Value = book.Format("0.0");
  // Sizes and panes first: the rows stream to disk as they are written.
  TWorkbook::Check(worksheet_set_column(data, 0, 0, 20, nullptr));
  TWorkbook::Check(worksheet_set_column(data, 1, Channels, 8, nullptr));
  worksheet_freeze_panes(data, 1, 0);
  TWorkbook::Check(worksheet_write_string(data, 0, 0, kDateTimeCaption, bold));
  for (int k = 0; k < Channels; ++k)
    TWorkbook::Check(
        worksheet_write_string(data, 0, static_cast<lxw_col_t>(k + 1), captions[static_cast<size_t>(k)].c_str(), bold));
}

TXlsxStream::~TXlsxStream() = default;

void TXlsxStream::Add(const TXlsxStamp &stamp, const std::array<std::optional<std::int64_t>, 16> &tenths) {
  RefuseOverSheetRows(S_->Records + 1);
  const lxw_row_t row = static_cast<lxw_row_t>(++S_->Records);
  PutStamp(S_->Data, row, 0, stamp, S_->Date);
  for (int k = 0; k < Channels; ++k) {
    const std::optional<std::int64_t> &v = tenths[static_cast<size_t>(k)];
    if (v)
      TWorkbook::Check(worksheet_write_number(S_->Data, row, static_cast<lxw_col_t>(k + 1),
                                              static_cast<double>(*v) / 10, S_->Value));
  }
}

void TXlsxStream::Finish(const std::string &path, const TDataStatistics &stats, const std::array<TXlsxStamp, 16> &minAt,
                         const std::array<TXlsxStamp, 16> &maxAt) {
  WriteStatisticsSheet(S_->Book, S_->Summary, stats, minAt, maxAt);
  S_->Book.Close();
  WriteFileAtomically(path, ReadWhole(S_->Scratch.Workbook()));
}

void WriteXlsx(const std::string &path, const TRecordsView &view, const TStatLimits &limits) {
  const int records = view.Records > 0 ? view.Records : 0;
  RefuseOverSheetRows(records);
  const TDataStatistics stats = ComputeStatistics(view.Table, records, view.ColumnOrder, limits);
  const TShownColumns shown = ShownColumns(view.ColumnOrder);
  std::array<std::string, 16> captions;
  for (int k = 0; k < Channels; ++k)
    captions[static_cast<size_t>(k)] = std::string(view.Table.Cells(shown.Channels[static_cast<size_t>(k)], 0));
  TXlsxStream stream(captions);
  std::array<std::optional<std::int64_t>, 16> tenths;
  for (int r = 1; r <= records; ++r) {
    for (int k = 0; k < Channels; ++k) {
      std::int64_t v;
      tenths[static_cast<size_t>(k)] =
          ParseTenths(view.Table.Cells(shown.Channels[static_cast<size_t>(k)], r), v) ? std::optional(v) : std::nullopt;
    }
    stream.Add(TableStamp(view.Table, r), tenths);
  }
  std::array<TXlsxStamp, 16> minAt, maxAt;
  for (size_t k = 0; k < stats.Channels.size(); ++k) {
    if (stats.Channels[k].Count == 0) continue;
    minAt[k] = TableStamp(view.Table, stats.Channels[k].MinRow);
    maxAt[k] = TableStamp(view.Table, stats.Channels[k].MaxRow);
  }
  stream.Finish(path, stats, minAt, maxAt);
}

void SaveRecords(const std::string &path, TExportFormat format, const TRecordsView &view, TCsvStyle style,
                 const TStatLimits &limits) {
  switch (format) {
    case TExportFormat::Text: SaveTextFile(path, view.Table, view.Records, view.ColumnOrder); break;
    case TExportFormat::Csv: WriteFileAtomically(path, BuildCsv(view, style)); break;
    case TExportFormat::Xlsx: WriteXlsx(path, view, limits); break;
  }
}
