// talvex-cli on a range of the history: the dates it takes, a download
// brought in and written back out as it was saved, its statistics as
// "stats" gives them for the file, and Ctrl+C leaving nothing behind.

#include "cli/cli_dates.h"
#include "cli/cli_errors.h"
#include "cli/cli_link.h"
#include "cli/cli_options.h"
#include "data/text_file_writer.h"
#include "logger/download_session.h"
#include "runtime/format_settings.h"
#include "sim/logger_simulator.h"

#include "cli_test_peer.h"
#include "common/test_files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

TEST(CliDates, BothFormsEachEndAndWhatIsNotOnTheCalendar) {
  struct Case {
    const char *Text;
    TRangeEnd End;
    TStamp Want;
    const char *Refusal;  // empty: accepted
  };
  const TRangeEnd F = TRangeEnd::From, T = TRangeEnd::To;
  const Case cases[] = {
      {"2026-03-01", F, {2026, 3, 1, 0, 0, 0}, ""},
      {"2026-03-01", T, {2026, 3, 1, 23, 59, 59}, ""},
      {"2026-03-01T10:30", F, {2026, 3, 1, 10, 30, 0}, ""},
      {"2026-03-01T10:30", T, {2026, 3, 1, 10, 30, 59}, ""},
      {"2026-03-01T10:30:15", T, {2026, 3, 1, 10, 30, 15}, ""},
      {"2026-03-01 07:05:09", F, {2026, 3, 1, 7, 5, 9}, ""},
      {"01/03/2026", T, {2026, 3, 1, 23, 59, 59}, ""},
      {"1/3/2026 7:05", F, {2026, 3, 1, 7, 5, 0}, ""},
      {"29/02/2028 23:59:59", F, {2028, 2, 29, 23, 59, 59}, ""},
      {"31/12/9999", T, {9999, 12, 31, 23, 59, 59}, ""},
      {"29/02/2026", F, {}, "febrero de 2026 tiene 28 días"},
      {"2026-04-31", T, {}, "abril de 2026 tiene 30 días"},
      {"2026-13-01", F, {}, "el mes va de 01 a 12"},
      {"00/01/2026", F, {}, "enero de 2026 tiene 31 días"},
      {"0000-01-01", F, {}, "no es una fecha real"},
      {"2026-03-01T24:00", F, {}, "no es una hora real"},
      {"01/03/2026 10:60", T, {}, "no es una hora real"},
      {"2026-03-01T10", F, {}, "se escribe AAAA-MM-DD"},
      {"2026-3-1", F, {}, "se escribe AAAA-MM-DD"},
      {"01/03/26", F, {}, "se escribe AAAA-MM-DD"},
      {"01/03/2026T10:30", F, {}, "se escribe AAAA-MM-DD"},
      {"2026-03-01T10:30:15Z", F, {}, "se escribe AAAA-MM-DD"},
      {"ayer", F, {}, "se escribe AAAA-MM-DD"},
      {"", F, {}, "se escribe AAAA-MM-DD"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.Text) + (c.End == T ? " (--to)" : " (--from)"));
    try {
      const TStamp got = ParseCliStamp("--from", c.Text, c.End);
      EXPECT_EQ(*c.Refusal, '\0') << "accepted";
      EXPECT_TRUE(got == c.Want) << IsoText(got);
    } catch (const ECliUsage &e) {
      EXPECT_NE(e.Message().find(c.Refusal), std::string::npos) << e.Message();
      EXPECT_EQ(e.Message().rfind("--from: \"" + std::string(c.Text) + "\"", 0), 0u) << e.Message();
    }
  }
}

TEST(CliArchiveRangeArguments, WhatEachRangeCommandNeeds) {
  struct Case {
    std::vector<std::string> Args;
    const char *Refusal;  // empty: accepted
  };
  const Case cases[] = {
      {{"archive", "export", "--logger", "X", "-o", "a.csv", "--from", "2026-03-01", "--to", "2026-03-01"}, ""},
      {{"archive", "stats", "--logger", "X", "--json", "--above", "5"}, ""},
      {{"plot", "--archive", "--logger", "X", "--from", "01/03/2026", "--to", "02/03/2026", "-o", "g.png"}, ""},
      {{"archive", "export", "-o", "a.csv"}, "necesita --logger"},
      {{"archive", "export", "--logger", "X"}, "necesita -o"},
      {{"archive", "stats", "--logger", "X", "-o", "a.csv"}, "archive stats no admite la opción --output"},
      {{"archive", "stats", "--logger", "X", "--from", "2026-03-02", "--to", "2026-03-01"}, "es anterior a --from"},
      {{"plot", "--archive", "--logger", "X", "--from", "2026-03-01", "-o", "g.png"}, "necesita --logger"},
      {{"plot", "--archive", "--logger", "X", "--from", "2026-03-01", "--to", "2026-03-02", "-o", "g.svg"}, ".pdf"},
      {{"plot", "--archive", "d.txt", "--logger", "X", "--from", "2026-03-01", "--to", "2026-03-02", "-o", "g.png"},
       "no un archivo"},
      {{"plot", "d.txt", "--from", "2026-03-01", "-o", "g.png"}, "solo con --archive"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.Args[0] + " " + c.Args[1] + ": " + c.Refusal);
    std::string refusal;
    try {
      ParseCliArguments(c.Args);
    } catch (const ECliUsage &e) {
      refusal = e.Message();
    }
    if (*c.Refusal == '\0') EXPECT_EQ(refusal, "");
    else EXPECT_NE(refusal.find(c.Refusal), std::string::npos) << refusal;
  }
}

class CliArchiveRange : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    setenv("TALVEX_DB", Path("entorno.sqlite").c_str(), 1);
    ClearCliInterrupt();
    ApplyProgramFormats();
    // 40 five-minute records after a start at 15/03/2004 10:30:00, with
    // values below zero.
    std::vector<TReadings> lines;
    for (int i = 0; i < 40; ++i) {
      TReadings r;
      r.fill(500);
      r[0] = static_cast<std::uint16_t>(300 + 13 * i);
      r[7] = static_cast<std::uint16_t>(900 - 11 * i);
      lines.push_back(r);
    }
    TReadings last;
    last.fill(500);
    const TDecodedDump decoded = DecodeDump(MakeDump(TSimDumpHeader{{2004, 3, 15, 10, 30, 0}, 2}, lines, last) + "A");
    saved = DumpTextFile(decoded);
    std::ofstream(Path("datos.txt"), std::ios::binary) << saved;
    ASSERT_EQ(RunCliCaptured({"archive", "import", Path("datos.txt"), "--logger", "Cámara", "--db", db}).Code, exOk);
  }
  void TearDown() override {
    unsetenv("TALVEX_DB");
    ClearCliInterrupt();
  }
  std::string Path(const std::string &name) const { return dir.filePath(QString::fromStdString(name)).toStdString(); }

  QTemporaryDir dir;
  std::string db = Path("archivo.sqlite");
  std::string saved;
};

TEST_F(CliArchiveRange, ADownloadComesBackOutAsItWasSavedAndItsStatisticsAsStatsGivesThem) {
  CliRun run = RunCliCaptured({"archive", "export", "--logger", "Cámara", "-o", Path("vuelta.txt"), "--db", db});
  ASSERT_EQ(run.Code, exOk) << run.Err;
  EXPECT_EQ(ReadFile(Path("vuelta.txt")), saved);
  EXPECT_NE(run.Out.find("Exportados 40 registros de Cámara (todo lo guardado)"), std::string::npos) << run.Out;

  // The range's ends: the first record of 15/03/2004 is at 10:35, the last
  // at 13:50; the same day as --to takes in all of them.
  run = RunCliCaptured({"archive", "stats", "--logger", "Cámara", "--from", "15/03/2004 10:35", "--to", "2004-03-15",
                        "--json", "--db", db});
  ASSERT_EQ(run.Code, exOk) << run.Err;
  const CliRun file = RunCliCaptured({"stats", Path("datos.txt"), "--json"});
  ASSERT_EQ(file.Code, exOk) << file.Err;
  // The same keys and figures; "archivo" names the archive, and the range follows.
  const std::string figures = file.Out.substr(file.Out.find(",\"registros\""));
  EXPECT_EQ(run.Out, "{\"archivo\":" + std::string("\"") + db + "\"" + figures.substr(0, figures.size() - 2) +
                         ",\"registrador\":\"Cámara\",\"desde\":\"2004-03-15T10:35:00\","
                         "\"hasta\":\"2004-03-15T23:59:59\",\"primero\":\"2004-03-15T10:35:00\","
                         "\"ultimo\":\"2004-03-15T13:50:00\",\"instantes_con_versiones\":0}\n");

  run = RunCliCaptured({"archive", "export", "--logger", "Cámara", "--from", "2004-03-15T10:36", "-o",
                        Path("parte.csv"), "--csv", "comma", "--db", db});
  ASSERT_EQ(run.Code, exOk) << run.Err;
  const std::string csv = ReadFile(Path("parte.csv"));
  EXPECT_EQ(csv.rfind("FECHA Y HORA,CH1,", 0), 0u);
  EXPECT_NE(csv.find("\r\n2004-03-15T10:40:00,"), std::string::npos);
  EXPECT_EQ(csv.find("10:35:00"), std::string::npos);
}

TEST_F(CliArchiveRange, FailuresEndAsTheOtherCommandsEnd) {
  struct Case {
    std::vector<std::string> Args;
    int Code;
    const char *Says;
  };
  std::ofstream(Path("ya.csv")) << "antes";
  const Case cases[] = {
      {{"archive", "export", "--logger", "Nadie", "-o", Path("n.csv"), "--db", db}, exFailure, "\"Nadie\""},
      {{"archive", "stats", "--logger", "Cámara", "--db", Path("falta/a.sqlite")}, exFailure, "la carpeta no existe"},
      {{"archive", "export", "--logger", "Cámara", "-o", Path("ya.csv"), "--db", db}, exFileError, "--force"},
      {{"archive", "export", "--logger", "Cámara", "-o", Path("n.csv"), "--to", "30/02/2004", "--db", db},
       exUsage,
       "febrero de 2004 tiene 29 días"},
      {{"plot", "--archive", "--logger", "Cámara", "--from", "2005-01-01", "--to", "2005-01-02", "-o", Path("g.png"),
        "--db", db},
       exFailure,
       "no tiene registros de Cámara"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.Says);
    const CliRun run = RunCliCaptured(c.Args);
    EXPECT_EQ(run.Code, c.Code) << run.Err;
    EXPECT_NE(run.Err.find(c.Says), std::string::npos) << run.Err;
  }
  EXPECT_EQ(ReadFile(Path("ya.csv")), "antes");
  EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("n.csv"))));
}

TEST_F(CliArchiveRange, CtrlCWritesNothingAndLeavesAnOldFileAsItWas) {
  std::ofstream(Path("ya.xlsx")) << "antes";
  for (const std::string name : {"nuevo.txt", "ya.xlsx"}) {
    SCOPED_TRACE(name);
    RequestCliInterrupt();
    const CliRun run =
        RunCliCaptured({"archive", "export", "--logger", "Cámara", "-o", Path(name), "--force", "--db", db}, true);
    ClearCliInterrupt();
    EXPECT_EQ(run.Code, exInterrupted) << run.Err;
    EXPECT_NE(run.Err.find("Interrumpido"), std::string::npos) << run.Err;
  }
  EXPECT_EQ(ReadFile(Path("ya.xlsx")), "antes");
  EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("nuevo.txt"))));
}

}  // namespace
