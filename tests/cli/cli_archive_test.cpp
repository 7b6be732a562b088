// talvex-cli on the history archive: saved files brought in, a file that
// does not read beside ones that do, and what list tells a script. Every
// archive lives in a temporary folder; TALVEX_DB points there too, so that a
// run that forgot --db still never reaches the user's own.

#include "archive/archive.h"
#include "cli/cli_errors.h"
#include "cli/cli_options.h"
#include "data/text_file_writer.h"
#include "logger/download_session.h"
#include "runtime/format_settings.h"
#include "sim/logger_simulator.h"

#include "cli_test_peer.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>

namespace {

class CliArchive : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    setenv("TALVEX_DB", Path("entorno.sqlite").c_str(), 1);
    ApplyProgramFormats();
    // 25 five-minute records after a start at 15/03/2004 10:30:00.
    std::vector<TReadings> lines;
    for (int i = 0; i < 25; ++i) {
      TReadings r;
      r.fill(500);
      r[0] = static_cast<std::uint16_t>(700 + i);
      lines.push_back(r);
    }
    TReadings last;
    last.fill(500);
    const TDecodedDump decoded = DecodeDump(MakeDump(TSimDumpHeader{{2004, 3, 15, 10, 30, 0}, 2}, lines, last) + "A");
    std::ofstream(Path("datos.txt"), std::ios::binary) << DumpTextFile(decoded);
    db = Path("archivo.sqlite");
  }
  void TearDown() override { unsetenv("TALVEX_DB"); }
  std::string Path(const std::string &name) const { return dir.filePath(QString::fromStdString(name)).toStdString(); }
  std::int64_t Held(const std::string &address, const std::string &logger) {
    TArchive archive(address);
    return archive.Count(logger, TStamp{2000, 1, 1, 0, 0, 0}, TStamp{2100, 1, 1, 0, 0, 0});
  }

  QTemporaryDir dir;
  std::string db;
};

TEST_F(CliArchive, TheSameFileTwiceAddsNothingTheSecondTime) {
  CliRun first = RunCliCaptured({"archive", "import", Path("datos.txt"), "--logger", "Cámara 1", "--db", db});
  ASSERT_EQ(first.Code, exOk) << first.Err;
  EXPECT_NE(first.Out.find(": 25 registros nuevos, 0 ya estaban"), std::string::npos) << first.Out;
  // The second time through the environment's archive, which --db overrode
  // the first time: it must be the same one to hold them all already.
  setenv("TALVEX_DB", ("sqlite:" + db).c_str(), 1);
  CliRun second = RunCliCaptured({"archive", "import", "--logger=Cámara 1", Path("datos.txt")});
  ASSERT_EQ(second.Code, exOk) << second.Err;
  EXPECT_NE(second.Out.find(": 0 registros nuevos, 25 ya estaban"), std::string::npos) << second.Out;
  EXPECT_EQ(Held(db, "Cámara 1"), 25);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("entorno.sqlite"))));
}

TEST_F(CliArchive, AFileThatDoesNotReadIsToldAndTheOthersStillGoIn) {
  std::ofstream(Path("notas.txt")) << "esto no son datos\n";
  CliRun run = RunCliCaptured(
      {"archive", "import", Path("notas.txt"), Path("falta.txt"), Path("datos.txt"), "--logger", "Horno", "--db", db});
  EXPECT_EQ(run.Code, exFileError);
  // The reader's own words, naming each file.
  EXPECT_NE(run.Err.find("\"" + Path("notas.txt") + "\": línea 1"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("\"" + Path("falta.txt") + "\""), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("2 de 3 archivos no se guardaron"), std::string::npos) << run.Err;
  EXPECT_NE(run.Out.find(Path("datos.txt") + ": 25 registros nuevos"), std::string::npos) << run.Out;
  EXPECT_EQ(Held(db, "Horno"), 25);
}

TEST_F(CliArchive, ListTellsAScriptEachLoggerItsPortCountAndSpan) {
  ASSERT_EQ(RunCliCaptured({"archive", "import", Path("datos.txt"), "--logger", "Cámara \"1\"", "--db", db}).Code,
            exOk);
  TArchive(db).SeeLogger("Horno", "/dev/ttyUSB0");
  CliRun run = RunCliCaptured({"archive", "list", "--json", "--db", db});
  ASSERT_EQ(run.Code, exOk) << run.Err;
  EXPECT_EQ(run.Out, "{\"archivo\":\"" + db +
                         "\",\"registradores\":["
                         "{\"nombre\":\"Cámara \\\"1\\\"\",\"puerto\":null,\"registros\":25,"
                         "\"primero\":\"2004-03-15T10:35:00\",\"ultimo\":\"2004-03-15T12:35:00\"},"
                         "{\"nombre\":\"Horno\",\"puerto\":\"/dev/ttyUSB0\",\"registros\":0,"
                         "\"primero\":null,\"ultimo\":null}]}\n");
}

// Each archive command takes only its own options and words, wherever on the
// line they come.
TEST(CliArchiveArguments, EachArchiveCommandTakesOnlyItsOwn) {
  struct Case {
    std::vector<std::string> Args;
    const char *Refusal;  // empty: accepted
  };
  const Case cases[] = {
      {{"archive", "import", "a.txt", "b.csv", "--logger", "X"}, ""},
      {{"archive", "--db", "x.sqlite", "list", "--json"}, ""},
      {{"archive", "list", "--logger", "X"}, "archive list no admite la opción --logger"},
      {{"archive", "--json", "import", "a.txt", "--logger", "X"}, "archive import no admite la opción --json"},
      {{"archive", "import", "a.txt"}, "necesita --logger"},
      {{"archive", "import", "--logger", "X"}, "espera uno o más archivos"},
      {{"archive", "list", "de-más"}, "Argumento de más"},
      {{"archive"}, "espera una orden"},
      {{"archive", "borrar"}, "Orden desconocida: \"archive borrar\""},
      {{"archive", "list", "--db", ""}, "--db espera"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.Args.size() > 1 ? c.Args[1] + " " + c.Refusal : c.Refusal);
    std::string refusal;
    try {
      const TCliOptions o = ParseCliArguments(c.Args);
      if (c.Args[1] == "import") {
        EXPECT_EQ(o.Command, TCliCommand::ArchiveImport);
        EXPECT_EQ(o.Inputs, (std::vector<std::string>{"a.txt", "b.csv"}));
      }
    } catch (const ECliUsage &e) {
      refusal = e.Message();
    }
    if (*c.Refusal == '\0') EXPECT_EQ(refusal, "");
    else EXPECT_NE(refusal.find(c.Refusal), std::string::npos) << refusal;
  }
}

}  // namespace
