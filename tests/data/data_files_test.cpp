// Opening saved files, exporting to spreadsheets and the statistics: the
// files checked by readers nobody here wrote (Python's csv module and
// openpyxl under /usr/bin/python3).

#include "common/test_files.h"
#include "data/data_export.h"
#include "data/data_file_reader.h"
#include "data/data_statistics.h"
#include "data/dump_decoder.h"
#include "data/dump_lines.h"
#include "data/record_values.h"
#include "data/text_file_writer.h"
#include "dump_samples.h"
#include "runtime/format_settings.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace dump_samples;

namespace {

struct TDecoded {
  TDataTable Table{DataColumns, 1};
  int Records = 0;
};

TDecoded Decode(const std::string &dump) {
  ApplyProgramFormats();
  TDecoded d;
  const TDumpLines lines = SplitDumpLines(dump);
  d.Table.SetRowCount(std::max(1, static_cast<int>(lines.size()) - 2));
  TDumpHeader header;
  DOSCANALESLM35(lines, d.Table, header);
  d.Records = std::max(0, RecordCount(static_cast<int>(lines.size())));
  return d;
}

// Records whose channels all differ: channel k of record r reads r * 7 + k
// tenths less 30 degrees, so negative values come too.
std::string Varied(int records, int code = 2, int day = 15) {
  std::vector<std::string> lines;
  for (int r = 0; r <= records; ++r) {
    std::string line;
    for (int k = 0; k < 16; ++k) {
      const int raw = 200 + (r * 7 + k * 13) % 900;
      char field[8];
      std::snprintf(field, sizeof field, "%03d%03d", raw / 256, raw % 256);
      line += field;
    }
    lines.push_back(line);
  }
  return Dump(Header(4, 4, day, 0, 30, 10, code), lines);
}

// The grid's order after dragging the date column behind channel 3, and
// channel 5 in front of channel 1.
std::vector<int> DraggedOrder() { return {0, 2, 7, 3, 4, 5, 1, 6, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}; }

size_t ScratchFolders() {
  const char *tmp = std::getenv("TMPDIR");
  glob_t found{};
  const std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/talvex-xlsx-*";
  const size_t n = glob(pattern.c_str(), 0, nullptr, &found) == 0 ? found.gl_pathc : 0;
  globfree(&found);
  return n;
}

class Folder : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/talvex-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
  std::string Put(const std::string &name, const std::string &bytes) {
    std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  // Runs a Python script on /usr/bin/python3 (where Debian's modules load)
  // with the arguments; its output on failure.
  std::string Python(const std::string &script, const std::vector<std::string> &args) {
    const std::string file = Put("check.py", script);
    std::string command = "/usr/bin/python3 '" + file + "'";
    for (const auto &a : args) command += " '" + a + "'";
    command += " 2>&1";
    std::string output;
    if (FILE *p = popen(command.c_str(), "r")) {
      char buf[512];
      while (fgets(buf, sizeof buf, p)) output += buf;
      const int status = pclose(p);
      if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
    }
    return output.empty() ? "python failed" : output;
  }
  std::string dir;
};

// ---- reading back ---------------------------------------------------------

TEST(DataFileReader, WhatTheProgramSavedOpensAndSavesBackByteForByte) {
  struct Case {
    const char *what;
    std::string dump;
    std::vector<int> order;
  };
  const std::vector<Case> cases = {
      {"five-minute records", Varied(40), {}},
      {"no records", Dump(Header(4, 3, 15, 0, 30, 10, 2), {Record("002238")}), {}},
      {"one record", Varied(1), {}},
      {"an unknown rate: no dates or times", Varied(5, 9), {}},
      {"a damaged start counts on to day 32", Varied(30, 6, 31), {}},
      {"date dragged behind channel 3, channel 5 in front", Varied(12), DraggedOrder()},
      {"no stamps and columns dragged", Varied(4, 9), DraggedOrder()},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const TDecoded d = Decode(c.dump);
    const std::string saved = BuildTextFile(d.Table, d.Records, c.order);
    const TOpenedData opened = ParseDataFile(saved);
    EXPECT_EQ(opened.Kind, TDataFileKind::Text);
    EXPECT_EQ(opened.Records, d.Records);
    EXPECT_EQ(BuildTextFile(opened.Table, opened.Records, opened.ColumnOrder), saved);
    if (!c.order.empty() && d.Records > 0 && !d.Table.Cells(1, 1).empty()) {
      // The date and the time are back where they were shown; channels all
      // read alike, so their order cannot be told.
      for (int p = 1; p < DataColumns; ++p)
        if (c.order[p] <= 2) {
          EXPECT_EQ(opened.ColumnOrder[p], c.order[p]) << "position " << p;
        }
    }
  }
}

TEST(DataFileReader, StartAndRateComeFromTheFirstRecords) {
  const TOpenedData five = ParseDataFile(BuildTextFile(Decode(Varied(3)).Table, 3));
  ASSERT_TRUE(five.Start.Known);
  EXPECT_EQ(five.Start.RateText, "CADA 5 MINUTOS");
  EXPECT_EQ(ProgramDateText(five.Start.Start), "15/04/2004");
  EXPECT_EQ(ProgramTimeText(five.Start.Start), "10:30:00");
  const TOpenedData hourly = ParseDataFile(BuildTextFile(Decode(Varied(3, 6)).Table, 3));
  EXPECT_EQ(hourly.Start.RateText, "CADA 60 MINUTOS");
  EXPECT_EQ(hourly.Start.StepMinutes, 60);
  // One record, no stamps, or a step the logger has not: unknown.
  EXPECT_FALSE(ParseDataFile(BuildTextFile(Decode(Varied(1)).Table, 1)).Start.Known);
  EXPECT_FALSE(ParseDataFile(BuildTextFile(Decode(Varied(3, 9)).Table, 3)).Start.Known);
  TDecoded odd = Decode(Varied(3));
  odd.Table.SetCells(2, 2, "10:42:00");
  EXPECT_FALSE(ParseDataFile(BuildTextFile(odd.Table, 3)).Start.Known);
}

std::string Replace(std::string s, const std::string &from, const std::string &to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
  return s;
}

// "25,0" becomes "25,00", as a spreadsheet showing two decimals writes it.
std::string TrailingZeros(const std::string &s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    out += s[i];
    if (s[i] == ',' && i + 1 < s.size()) {
      out += s[++i];
      out += '0';
    }
  }
  return out;
}

TEST(DataFileReader, EditsOfAnEditorOrSpreadsheetOpenWithoutGuessing) {
  const TDecoded d = Decode(Varied(6));
  const std::string saved = BuildTextFile(d.Table, d.Records);
  struct Case {
    const char *what;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"LF line ends", Replace(saved, "\r\n", "\n")},
      {"CR line ends", Replace(saved, "\r\n", "\r")},
      {"decimal points", Replace(saved, ",", ".")},
      {"trailing blanks taken off", Replace(saved, "  \r\n", "\r\n")},
      {"a byte-order mark", "\xEF\xBB\xBF" + saved},
      {"no line end at the end", saved.substr(0, saved.size() - 2)},
      {"blank lines at the end", saved + "\r\n  \r\n"},
      {"no empty second line", Replace(saved, "\r\n\r\n", "\r\n")},
      {"values with a trailing zero", TrailingZeros(saved)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const TOpenedData opened = ParseDataFile(c.bytes);
    EXPECT_EQ(BuildTextFile(opened.Table, opened.Records, opened.ColumnOrder), saved);
  }
}

struct TRefusal {
  const char *what;
  std::string bytes;
  int line, column;
  const char *says;
};

void ExpectRefused(const TRefusal &c) {
  SCOPED_TRACE(c.what);
  try {
    ParseDataFile(c.bytes);
    ADD_FAILURE() << "opened";
  } catch (const EDataFileError &e) {
    EXPECT_EQ(e.Line(), c.line) << e.Message();
    EXPECT_EQ(e.Column(), c.column) << e.Message();
    EXPECT_NE(e.Message().find(c.says), std::string::npos) << e.Message();
    EXPECT_EQ(e.Message().rfind("línea " + std::to_string(c.line) + ", columna " + std::to_string(c.column) + ": ", 0),
              0u)
        << e.Message();
  }
}

TEST(DataFileReader, AFileItCannotReadIsNamedByLineAndColumn) {
  const TDecoded d = Decode(Varied(3));
  const std::string saved = BuildTextFile(d.Table, d.Records);
  const std::string head = std::string(TEXT_FILE_HEADER) + "\r\n\r\n";
  const std::string line = "15/04/2004  10:35:00  " + Replace(std::string(16 * 6, ' '), "      ", "25,0  ");
  const std::vector<TRefusal> cases = {
      {"an empty file", "", 1, 1, "vacío"},
      {"another text", "Lista de la compra\r\n", 1, 1, "no es un archivo de datos"},
      {"a binary file", head + std::string("15/04/2004\0", 11), 3, 11, "no es de texto"},
      {"broken UTF-8", head + "15/04/2004  10:35:00  \xC3", 3, 23, "UTF-8"},
      {"a letter in a value", head + Replace(line, "10:35:00  25,0", "10:35:00  2x,0"), 3, 23, "CH1"},
      {"two decimals", head + Replace(line, "10:35:00  25,0", "10:35:00  25,05"), 3, 23, "con un decimal"},
      {"a value missing", head + line.substr(0, line.size() - 6), 3, 113, "17 campos"},
      {"one column too many", head + line + "7,0", 3, 119, "sobran datos"},
      {"a hole in the records", head + line + "\r\n\r\n" + line, 4, 1, "línea vacía"},
      {"not a date", head + Replace(line, "15/04/2004", "15-04-2004"), 3, 1, "fecha"},
      {"one blank between fields", head + Replace(line, "10:35:00  ", "10:35:00 "), 3, 21, "dos blancos"},
      {"a line of 5000 characters", head + std::string(5000, '1'), 3, 4097, "4096"},
      {"CSV: a column nobody wrote", "FECHA Y HORA,CH1,Notas\r\n", 1, 18, "desconocida"},
      {"CSV: a channel missing", "FECHA Y HORA;CH1;CH2\r\n", 1, 21, "CH3"},
      {"CSV: the date twice", "FECHA Y HORA,FECHA,CH1\r\n", 1, 14, "más de una vez"},
  };
  for (const TRefusal &c : cases) ExpectRefused(c);
}

TEST(DataFileReader, SpreadsheetCsvEditsOpenAndFaultsAreNamed) {
  TDecoded d = Decode(Varied(5));
  const TRecordsView view{d.Table, d.Records, DraggedOrder()};
  for (TCsvStyle style : {TCsvStyle::Comma, TCsvStyle::Semicolon}) {
    const std::string csv = BuildCsv(view, style);
    const char sep = style == TCsvStyle::Comma ? ',' : ';';
    struct Case {
      const char *what;
      std::string bytes;
    };
    const std::vector<Case> cases = {
        {"as exported", csv},
        {"LF line ends", Replace(csv, "\r\n", "\n")},
        {"a trailing empty column", Replace(csv, "\r\n", std::string(1, sep) + "\r\n")},
        {"stamps with a blank and no seconds",
         Replace(Replace(csv, "T", " "), ":00" + std::string(1, sep), std::string(1, sep))},
        {"separate date and time columns",
         Replace(Replace(Replace(csv, "FECHA Y HORA", std::string("FECHA") + sep + "HORA"), "T", std::string(1, sep)),
                 "2004-04-15", "15/04/2004")},
    };
    for (const Case &c : cases) {
      SCOPED_TRACE(std::string(c.what) + (style == TCsvStyle::Comma ? ", comma" : ", semicolon"));
      const TOpenedData opened = ParseDataFile(c.bytes);
      EXPECT_EQ(opened.Kind, TDataFileKind::Csv);
      // The channels come back in their dragged order; the date and time
      // lead, as the CSV has them.
      EXPECT_EQ(opened.ColumnOrder[3], 7);
      std::vector<int> order = opened.ColumnOrder;
      EXPECT_EQ(BuildCsv({opened.Table, opened.Records, order}, style), csv);
    }
  }
  ExpectRefused({"a decimal comma in a comma-separated file",
                 "FECHA Y HORA,CH1,CH2,CH3,CH4,CH5,CH6,CH7,CH8,CH9,CH10,CH11,CH12,CH13,CH14,CH15,CH16\r\n"
                 "2004-04-15T10:35:00,25,0,1.0,1.0,1.0,1.0,1.0,1.0,1.0,1.0,1.0,1.0,1.0,1.0,1.0,1.0,1.0\r\n",
                 2, 82, "coma decimal"});
  ExpectRefused({"a day February does not have",
                 "FECHA Y HORA;CH1;CH2;CH3;CH4;CH5;CH6;CH7;CH8;CH9;CH10;CH11;CH12;CH13;CH14;CH15;CH16\r\n"
                 "2003-02-29T10:35:00;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1\r\n",
                 2, 1, "fecha y hora"});
  ExpectRefused({"quotes left open", "FECHA Y HORA;\"CH1;CH2\r\n", 1, 14, "comillas"});
}

TEST(DataFileReader, RecordsPastTheLimitAreRefusedAtTheFirstOneOver) {
  TDataFileParser parser;
  parser.Line("FECHA Y HORA;CH1;CH2;CH3;CH4;CH5;CH6;CH7;CH8;CH9;CH10;CH11;CH12;CH13;CH14;CH15;CH16");
  const std::string record = ";1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1";
  for (int r = 1; r <= kMaxOpenRecords; ++r) parser.Line(record);
  try {
    parser.Line(record);
    ADD_FAILURE() << "one record too many taken";
  } catch (const EDataFileError &e) {
    EXPECT_EQ(e.Line(), kMaxOpenRecords + 2);
    EXPECT_NE(e.Message().find("más de 500000 registros"), std::string::npos) << e.Message();
  }
}

// ---- from disk ------------------------------------------------------------

TEST_F(Folder, ReadsFromDiskAsFromMemoryAcrossPieces) {
  // Over a megabyte: lines and CR LF pairs fall across the reader's pieces.
  const TDecoded d = Decode(LongDump(9000));
  const std::string saved = BuildTextFile(d.Table, d.Records);
  for (const std::string &bytes : {saved, Replace(saved, "\r\n", "\r")}) {
    const TOpenedData opened = ReadDataFile(Put("datos.txt", bytes));
    EXPECT_EQ(opened.Records, 9000);
    EXPECT_EQ(BuildTextFile(opened.Table, opened.Records), saved);
  }
}

TEST_F(Folder, FilesThatAreNoDataSayWhyAtOnce) {
  struct Case {
    const char *what;
    std::function<std::string()> make;
    const char *says;
  };
  const std::vector<Case> cases = {
      {"vanished between choosing and reading", [&] { return dir + "/borrado.txt"; }, "no existe"},
      {"a folder", [&] { return dir; }, "carpeta"},
      {"a FIFO nobody writes to",
       [&] {
         std::string p = dir + "/tuberia";
         mkfifo(p.c_str(), 0600);
         return p;
       },
       "no es un archivo común"},
      {"a device", [] { return std::string("/dev/zero"); }, "no es un archivo común"},
      {"2 GB",
       [&] {
         std::string p = Put("grande.txt", "");
         EXPECT_EQ(truncate(p.c_str(), 2LL * 1024 * 1024 * 1024), 0);
         return p;
       },
       "mide 2048 MB"},
      {"one line without end", [&] { return Put("binario", std::string(300000, 'x')); }, "4096"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const auto start = std::chrono::steady_clock::now();
    try {
      ReadDataFile(c.make());
      ADD_FAILURE() << "opened";
    } catch (const EDataFileError &e) {
      EXPECT_NE(e.Message().find(c.says), std::string::npos) << e.Message();
    }
    // None of them is read through (a 2 GB file is refused by its size).
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  }
}

// ---- export ---------------------------------------------------------------

TEST(DataExport, FormatByNameAndStyleByLocale) {
  EXPECT_EQ(ExportFormatOf("datos.CSV"), TExportFormat::Csv);
  EXPECT_EQ(ExportFormatOf("/a/b.xlsx"), TExportFormat::Xlsx);
  EXPECT_EQ(ExportFormatOf("datos.txt"), TExportFormat::Text);
  EXPECT_EQ(ExportFormatOf("xlsx"), TExportFormat::Text);
  EXPECT_EQ(CsvStyleFor(','), TCsvStyle::Semicolon);
  EXPECT_EQ(CsvStyleFor('.'), TCsvStyle::Comma);
}

TEST(DataExport, CsvLinesAreIsoStampsAndValuesInTheChosenStyle) {
  TDecoded d = Decode(Varied(2));
  d.Table.SetCells(FirstValueColumn, 2, "");               // a value that never decoded
  d.Table.SetCells(FirstValueColumn + 1, 0, "CH2;\"b\"");  // a caption to quote
  const std::string semicolon = BuildCsv({d.Table, 2, {}}, TCsvStyle::Semicolon);
  const std::string comma = BuildCsv({d.Table, 2, {}}, TCsvStyle::Comma);
  const std::string firstLine = semicolon.substr(0, semicolon.find("\r\n"));
  EXPECT_EQ(firstLine.rfind("FECHA Y HORA;CH1;\"CH2;\"\"b\"\"\";CH3;", 0), 0u) << firstLine;
  // A value with a decimal comma is quoted, so a spreadsheet splitting at
  // commas too keeps it whole.
  EXPECT_EQ(semicolon.find("\r\n2004-04-15T10:35:00;\"" + std::string(d.Table.Cells(3, 1)) + "\";"), firstLine.size());
  EXPECT_NE(semicolon.find("2004-04-15T10:40:00;;"), std::string::npos) << "the empty cell stays empty";
  EXPECT_NE(comma.find("2004-04-15T10:35:00," + Replace(std::string(d.Table.Cells(3, 1)), ",", ".") + ","),
            std::string::npos);
}

const char *const kCsvCheck = R"(
import csv, sys, datetime
path, sep, decimal, records = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
with open(path, newline='', encoding='utf-8') as f:
    rows = list(csv.reader(f, delimiter=sep))
assert len(rows) == records + 1, len(rows)
assert rows[0][0] == 'FECHA Y HORA' and rows[0][1] == 'CH5' and len(rows[0]) == 17, rows[0]
start = datetime.datetime(2004, 4, 15, 10, 30)
for i, row in enumerate(rows[1:], 1):
    assert len(row) == 17, row
    assert datetime.datetime.fromisoformat(row[0]) == start + datetime.timedelta(minutes=5 * i), row[0]
    for k, cell in enumerate(row[1:]):
        channel = 4 if k == 0 else k - 1 if k <= 4 else k
        raw = 200 + ((i - 1) * 7 + channel * 13) % 900
        want = (raw - 500) / 10
        assert decimal in cell or '.' not in cell, cell
        assert abs(float(cell.replace(decimal, '.')) - want) < 1e-9, (i, k, cell, want)
print('ok')
)";

TEST_F(Folder, CsvReadsBackInPythonsCsvModule) {
  const TDecoded d = Decode(Varied(50));
  const std::vector<int> order = {0, 1, 2, 7, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
  for (TCsvStyle style : {TCsvStyle::Comma, TCsvStyle::Semicolon}) {
    const std::string path = dir + "/datos.csv";
    SaveRecords(path, TExportFormat::Csv, {d.Table, d.Records, order}, style, {});
    EXPECT_EQ(Python(kCsvCheck, {path, style == TCsvStyle::Comma ? "," : ";", style == TCsvStyle::Comma ? "." : ",",
                                 std::to_string(d.Records)}),
              "");
  }
}

const char *const kXlsxCheck = R"(
import sys, datetime, json, openpyxl
path, expected = sys.argv[1], json.loads(sys.argv[2])
book = openpyxl.load_workbook(path)
assert book.sheetnames == ['Datos', 'Estadísticas'], book.sheetnames
data = book['Datos']
assert data.freeze_panes == 'A2', data.freeze_panes
assert data['A1'].value == 'FECHA Y HORA' and data['B1'].value == 'CH5' and data['Q1'].value == 'CH16'
assert data.column_dimensions['A'].width >= 19, data.column_dimensions['A'].width
assert data.max_row == expected['records'] + 1, data.max_row
start = datetime.datetime(2004, 4, 15, 10, 30)
for i in range(1, expected['records'] + 1):
    stamp = data.cell(row=i + 1, column=1)
    assert stamp.is_date and stamp.value == start + datetime.timedelta(minutes=5 * i), (i, stamp.value)
    assert 'yy' in stamp.number_format and 'hh:mm' in stamp.number_format, stamp.number_format
    for k in range(16):
        cell = data.cell(row=i + 1, column=k + 2)
        channel = 4 if k == 0 else k - 1 if k <= 4 else k
        want = (200 + ((i - 1) * 7 + channel * 13) % 900 - 500) / 10
        assert cell.data_type == 'n' and cell.number_format == '0.0', (cell.data_type, cell.number_format)
        assert abs(cell.value - want) < 1e-9, (i, k, cell.value, want)
stats = book['Estadísticas']
assert stats['A1'].value == 'Canal' and stats['B1'].value == 'Registros'
for k, want in enumerate(expected['channels']):
    row = [c.value for c in stats[k + 2]]
    assert row[0] == want['name'] and row[1] == want['count'], row
    assert abs(row[2] - want['min']) < 1e-9 and abs(row[4] - want['max']) < 1e-9, row
    assert row[3] == datetime.datetime.fromisoformat(want['minAt']), (row[3], want['minAt'])
    assert abs(row[6] - want['mean']) < 1e-9 and abs(row[7] - want['sd']) < 1e-9, row
    above = row[8] if isinstance(row[8], datetime.timedelta) else datetime.timedelta(days=row[8])
    assert abs(above.total_seconds() / 60 - want['above']) < 1e-6, (row[8], want['above'])
    assert row[9] is None, row[9]
print('ok')
)";

TEST_F(Folder, XlsxReadsBackInOpenpyxl) {
  const TDecoded d = Decode(Varied(60));
  const std::vector<int> order = {0, 1, 2, 7, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
  TStatLimits limits;
  limits.Upper = 100;  // 10,0 degrees
  const TDataStatistics stats = ComputeStatistics(d.Table, d.Records, order, limits);
  std::string expected = "{\"records\": " + std::to_string(d.Records) + ", \"channels\": [";
  for (size_t k = 0; k < stats.Channels.size(); ++k) {
    const TChannelStats &c = stats.Channels[k];
    TStamp at;
    ASSERT_TRUE(RowStamp(d.Table.Cells(1, c.MinRow), d.Table.Cells(2, c.MinRow), at));
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "%s{\"name\": \"%s\", \"count\": %d, \"min\": %.1f, \"max\": %.1f, \"minAt\": \"%s\", \"mean\": "
                  "%.17g, \"sd\": %.17g, \"above\": %lld}",
                  k ? ", " : "", c.Name.c_str(), c.Count, c.Min / 10.0, c.Max / 10.0, IsoText(at).c_str(), c.Mean,
                  c.StdDev, static_cast<long long>(*stats.MinutesAbove(c)));
    expected += buf;
  }
  expected += "]}";
  const std::string path = dir + "/datos.xlsx";
  const size_t scratchBefore = ScratchFolders();
  SaveRecords(path, TExportFormat::Xlsx, {d.Table, d.Records, order}, TCsvStyle::Comma, limits);
  EXPECT_EQ(Python(kXlsxCheck, {path, expected}), "");
  // Nothing of libxlsxwriter's work is left behind.
  EXPECT_EQ(ScratchFolders(), scratchBefore);
}

TEST_F(Folder, AFailedExportLeavesTheOldFile) {
  const TDecoded d = Decode(Varied(3));
  const std::string path = Put("datos.xlsx", "antes");
  chmod(dir.c_str(), 0500);
  if (geteuid() == 0) {
    // root writes anywhere; a path under a file fails for everyone.
    chmod(dir.c_str(), 0700);
    EXPECT_THROW(SaveRecords(path + "/no", TExportFormat::Xlsx, {d.Table, d.Records, {}}, TCsvStyle::Comma, {}),
                 EInOutError);
  } else {
    EXPECT_ANY_THROW(SaveRecords(path, TExportFormat::Xlsx, {d.Table, d.Records, {}}, TCsvStyle::Comma, {}));
    chmod(dir.c_str(), 0700);
  }
  EXPECT_EQ(ReadFile(path), "antes");
}

// ---- statistics -----------------------------------------------------------

TEST(DataStatistics, PerChannelOverTheRowsAsShown) {
  TDataTable t(DataColumns, 5);
  for (int k = 1; k <= 16; ++k) t.SetCells(FirstValueColumn + k - 1, 0, "CH" + std::to_string(k));
  const char *stamps[4][2] = {
      {"15/03/2004", "10:00:00"}, {"15/03/2004", "10:15:00"}, {"15/03/2004", "10:30:00"}, {"15/03/2004", "10:45:00"}};
  const char *ch1[4] = {"20,0", "-5,5", "30,0", "-5,5"};
  for (int r = 1; r <= 4; ++r) {
    t.SetCells(1, r, stamps[r - 1][0]);
    t.SetCells(2, r, stamps[r - 1][1]);
    t.SetCells(3, r, ch1[r - 1]);
    for (int k = 2; k <= 16; ++k) t.SetCells(FirstValueColumn + k - 1, r, "1,0");
  }
  t.SetCells(4, 3, "");  // CH2 lacks record 3
  TStatLimits limits;
  limits.Upper = 200;
  limits.Lower = -50;
  // CH2 dragged in front of CH1.
  const std::vector<int> order = {0, 1, 2, 4, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
  const TDataStatistics s = ComputeStatistics(t, 4, order, limits);
  EXPECT_EQ(s.StepMinutes, 15);
  EXPECT_EQ(s.Channels[0].Name, "CH2");
  EXPECT_EQ(s.Channels[0].Count, 3);
  const TChannelStats &c = s.Channels[1];
  EXPECT_EQ(c.Name, "CH1");
  EXPECT_EQ(c.Count, 4);
  EXPECT_EQ(c.Min, -55);
  EXPECT_EQ(c.MinRow, 2) << "the first of two equal lows";
  EXPECT_EQ(c.Max, 300);
  EXPECT_EQ(RecordStampText(t, c.MaxRow), "15/03/2004 10:30:00");
  EXPECT_DOUBLE_EQ(c.Mean, 9.75);
  EXPECT_NEAR(c.StdDev, std::sqrt(245.0625), 1e-12);  // of 20, -5.5, 30, -5.5 as a whole
  EXPECT_EQ(c.Above, 1);
  EXPECT_EQ(c.Below, 2);
  EXPECT_EQ(*s.MinutesAbove(c), 15);
  EXPECT_EQ(*s.MinutesBelow(c), 30);

  const TDataStatistics none = ComputeStatistics(t, 4, {}, {});
  EXPECT_FALSE(none.MinutesAbove(none.Channels[0]));
  t.SetCells(2, 2, "");  // the step can no longer be told
  const TDataStatistics unknown = ComputeStatistics(t, 4, {}, limits);
  EXPECT_EQ(unknown.StepMinutes, 0);
  EXPECT_FALSE(unknown.MinutesBelow(unknown.Channels[0]));
  EXPECT_EQ(unknown.Channels[0].Below, 2);
  EXPECT_EQ(DurationText(30), "30 min");
  EXPECT_EQ(DurationText(1441), "1 d 0 h 1 min");
}

// A file joined from a five-minute and an hourly download: each record
// stands for the time to the next one, not for the first step.
TEST(DataStatistics, EachRecordCountsItsOwnInterval) {
  TDataTable t(DataColumns, 23);
  for (int k = 1; k <= 16; ++k) t.SetCells(FirstValueColumn + k - 1, 0, "CH" + std::to_string(k));
  std::int64_t at = StampSeconds({2026, 3, 1, 0, 5, 0});
  for (int r = 1; r <= 22; ++r) {
    const TStamp s = StampFromSeconds(at);
    t.SetCells(1, r, ProgramDateText(s));
    t.SetCells(2, r, ProgramTimeText(s));
    t.SetCells(FirstValueColumn, r, r % 2 ? "35,0" : "20,0");  // CH1 above 30 in every other record
    at += r < 12 ? 300 : 3600;                                 // 12 five-minute records, then hourly
  }
  TStatLimits limits;
  limits.Upper = 300;
  const TDataStatistics s = ComputeStatistics(t, 22, {}, limits);
  EXPECT_TRUE(s.Irregular);
  EXPECT_EQ(s.StepMinutes, 0);
  EXPECT_EQ(s.SpacingText(), "a intervalos irregulares (de 5 min a 1 h 0 min)");
  // Records 1, 3 ... 11 five minutes each; 13 ... 21 an hour each.
  EXPECT_EQ(*s.MinutesAbove(s.Channels[0]), 6 * 5 + 5 * 60);
  // The last record lasts as long as the one before it.
  TStatLimits below;
  below.Lower = 300;
  const TDataStatistics b = ComputeStatistics(t, 22, {}, below);
  EXPECT_EQ(*b.MinutesBelow(b.Channels[0]), 5 * 5 + 6 * 60);
  // A record earlier than the one before tells no time.
  t.SetCells(2, 5, "00:00:00");
  EXPECT_FALSE(ComputeStatistics(t, 22, {}, limits).MinutesAbove(s.Channels[0]));
}

TEST(RecordValues, TenthsAndStamps) {
  struct Case {
    const char *text;
    bool ok;
    std::int64_t tenths;
  };
  for (const Case &c : std::vector<Case>{{"25,0", true, 250},
                                         {"-0,5", true, -5},
                                         {"25.50", true, 255},
                                         {"7", true, 70},
                                         {"25,05", false, 0},
                                         {"", false, 0},
                                         {"-", false, 0},
                                         {"2,", false, 0},
                                         {",5", false, 0},
                                         {" 1,0", false, 0},
                                         {"1234567890", false, 0},
                                         {"25624,3", true, 256243}}) {
    std::int64_t v = 0;
    EXPECT_EQ(ParseTenths(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.tenths) << c.text;
    }
  }
  EXPECT_EQ(TenthsText(-5), "-0,5");
  EXPECT_EQ(TenthsText(250, '.'), "25.0");
  TStamp s;
  EXPECT_TRUE(RowStamp("29/02/2004", "23:59:59", s));
  EXPECT_FALSE(RowStamp("29/02/2003", "10:00:00", s));
  EXPECT_FALSE(RowStamp("32/04/2004", "10:00:00", s));
  EXPECT_FALSE(RowStamp("15/04/2004", "30:00:00", s));
  EXPECT_EQ(StampFromSeconds(StampSeconds({2004, 2, 28, 23, 0, 0}) + 3600), (TStamp{2004, 2, 29, 0, 0, 0}));
  EXPECT_EQ(IsoText({2004, 3, 15, 10, 35, 0}), "2004-03-15T10:35:00");
}

}  // namespace
