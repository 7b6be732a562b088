// The program's files as spreadsheets give them back (tests/data/samples),
// and the dates whose day and month only the file can put in order.

#include "data/data_export.h"
#include "data/data_file_reader.h"
#include "data/dump_decoder.h"
#include "data/text_file_writer.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <unistd.h>
#include <climits>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// The samples beside this file. Built from elsewhere, __FILE__ is relative
// to the tests' build folder, which lies beside the programs' one.
std::string SamplesFolder() {
  std::string here = __FILE__;
  if (here.empty() || here[0] != '/') {
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string bin = n > 0 ? std::string(exe, static_cast<size_t>(n)) : std::string(".");
    here = bin.substr(0, bin.find_last_of('/')) + "/../tests/" + here;
  }
  return here.substr(0, here.find_last_of('/')) + "/samples/";
}

struct TExpected {
  int Row;
  const char *Date, *Time, *Ch1, *Ch16;
};

TEST(DataFileSamples, WhatOtherProgramsWroteOpensAsTheRecordsItHolds) {
  struct Case {
    const char *file;
    int records;
    std::vector<TExpected> rows;
  };
  // Channel k of record r (from 0) holds (17k + 23r) mod 300 - 50 tenths.
  const std::vector<Case> cases = {
      {"libreoffice-en-US.csv",
       5,
       {{1, "01/03/2026", "22:00:00", "-3,3", "22,2"}, {3, "02/03/2026", "00:00:00", "1,3", "-3,2"}}},
      {"libreoffice-de-DE.csv", 4, {{1, "30/01/2026", "05:00:00", "-3,3", "22,2"}}},
      {"gnumeric.csv",
       4,
       {{1, "30/01/2026", "23:00:00", "-3,3", "22,2"}, {3, "31/01/2026", "00:00:00", "1,3", "-3,2"}}},
      {"unicode-text.txt", 3, {{2, "15/03/2026", "05:15:00", "-1,0", "24,5"}}},
      {"excel-sep-line.csv", 3, {{2, "15/03/2026", "05:10:00", "-1,0", "24,5"}}},
      {"program-semicolon.csv", 3, {{1, "15/03/2004", "10:35:00", "-3,3", "22,2"}}},
      {"program-semicolon-unquoted.csv", 3, {{1, "15/03/2004", "10:35:00", "-3,3", "22,2"}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file);
    TOpenedData data;
    try {
      data = ReadDataFile(SamplesFolder() + c.file);
    } catch (const EDataFileError &e) {
      ADD_FAILURE() << e.Message();
      continue;
    }
    EXPECT_EQ(data.Records, c.records);
    for (const TExpected &r : c.rows) {
      EXPECT_EQ(data.Table.Cells(1, r.Row), r.Date) << "record " << r.Row;
      EXPECT_EQ(data.Table.Cells(2, r.Row), r.Time) << "record " << r.Row;
      EXPECT_EQ(data.Table.Cells(FirstValueColumn, r.Row), r.Ch1) << "record " << r.Row;
      EXPECT_EQ(data.Table.Cells(FirstValueColumn + 15, r.Row), r.Ch16) << "record " << r.Row;
    }
  }
  // The program's own semicolon CSV is written as it reads: CH16 first, as
  // the grid showed it, and every value quoted.
  const TOpenedData own = ReadDataFile(SamplesFolder() + "program-semicolon.csv");
  std::ifstream in(SamplesFolder() + "program-semicolon.csv", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(BuildCsv({own.Table, own.Records, own.ColumnOrder}, TCsvStyle::Semicolon), bytes);
  // Written as the text file, the channels go back under their own names.
  const std::string text = BuildTextFile(own.Table, own.Records, ChannelsInOwnOrder(own.ColumnOrder));
  EXPECT_EQ(text.substr(text.find("\r\n\r\n") + 4, 28), "15/03/2004  10:35:00  -3,3  ");

  try {
    ReadDataFile(SamplesFolder() + "libreoffice-en-US-one-day.csv");
    ADD_FAILURE() << "a file that cannot tell its day from its month opened";
  } catch (const EDataFileError &e) {
    EXPECT_EQ(e.Line(), 2);
    EXPECT_NE(e.Message().find("no se sabe si la fecha \"03/01/2026\" es día/mes/año o mes/día/año"), std::string::npos)
        << e.Message();
  }
}

std::string Csv(const std::vector<std::string> &stamps) {
  std::string csv = "FECHA Y HORA";
  for (int k = 1; k <= 16; ++k) csv += ",CH" + std::to_string(k);
  csv += "\n";
  for (const std::string &s : stamps) csv += s + ",1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1\n";
  return csv;
}

std::string TextFile(const std::vector<std::string> &stamps) {
  std::string text = std::string(TEXT_FILE_HEADER) + "\r\n\r\n";
  for (const std::string &s : stamps) {
    text += s + "  ";
    for (int k = 0; k < 16; ++k) text += "1,0  ";
    text += "\r\n";
  }
  return text;
}

TEST(DataFileSamples, ADateIsReadInTheOrderTheFileProvesOrRefused) {
  struct Case {
    const char *what;
    std::string bytes;
    const char *firstDate;  // null: refused
    int line;
    const char *says;
  };
  const std::vector<Case> cases = {
      {"a later day above 12", Csv({"05/01/2026 10:00", "13/01/2026 10:00"}), "05/01/2026", 0, ""},
      {"a later month-first day above 12", Csv({"01/05/2026 10:00", "01/13/2026 10:00"}), "05/01/2026", 0, ""},
      {"month 30 reads month first", Csv({"01/30/2026 05:00:00"}), "30/01/2026", 0, ""},
      {"even spacing month first only, across midnight",
       Csv({"03/01/2026 23:00", "03/02/2026 00:00", "03/02/2026 01:00"}), "01/03/2026", 0, ""},
      {"even spacing day first only", Csv({"01/03/2026 23:00", "02/03/2026 00:00", "02/03/2026 01:00"}), "01/03/2026",
       0, ""},
      {"the same date both ways", Csv({"05/05/2026 10:00", "05/05/2026 11:00"}), "05/05/2026", 0, ""},
      {"dots are day first", Csv({"03.01.2026 10:00:00"}), "03/01/2026", 0, ""},
      {"year first with slashes, a date alone at midnight", Csv({"2026/01/31"}), "31/01/2026", 0, ""},
      {"both orders in one file", Csv({"13/01/2026 10:00", "01/13/2026 10:00"}), nullptr, 3, "solo se lee"},
      {"one day, no telling", Csv({"03/01/2026 10:00", "03/01/2026 11:00"}), nullptr, 2, "no se sabe"},
      {"uneven both ways", Csv({"03/01/2026 10:00", "04/02/2026 11:00", "04/02/2026 11:30"}), nullptr, 2,
       "no quedan a intervalos regulares"},
      {"a day February lacks, CSV", Csv({"2026-02-29T10:00:00"}), nullptr, 2, "febrero de 2026 tiene 28 días"},
      {"no month either way", Csv({"99/99/9999 10:00"}), nullptr, 2, "ni como día/mes/año"},
      {"hour 24, CSV", Csv({"2026-03-15 24:00:00"}), nullptr, 2, "las horas van de 00 a 23"},
      {"a day February lacks, text file", TextFile({"31/02/2026  10:00:00"}), nullptr, 3, "febrero de 2026"},
      {"hour 24, text file", TextFile({"15/03/2026  24:00:00"}), nullptr, 3, "las horas van de 00 a 23"},
      {"no such month, text file", TextFile({"99/99/9999  10:00:00"}), nullptr, 3, "no hay mes 99"},
      {"month first in the text file", TextFile({"01/30/2026  10:00:00"}), nullptr, 3, "no hay mes 30"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    try {
      const TOpenedData data = ParseDataFile(c.bytes);
      if (!c.firstDate) {
        ADD_FAILURE() << "opened";
        continue;
      }
      EXPECT_EQ(data.Table.Cells(1, 1), c.firstDate);
    } catch (const EDataFileError &e) {
      if (c.firstDate) {
        ADD_FAILURE() << e.Message();
        continue;
      }
      EXPECT_EQ(e.Line(), c.line) << e.Message();
      EXPECT_NE(e.Message().find(c.says), std::string::npos) << e.Message();
    }
  }
}

TEST(DataFileSamples, AWorkbookIsNamedAsOne) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("datos.xlsx").toStdString();
  const TOpenedData data = ReadDataFile(SamplesFolder() + "gnumeric.csv");
  SaveRecords(path, TExportFormat::Xlsx, {data.Table, data.Records, data.ColumnOrder}, TCsvStyle::Comma, {});
  try {
    ReadDataFile(path);
    ADD_FAILURE() << "a workbook opened";
  } catch (const EDataFileError &e) {
    EXPECT_EQ(e.Line(), 0) << "the file as a whole";
    EXPECT_EQ(e.Message().rfind("es un libro de Excel (XLSX), no un archivo de texto", 0), 0u) << e.Message();
    EXPECT_NE(e.Message().find("CSV"), std::string::npos) << "what to do";
  }
}

}  // namespace
