// talvex-cli report: what it takes, the report of a file and of a range of
// the history with the archive's limits and acknowledgements, and
// --verificar telling the report's data from other data.

#include "cli/cli_errors.h"
#include "cli/cli_options.h"
#include "data/text_file_writer.h"
#include "runtime/format_settings.h"

#include "cli_test_peer.h"
#include "common/test_files.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

std::string Shell(const std::string &command) {
  std::string out;
  FILE *p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return out;
  char buf[4096];
  while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  pclose(p);
  return out;
}

TEST(CliReportArguments, WhatEachFormNeeds) {
  struct Case {
    std::vector<std::string> Args;
    const char *Refusal;  // empty: accepted
  };
  const Case cases[] = {
      {{"report", "d.txt", "-o", "i.pdf"}, ""},
      {{"report", "d.txt", "-o", "i.pdf", "--canales", "1,5", "--logger", "X", "--activation-energy", "90,5"}, ""},
      {{"report", "--archive", "--logger", "X", "--from", "2026-03-01", "--to", "2026-03-02", "-o", "i.pdf"}, ""},
      {{"report", "--verificar", "i.pdf", "d.txt"}, ""},
      {{"report", "d.txt"}, "necesita -o"},
      {{"report", "d.txt", "-o", "i.png"}, ".pdf"},
      {{"report", "-o", "i.pdf"}, "espera un archivo guardado"},
      {{"report", "d.txt", "-o", "i.pdf", "--from", "2026-03-01"}, "solo con --archive"},
      {{"report", "--archive", "--logger", "X", "--from", "2026-03-01", "-o", "i.pdf"}, "necesita --logger"},
      {{"report", "--verificar", "i.pdf"}, "espera el informe y el archivo de datos"},
      {{"report", "--verificar", "i.pdf", "d.txt", "-o", "x.pdf"}, "no admite la opción --output"},
      {{"report", "d.txt", "-o", "i.pdf", "--activation-energy", "0"}, "entre 1 y 1000"},
      {{"report", "d.txt", "-o", "i.pdf", "--activation-energy", "mucha"}, "\"mucha\""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.Refusal);
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

class CliReport : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ApplyProgramFormats();
    db = Path("archivo.sqlite");
    setenv("TALVEX_DB", db.c_str(), 1);
    // 30 records every 10 minutes; CH1 goes above 30,0 for 40 minutes.
    std::string text = std::string(TEXT_FILE_HEADER) + "\r\n\r\n";
    for (int r = 0; r < 30; ++r) {
      char line[64];
      std::snprintf(line, sizeof line, "02/04/2026  %02d:%02d:00  ", 6 + r / 6, r % 6 * 10);
      text += line;
      for (int k = 0; k < 16; ++k) text += std::string(k == 0 && r >= 10 && r < 14 ? "31,5" : "20,0") + "  ";
      text += "\r\n";
    }
    std::ofstream(Path("datos.txt"), std::ios::binary) << text;
  }
  void TearDown() override { unsetenv("TALVEX_DB"); }
  std::string Path(const char *name) const { return dir.filePath(name).toStdString(); }
  std::string Text(const std::string &pdf) { return Shell("pdftotext -layout '" + pdf + "' -"); }

  QTemporaryDir dir;
  std::string db;
};

TEST_F(CliReport, FileWithTheArchivesLimitsAndAcknowledgementsThenVerified) {
  ASSERT_EQ(RunCliCaptured({"archive", "import", Path("datos.txt"), "--logger", "Cámara"}).Code, exOk);
  ASSERT_EQ(RunCliCaptured({"alarms", "set", "--logger", "Cámara", "--channel", "1", "--high", "30"}).Code, exOk);
  CliRun run = RunCliCaptured({"alarms", "ack", "--id", "1", "--comment", "Puerta abierta"});
  ASSERT_EQ(run.Code, exOk) << run.Err;

  run = RunCliCaptured(
      {"report", Path("datos.txt"), "-o", Path("informe.pdf"), "--logger", "Cámara", "--canales", "1,2"});
  ASSERT_EQ(run.Code, exOk) << run.Err;
  const std::string sum = Shell("sha256sum '" + Path("datos.txt") + "'").substr(0, 64);
  EXPECT_NE(run.Out.find(sum), std::string::npos) << run.Out;
  const std::string text = Text(Path("informe.pdf"));
  for (const char *expected : {"Cámara", "02/04/2026 07:40:00", "40 min", "Puerta abierta", "Registros: 30"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected;
  EXPECT_NE(text.find(sum), std::string::npos);
  EXPECT_EQ(text.find("CANAL3"), std::string::npos);

  run = RunCliCaptured({"report", "--verificar", Path("informe.pdf"), Path("datos.txt")});
  EXPECT_EQ(run.Code, exOk) << run.Err;
  EXPECT_NE(run.Out.find("coinciden"), std::string::npos) << run.Out;

  // One value changed by a tenth is other data.
  std::string other = ReadFile(Path("datos.txt"));
  other.replace(other.find("31,5"), 4, "31,6");
  std::ofstream(Path("otros.txt"), std::ios::binary) << other;
  run = RunCliCaptured({"report", "--verificar", Path("informe.pdf"), Path("otros.txt")});
  EXPECT_EQ(run.Code, exReportMismatch);
  EXPECT_NE(run.Err.find("NO coinciden"), std::string::npos) << run.Err;

  // A PDF that is not a report, and a file that is no PDF.
  ASSERT_EQ(RunCliCaptured({"plot", Path("datos.txt"), "-o", Path("grafico.pdf")}).Code, exOk);
  for (const char *notOurs : {"grafico.pdf", "datos.txt"}) {
    run = RunCliCaptured({"report", "--verificar", Path(notOurs), Path("datos.txt")});
    EXPECT_EQ(run.Code, exFileError) << notOurs;
    EXPECT_NE(run.Err.find("no es un informe"), std::string::npos) << run.Err;
  }
}

TEST_F(CliReport, ArchiveRangeHashesWhatItsExportSaves) {
  ASSERT_EQ(RunCliCaptured({"archive", "import", Path("datos.txt"), "--logger", "Cámara"}).Code, exOk);
  const std::vector<std::string> range = {"--logger",         "Cámara", "--from",
                                          "2026-04-02T07:00", "--to",   "2026-04-02T08:00"};
  std::vector<std::string> args = {"archive", "export", "-o", Path("parte.txt")};
  args.insert(args.end(), range.begin(), range.end());
  ASSERT_EQ(RunCliCaptured(args).Code, exOk);
  args = {"report", "--archive", "-o", Path("rango.pdf")};
  args.insert(args.end(), range.begin(), range.end());
  const CliRun run = RunCliCaptured(args);
  ASSERT_EQ(run.Code, exOk) << run.Err;
  const std::string sum = Shell("sha256sum '" + Path("parte.txt") + "'").substr(0, 64);
  const std::string text = Text(Path("rango.pdf"));
  EXPECT_NE(text.find(sum), std::string::npos) << sum;
  EXPECT_NE(text.find("Registros: 7"), std::string::npos);
  EXPECT_NE(text.find("archivo histórico"), std::string::npos);
  EXPECT_EQ(RunCliCaptured({"report", "--verificar", Path("rango.pdf"), Path("parte.txt")}).Code, exOk);
}

TEST_F(CliReport, NothingToReportIsSaidAndNoFileMade) {
  ASSERT_EQ(RunCliCaptured({"archive", "import", Path("datos.txt"), "--logger", "Cámara"}).Code, exOk);
  std::ofstream(Path("vacio.txt"), std::ios::binary) << TEXT_FILE_HEADER << "\r\n\r\n";
  const std::vector<std::vector<std::string>> cases = {
      {"report", Path("vacio.txt"), "-o", Path("n.pdf")},
      {"report", "--archive", "--logger", "Cámara", "--from", "2025-01-01", "--to", "2025-01-02", "-o", Path("n.pdf")},
  };
  for (const auto &args : cases) {
    const CliRun run = RunCliCaptured(args);
    EXPECT_EQ(run.Code, exFailure) << run.Err;
    EXPECT_NE(run.Err.find("no hay nada que informar"), std::string::npos) << run.Err;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("n.pdf"))));
  }
}

}  // namespace
