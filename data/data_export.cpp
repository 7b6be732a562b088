#include "data/data_export.h"

#include "data/dump_decoder.h"
#include "data/record_values.h"
#include "data/text_file_writer.h"
#include "data/xlsx_zip.h"
#include "runtime/exceptions.h"

#include <QLocale>

#include <xlsxwriter.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
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
void PutStamp(lxw_worksheet *sheet, lxw_row_t row, lxw_col_t col, const TRecordStamp &stamp, lxw_format *dateFormat) {
  if (stamp.Real) {
    lxw_datetime cell = DateCell(stamp.Stamp);
    TWorkbook::Check(worksheet_write_datetime(sheet, row, col, &cell, dateFormat));
  } else if (!stamp.Text.empty()) {
    TWorkbook::Check(worksheet_write_string(sheet, row, col, stamp.Text.c_str(), nullptr));
  }
}

void WriteStatisticsSheet(TWorkbook &book, lxw_worksheet *sheet, const TDataStatistics &stats,
                          const std::array<TRecordStamp, 16> &minAt, const std::array<TRecordStamp, 16> &maxAt) {
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
                                         "Tiempo bajo el límite inferior",
                                         "MKT (°C)",
                                         "Alarmas altas",
                                         "Alarmas bajas",
                                         "Tiempo en alarma alta",
                                         "Tiempo en alarma baja"};
  static const double widths[] = {8, 10, 11, 20, 11, 20, 10, 22, 28, 28, 10, 13, 13, 22, 22};
  constexpr lxw_col_t columns = sizeof widths / sizeof widths[0];
  for (lxw_col_t c = 0; c < columns; ++c) TWorkbook::Check(worksheet_set_column(sheet, c, c, widths[c], nullptr));
  worksheet_freeze_panes(sheet, 1, 0);
  for (lxw_col_t c = 0; c < columns; ++c) TWorkbook::Check(worksheet_write_string(sheet, 0, c, captions[c], bold));
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
    if (c.Alarm.Mkt) TWorkbook::Check(worksheet_write_number(sheet, row, 10, *c.Alarm.Mkt, hundredths));
    if (stats.AlarmsApply(c)) {
      TWorkbook::Check(worksheet_write_number(sheet, row, 11, c.Alarm.HighEvents, nullptr));
      TWorkbook::Check(worksheet_write_number(sheet, row, 12, c.Alarm.LowEvents, nullptr));
      // Whole minutes, as the times beyond the limits above.
      const std::int64_t above = c.Alarm.SecondsAbove / 60, below = c.Alarm.SecondsBelow / 60;
      TWorkbook::Check(worksheet_write_number(sheet, row, 13, static_cast<double>(above) / 1440, duration));
      TWorkbook::Check(worksheet_write_number(sheet, row, 14, static_cast<double>(below) / 1440, duration));
    } else {
      for (lxw_col_t col : {11, 12}) TWorkbook::Check(worksheet_write_string(sheet, row, col, "no aplica", nullptr));
    }
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
  fact("Energía de activación de la MKT (kJ/mol)", stats.Alarms.ActivationEnergy, book.Format("0.000"), "");
  fact("Límites de alarma", std::nullopt, nullptr, stats.Alarms.Limits ? "los del registrador" : "desconocidos");
}

}  // namespace

TRecordStamp TableRecordStamp(const TDataTable &table, int row) {
  TRecordStamp stamp;
  stamp.Real = RowStamp(table.Cells(1, row), table.Cells(2, row), stamp.Stamp);
  stamp.Text = RecordStampText(table, row);
  return stamp;
}

void RefuseOverSheetRows(std::int64_t records) {
  if (records + 1 > kMaxSheetRows)
    throw Exception("Demasiados registros para una hoja XLSX: " + std::to_string(records) + " (el máximo es " +
                    std::to_string(kMaxSheetRows - 1) + ").");
}

namespace {

// Cells of the data sheet written as the library writes them in its
// constant-memory mode, straight into the sheet's XML: the library spends
// a cell's worth of work on every one of them (a row's tree, a formatted
// double, a file write), which for a year of records is most of the
// export. The library still makes everything else, the header row and the
// statistics sheet included; its sheet is then given our rows.
class TSheetRows {
public:
  TSheetRows(int dateStyle, int valueStyle)
      : Date_(" s=\"" + std::to_string(dateStyle) + "\"><v>"),
        Value_(" s=\"" + std::to_string(valueStyle) + "\"><v>") {}

  void Add(std::int64_t row, const TRecordStamp &stamp, const std::array<std::optional<std::int64_t>, 16> &tenths) {
    const size_t start = Xml_.size();
    char number[24];
    const std::string_view rowText(
        number, static_cast<size_t>(std::to_chars(number, number + sizeof number, row + 1).ptr - number));
    Xml_.append("<row r=\"").append(rowText).append("\">");
    bool any = false;
    auto open = [&](char column) {
      Xml_.append("<c r=\"");
      Xml_ += column;
      Xml_.append(rowText);
      Xml_ += '"';
      any = true;
    };
    if (stamp.Real) {
      lxw_datetime cell = DateCell(stamp.Stamp);
      char serial[40];
      const int length = std::snprintf(serial, sizeof serial, "%.16G", lxw_datetime_to_excel_datetime(&cell));
      open('A');
      Xml_.append(Date_).append(serial, static_cast<size_t>(length)).append("</v></c>");
    } else if (!stamp.Text.empty()) {
      open('A');
      PutInlineString(stamp.Text);
    }
    for (int k = 0; k < Channels; ++k) {
      const std::optional<std::int64_t> &v = tenths[static_cast<size_t>(k)];
      if (!v) continue;
      open(static_cast<char>('B' + k));
      Xml_.append(Value_);
      PutValue(*v);
      Xml_.append("</v></c>");
    }
    // A row with no cell is not written, as the library leaves it out.
    if (!any) {
      Xml_.resize(start);
      return;
    }
    Xml_.append("</row>");
    LastRow_ = row;
    if (Xml_.size() >= kPiece) Flush();
  }

  // The sheet the library wrote, with our rows after its header row and
  // its dimension covering them, as one deflated part.
  TZipEntry Sheet(const TZipEntry &written, std::string &packed) {
    Flush();
    TDeflater &rows = Rows_.Finish(false);
    std::string sheet = InflateEntry(written);
    const std::string dimension = "<dimension ref=\"";
    const size_t ref = sheet.find(dimension);
    const size_t close = sheet.find("</sheetData>");
    if (ref == std::string::npos || close == std::string::npos)
      throw Exception("No se pudo escribir el libro XLSX: la hoja de datos no tiene la forma esperada.");
    const size_t refEnd = sheet.find('"', ref + dimension.size());
    sheet.replace(ref + dimension.size(), refEnd - ref - dimension.size(), "A1:Q" + std::to_string(LastRow_ + 1));
    const size_t split = sheet.find("</sheetData>");
    TDeflater head(kPartLevel), tail(kPartLevel);
    head.Add(std::string_view(sheet).substr(0, split));
    head.Finish(false);
    tail.Add(std::string_view(sheet).substr(split));
    tail.Finish(true);
    packed.reserve(head.Out.size() + rows.Out.size() + tail.Out.size());
    packed.append(head.Out).append(rows.Out).append(tail.Out);
    rows.Out = std::string();
    TZipEntry entry = written;
    entry.Method = 8;
    entry.Crc = CrcOfBoth(CrcOfBoth(head.Crc, rows.Crc, rows.Size), tail.Crc, tail.Size);
    entry.Size = head.Size + rows.Size + tail.Size;
    entry.Packed = packed;
    return entry;
  }

private:
  static constexpr int kPartLevel = 6;  // the parts around the rows: small
  // The fastest level: the sheet's XML repeats itself so much that it packs
  // nearly as small, in a fraction of the time.
  static constexpr int kRowsLevel = 1;
  static constexpr size_t kPiece = 1 << 18;

  void Flush() {
    if (Xml_.empty()) return;
    Rows_.Add(std::move(Xml_));
    Xml_ = std::string();
    Xml_.reserve(kPiece + 4096);
  }

  // As "%.16G" writes a value of whole tenths: "12.3", "20", "-0.5".
  void PutValue(std::int64_t tenths) {
    char buf[24];
    char *p = PutTenths(buf, tenths, '.');
    if (p[-1] == '0') p -= 2;
    Xml_.append(buf, static_cast<size_t>(p - buf));
  }

  // An inline string as the library writes one: XML's three marks and
  // control characters escaped, blanks at either end kept.
  void PutInlineString(const std::string &text) {
    const bool keepBlanks =
        std::isspace(static_cast<unsigned char>(text.front())) || std::isspace(static_cast<unsigned char>(text.back()));
    Xml_.append(keepBlanks ? " t=\"inlineStr\"><is><t xml:space=\"preserve\">" : " t=\"inlineStr\"><is><t>");
    for (const char c : text) {
      const unsigned char u = static_cast<unsigned char>(c);
      if (c == '&') Xml_.append("&amp;");
      else if (c == '<') Xml_.append("&lt;");
      else if (c == '>') Xml_.append("&gt;");
      else if (u < 0x20 && c != '\t' && c != '\n') {
        char escaped[16];
        std::snprintf(escaped, sizeof escaped, "_x%04X_", u);
        Xml_.append(escaped);
      } else Xml_ += c;
    }
    Xml_.append("</t></is></c>");
  }

  std::string Date_, Value_;
  std::string Xml_;
  // Packed on a thread of its own while the next rows are made.
  TDeflaterThread Rows_{kRowsLevel};
  std::int64_t LastRow_ = 0;
};

}  // namespace

struct TXlsxStream::TState {
  TScratchFolder Scratch;
  TWorkbook Book{Scratch.Workbook(), Scratch.Path()};
  lxw_worksheet *Summary = nullptr;
  std::unique_ptr<TSheetRows> Rows;
  std::int64_t Records = 0;
};

TXlsxStream::TXlsxStream(const std::array<std::string, 16> &captions) : S_(std::make_unique<TState>()) {
  TWorkbook &book = S_->Book;
  lxw_worksheet *data = book.Sheet("Datos");
  S_->Summary = book.Sheet("Estadísticas");
  lxw_format *bold = book.Format(nullptr, true);
  lxw_format *date = book.Format("dd/mm/yyyy hh:mm:ss");
  lxw_format *value = book.Format("0.0");
  TWorkbook::Check(worksheet_set_column(data, 0, 0, 20, nullptr));
  TWorkbook::Check(worksheet_set_column(data, 1, Channels, 8, nullptr));
  worksheet_freeze_panes(data, 1, 0);
  TWorkbook::Check(worksheet_write_string(data, 0, 0, kDateTimeCaption, bold));
  for (int k = 0; k < Channels; ++k)
    TWorkbook::Check(
        worksheet_write_string(data, 0, static_cast<lxw_col_t>(k + 1), captions[static_cast<size_t>(k)].c_str(), bold));
  // The styles the cells would have been given, in the order the library
  // gives them as the rows go out: the header's, then the first record's.
  lxw_format_get_xf_index(bold);
  const int dateStyle = lxw_format_get_xf_index(date);
  S_->Rows = std::make_unique<TSheetRows>(dateStyle, lxw_format_get_xf_index(value));
}

TXlsxStream::~TXlsxStream() = default;

void TXlsxStream::Add(const TRecordStamp &stamp, const std::array<std::optional<std::int64_t>, 16> &tenths) {
  RefuseOverSheetRows(S_->Records + 1);
  S_->Rows->Add(++S_->Records, stamp, tenths);
}

void TXlsxStream::Finish(const std::string &path, const TDataStatistics &stats,
                         const std::array<TRecordStamp, 16> &minAt, const std::array<TRecordStamp, 16> &maxAt) {
  WriteStatisticsSheet(S_->Book, S_->Summary, stats, minAt, maxAt);
  S_->Book.Close();
  const std::string written = ReadWhole(S_->Scratch.Workbook());
  std::vector<TZipEntry> entries = ReadZipEntries(written);
  std::string packed;
  bool found = false;
  for (TZipEntry &entry : entries) {
    if (entry.Name != "xl/worksheets/sheet1.xml") continue;
    entry = S_->Rows->Sheet(entry, packed);
    found = true;
  }
  if (!found) throw Exception("No se pudo escribir el libro XLSX: falta la hoja de datos.");
  WriteFileAtomically(path, PackZip(entries));
}

void WriteXlsx(const std::string &path, const TRecordsView &view, const TStatLimits &limits,
               const TAlarmOptions &alarms) {
  const int records = view.Records > 0 ? view.Records : 0;
  RefuseOverSheetRows(records);
  const TDataStatistics stats = ComputeStatistics(view.Table, records, view.ColumnOrder, limits, alarms);
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
    stream.Add(TableRecordStamp(view.Table, r), tenths);
  }
  std::array<TRecordStamp, 16> minAt, maxAt;
  for (size_t k = 0; k < stats.Channels.size(); ++k) {
    if (stats.Channels[k].Count == 0) continue;
    minAt[k] = TableRecordStamp(view.Table, stats.Channels[k].MinRow);
    maxAt[k] = TableRecordStamp(view.Table, stats.Channels[k].MaxRow);
  }
  stream.Finish(path, stats, minAt, maxAt);
}

void SaveRecords(const std::string &path, TExportFormat format, const TRecordsView &view, TCsvStyle style,
                 const TStatLimits &limits, const TAlarmOptions &alarms) {
  switch (format) {
    case TExportFormat::Text: SaveTextFile(path, view.Table, view.Records, view.ColumnOrder); break;
    case TExportFormat::Csv: WriteFileAtomically(path, BuildCsv(view, style)); break;
    case TExportFormat::Xlsx: WriteXlsx(path, view, limits, alarms); break;
  }
}
