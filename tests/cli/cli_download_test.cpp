#include "cli/cli_commands.h"
#include "cli/cli_errors.h"
#include "cli/cli_link.h"
#include "data/data_window.h"
#include "logger/download_session.h"
#include "runtime/format_settings.h"
#include "serial/serial_port.h"
#include "sim/logger_simulator.h"

#include "cli_test_peer.h"
#include "common/test_files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <fstream>
#include <sstream>

namespace {

bool Exists(const std::string &path) { return QFileInfo::exists(QString::fromStdString(path)); }

TReadings Same(std::uint16_t reading) {
  TReadings r;
  r.fill(reading);
  return r;
}

// Header of 15/03/2004 10:30:00 at 5 minutes, then records of known values:
// 750 is 25,0 and 400 is -10,0.
std::string KnownDump(int records) {
  std::vector<TReadings> lines;
  for (int i = 0; i < records; ++i) {
    TReadings r = Same(500);
    r[0] = static_cast<std::uint16_t>(i % 2 ? 400 : 750);
    r[15] = static_cast<std::uint16_t>(600 + i);
    lines.push_back(r);
  }
  return MakeDump(TSimDumpHeader{{2004, 3, 15, 10, 30, 0}, 2}, lines, Same(500));
}

// What the downloaded-data window writes for a dump when the user saves it.
std::string WindowSave(const std::string &dump, const std::string &path) {
  TForm5 form(dump);
  form.ExecuteSaveDialog = [&](TForm5 &) { return QString::fromStdString(path); };
  form.AskQuestion = [](TForm5 &, const QString &) { return QMessageBox::Yes; };
  form.FormActivate();
  form.SpeedButton1Click();
  return ReadFile(path);
}

class CliDownload : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ClearCliInterrupt();
  }
  void TearDown() override { ClearCliInterrupt(); }
  std::string Path(const std::string &name) const { return dir.filePath(QString::fromStdString(name)).toStdString(); }

  QTemporaryDir dir;
  PtyPair pty;
  ScriptedLogger logger{pty};
};

// The logger's side of a download request: live frames saying it holds
// `records` until the request comes ("8" or "E"), then "X" a second later; a
// stray live frame in between is not part of the dump.
void AnswerRequest(ScriptedLogger &l, long records) {
  for (int waited = 0; !l.ReceiveUntil(1, 200); waited += 200) {
    if (waited >= 5000) return;
    l.Send(CountFrame(records));
  }
  l.Send("3014251203071800502238");  // the frame the logger was in the middle of
  if (!l.ReceiveUntil(2, 5000)) return;
  ScriptedLogger::Sleep(300);
}

}  // namespace

TEST_F(CliDownload, SavesTheBytesTheDataWindowSavesAndKeepsTheDumpAsReceived) {
  ApplyProgramFormats();
  const std::string dump = KnownDump(5);
  const std::size_t third = dump.size() / 3;
  logger.Play([&](ScriptedLogger &l) {
    AnswerRequest(l, 5);
    l.SendAlone(dump.substr(0, third));
    l.SendAlone(dump.substr(third, third));
    l.SendAlone(dump.substr(2 * third));
    l.SendAlone("A", 400);
    l.ReceiveUntil(3, 5000);
  });
  const CliRun run = RunCliCaptured(
      {"download", "--port", pty.SlavePath(), "-o", Path("datos.txt"), "--raw", Path("volcado.raw")}, true);
  logger.Join();
  ASSERT_EQ(run.Code, exOk) << run.Err;

  // "8", a second, "X"; the acknowledgement after the end mark.
  EXPECT_EQ(logger.Received(), "8Xx");
  EXPECT_GE(logger.Between(0, 1), 900);
  // The dump is what the logger sent after the request, end mark included,
  // without what came before the dump proper.
  EXPECT_EQ(ReadFile(Path("volcado.raw")), dump + "A");

  const std::string saved = ReadFile(Path("datos.txt"));
  EXPECT_EQ(saved, WindowSave(dump + "A", Path("ventana.txt")));
  // Header, 5 records, the record in progress (decoded, never saved), end mark.
  EXPECT_NE(saved.find("\r\n\r\n15/03/2004  10:35:00  25,0  0,0  "), std::string::npos);
  EXPECT_NE(saved.find("15/03/2004  10:40:00  -10,0  "), std::string::npos);
  EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 2 + 5);
  EXPECT_NE(run.Out.find("Descarga completa: 5 registros"), std::string::npos) << run.Out;
  EXPECT_EQ(run.Err.find("Aviso"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("\rRecibiendo: "), std::string::npos) << run.Err;
}

TEST_F(CliDownload, FullDownloadFromTheSimulatorMatchesTheWindowAndAcknowledges) {
  ApplyProgramFormats();
  TSimConfig cfg;
  cfg.FrameIntervalMs = 100;
  cfg.StoredRecords = 120;
  cfg.DownloadDelayMs = 100;
  cfg.DownloadChunkBytes = 700;
  cfg.DownloadChunkPauseMs = 20;
  cfg.EndMarkPauseMs = 150;
  TLoggerSimulator sim(cfg);
  sim.Start();
  const TSimDumpHeader header = sim.NextDumpHeader();
  const std::vector<TReadings> records = sim.Records();

  // An older file is replaced when asked to.
  std::ofstream(Path("datos.txt")) << "viejo";
  const CliRun run = RunCliCaptured(
      {"download", "--port=" + sim.SlavePath(), "--full", "-o", Path("datos.txt"), "--raw", Path("v.raw"), "--force"});
  ASSERT_EQ(run.Code, exOk) << run.Err;
  ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return s.AcksReceived == 1; }, 3000));
  EXPECT_EQ(sim.ReceivedBytes(), "EXx");

  const std::string raw = ReadFile(Path("v.raw"));
  std::string expected = MakeDumpHeaderLine(header) + "\r\n";
  for (const TReadings &r : records) expected += MakeRecordLine(r) + "\r\n";
  ASSERT_GT(raw.size(), expected.size());
  EXPECT_EQ(raw.substr(0, expected.size()), expected);
  EXPECT_EQ(raw.substr(raw.size() - 3), "\r\nA");
  EXPECT_EQ(raw.size(), expected.size() + kRecordLineDigits + 3);

  EXPECT_EQ(ReadFile(Path("datos.txt")), WindowSave(raw, Path("ventana.txt")));
  EXPECT_EQ(run.Err.find("Recibiendo"), std::string::npos) << "no progress line off a terminal";
}

TEST_F(CliDownload, NoEndMarkEndsAtTheTimeLimitKeepingWhatCame) {
  const std::string dump = KnownDump(3);
  logger.Play([&](ScriptedLogger &l) {
    AnswerRequest(l, 3);
    l.SendAlone(dump);
    l.ReceiveFor(2500);  // no "x" must come
  });
  const CliRun run = RunCliCaptured(
      {"download", "--port", pty.SlavePath(), "-o", Path("d.txt"), "--raw", Path("d.raw"), "--timeout", "1"});
  logger.Join();
  EXPECT_EQ(run.Code, exNoData);
  EXPECT_NE(run.Err.find("marca de fin"), std::string::npos) << run.Err;
  EXPECT_EQ(ReadFile(Path("d.raw")), dump);
  EXPECT_FALSE(Exists(Path("d.txt")));
  EXPECT_EQ(logger.Received(), "8X");
}

TEST_F(CliDownload, ALoggerThatNeverAnswersEndsAtTheTimeLimit) {
  const CliRun run = RunCliCaptured(
      {"download", "--port", pty.SlavePath(), "-o", Path("d.txt"), "--raw", Path("d.raw"), "--timeout", "1"});
  EXPECT_EQ(run.Code, exNoData);
  EXPECT_NE(run.Err.find("no respondió a la petición de descarga"), std::string::npos) << run.Err;
  EXPECT_FALSE(Exists(Path("d.txt")));
  EXPECT_FALSE(Exists(Path("d.raw"))) << "nothing came, so there is nothing to keep";
  logger.ReceiveFor(100);
  EXPECT_EQ(logger.Received(), "8X");
}

TEST_F(CliDownload, AHangUpEndsTheDownloadKeepingWhatCame) {
  const std::string dump = KnownDump(3);
  logger.Play([&](ScriptedLogger &l) {
    AnswerRequest(l, 3);
    l.SendAlone(dump.substr(0, 50));
    pty.CloseMaster();
  });
  const CliRun run =
      RunCliCaptured({"download", "--port", pty.SlavePath(), "-o", Path("d.txt"), "--raw", Path("d.raw")});
  logger.Join();
  EXPECT_EQ(run.Code, exLineLost) << run.Err;
  EXPECT_NE(run.Err.find("Se cortó la línea"), std::string::npos) << run.Err;
  EXPECT_EQ(ReadFile(Path("d.raw")), dump.substr(0, 50));
  EXPECT_FALSE(Exists(Path("d.txt")));
}

TEST_F(CliDownload, CtrlCStopsTheDownloadKeepingWhatCame) {
  const std::string dump = KnownDump(3);
  logger.Play([&](ScriptedLogger &l) {
    AnswerRequest(l, 3);
    l.SendAlone(dump.substr(0, 70));
    RequestCliInterrupt();
  });
  const CliRun run =
      RunCliCaptured({"download", "--port", pty.SlavePath(), "-o", Path("d.txt"), "--raw", Path("d.raw")});
  logger.Join();
  EXPECT_EQ(run.Code, exInterrupted);
  EXPECT_EQ(ReadFile(Path("d.raw")), dump.substr(0, 70));
  EXPECT_FALSE(Exists(Path("d.txt")));
}

TEST_F(CliDownload, AnUndecodableDumpNamesLineAndPositionAndIsKept) {
  std::string dump = KnownDump(4);
  // Line 3 (the second record), channel 7's first digit.
  const std::size_t line3 = dump.find('\n', dump.find('\n') + 1) + 1;
  dump[line3 + 36] = 'x';
  logger.Play([&](ScriptedLogger &l) {
    AnswerRequest(l, 4);
    l.SendAlone(dump);
    l.SendAlone("A", 400);
    l.ReceiveUntil(3, 5000);
  });
  const CliRun run = RunCliCaptured({"download", "--port", pty.SlavePath(), "-o", Path("d.txt")});
  logger.Join();
  EXPECT_EQ(run.Code, exBadDump);
  EXPECT_NE(run.Err.find("línea 3, posición 37: 'x' no es un dígito"), std::string::npos) << run.Err;
  EXPECT_FALSE(Exists(Path("d.txt")));
  EXPECT_EQ(ReadFile(Path("d.txt.volcado")), dump + "A");
  EXPECT_EQ(logger.Received(), "8Xx") << "the logger was told the download arrived";
}

TEST_F(CliDownload, AnExistingFileIsRefusedBeforeTheLoggerIsAskedAnything) {
  std::ofstream(Path("d.txt")) << "importante";
  const CliRun run = RunCliCaptured({"download", "--port", pty.SlavePath(), "-o", Path("d.txt")});
  EXPECT_EQ(run.Code, exFileError);
  EXPECT_NE(run.Err.find("--force"), std::string::npos) << run.Err;
  EXPECT_EQ(ReadFile(Path("d.txt")), "importante");
  logger.ReceiveFor(200);
  EXPECT_EQ(logger.Received(), "");

  const CliRun noFolder = RunCliCaptured({"download", "--port", pty.SlavePath(), "-o", Path("no/hay/d.txt")});
  EXPECT_EQ(noFolder.Code, exFileError);
}

TEST(CliPortErrors, MissingBusyAndForbiddenPortsSayWhatToDo) {
  const CliRun missing = RunCliCaptured({"set-rate", "--port", "/dev/talvex-no-such-port", "15"});
  EXPECT_EQ(missing.Code, exPortMissing);
  EXPECT_NE(missing.Err.find("No existe el puerto /dev/talvex-no-such-port"), std::string::npos) << missing.Err;

  PtyPair pty;
  TSerialPort other;
  other.SetPort(pty.SlavePath());
  other.SetEvents(TSerialEvents());
  other.Open();
  const CliRun busy = RunCliCaptured({"set-rate", "--port", pty.SlavePath(), "30"});
  EXPECT_EQ(busy.Code, exPortBusy);
  EXPECT_NE(busy.Err.find("en uso"), std::string::npos) << busy.Err;
  other.Close();

  // Root opens any device, so the refusal is checked where it is worded.
  const TCliOutcome denied = DescribeFailure(std::make_exception_ptr(ESerialPort(ecOpenFailed, EACCES)), "/dev/ttyS0");
  EXPECT_EQ(denied.Code, exPermission);
  EXPECT_NE(denied.Message.find("grupo dialout"), std::string::npos) << denied.Message;
  EXPECT_EQ(DescribeFailure(std::make_exception_ptr(ESerialPort(ecOpenFailed, EPERM)), "x").Code, exPermission);
}

TEST(DownloadSession, EndMarkOnlyAloneAndDiscardedStart) {
  std::string dump;
  EXPECT_FALSE(CollectDownloadRead(dump, "*04-03-15 00:30:10 R2\r\n"));
  EXPECT_FALSE(CollectDownloadRead(dump, "AA"));
  EXPECT_FALSE(CollectDownloadRead(dump, "A\r\n"));
  EXPECT_TRUE(CollectDownloadRead(dump, "A"));
  EXPECT_EQ(dump, "*04-03-15 00:30:10 R2\r\nAAA\r\nA");

  EXPECT_EQ(DumpRecordsSoFar(""), 0);
  EXPECT_EQ(DumpRecordsSoFar("*04-03-15 00:30:10 R2\r\n0012"), 0);
  EXPECT_EQ(DumpRecordsSoFar("h\r\n1\r\n2\r\n3"), 1);
  EXPECT_EQ(DumpRecordsSoFar("h\r1\n2\r\n3\r\n"), 2);
  const std::string known = KnownDump(7);
  EXPECT_EQ(DumpRecordsSoFar(known), DecodeDump(known + "A").Records);
}

TEST(DownloadSession, FaultsAreFoundWhereTheDecoderStops) {
  const std::string good = KnownDump(3) + "A";
  EXPECT_NO_THROW(DecodeDump(good));
  EXPECT_EQ(DecodeDump(good).Records, 3);

  auto faultOf = [](const std::string &dump) -> TDumpFault {
    try {
      DecodeDump(dump);
    } catch (const EDumpDecodeError &e) {
      return e.Fault();
    }
    return TDumpFault{};
  };
  // Nothing at all: the header's first digit is missing.
  TDumpFault f = faultOf("");
  EXPECT_EQ(f.Line, 1);
  EXPECT_EQ(f.Position, 2);
  EXPECT_EQ(f.Found, "");
  // A header with a letter in the rate.
  std::string bad = good;
  bad[20] = 'R';
  f = faultOf(bad);
  EXPECT_EQ(f.Line, 1);
  EXPECT_EQ(f.Position, 21);
  EXPECT_EQ(f.Found, "R");
  // A record line cut short: the position past its end.
  std::string shortLine = KnownDump(3);
  shortLine.erase(shortLine.find('\n') + 1 + 90, 6);
  f = faultOf(shortLine + "A");
  EXPECT_EQ(f.Line, 2);
  EXPECT_EQ(f.Position, 91);
  // The line just before the end mark is read too, though never shown.
  std::string lastLine = KnownDump(3);
  lastLine[lastLine.size() - 3] = ' ';
  f = faultOf(lastLine + "A");
  EXPECT_EQ(f.Line, 5);
  EXPECT_EQ(f.Position, 96);
}
