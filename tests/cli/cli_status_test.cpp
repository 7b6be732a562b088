#include "cli/cli_status.h"
#include "cli/cli_errors.h"
#include "cli/cli_options.h"
#include "logger/demo_port.h"
#include "runtime/format_settings.h"
#include "sim/logger_simulator.h"

#include "cli_test_peer.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <fstream>

namespace {

// A frame of a logger whose clock is `aheadMs` ahead of the PC's local time
// at the moment it is made.
std::string FrameAhead(std::int64_t aheadMs, int rateCode, long records) {
  const QDateTime c = QDateTime::currentDateTime().addMSecs(aheadMs);
  TLoggerState s;
  s.Clock = {c.date().year(), c.date().month(), c.date().day(), c.time().hour(), c.time().minute(), c.time().second()};
  s.RateCode = rateCode;
  s.Readings.fill(750);
  s.MemoryCount = records;
  return MakeLiveFrame(s);
}

// A logger sending such frames four times a second for a second and a half.
void SendFrames(ScriptedLogger &logger, std::int64_t aheadMs, int rateCode, long records) {
  logger.Play([=](ScriptedLogger &l) {
    for (int i = 0; i < 6; ++i) {
      l.Send(FrameAhead(aheadMs, rateCode, records));
      ScriptedLogger::Sleep(250);
    }
  });
}

double JsonNumber(const std::string &json, const std::string &field) {
  const auto at = json.find("\"" + field + "\":");
  return at == std::string::npos ? -1e9 : std::stod(json.substr(at + field.size() + 3));
}

}  // namespace

TEST(CliStatus, OneFramesHealthAsTextAndJson) {
  ApplyProgramFormats();
  PtyPair pty;
  ScriptedLogger logger(pty);
  SendFrames(logger, 37000, 5, 1990);
  const CliRun text = RunCliCaptured({"status", "--port", pty.SlavePath()});
  logger.Join();
  ASSERT_EQ(text.Code, exOk) << text.Err;
  // The live line, then the clock and the memory. A frame shows whole
  // seconds, and one alone says no more than a whole second: 37, or 36 if
  // the PC was slow to see it, or 35 on a machine so busy that the frame
  // waited a second more in the line before the command read it.
  EXPECT_TRUE(QString::fromStdString(text.Out).contains(
      QRegularExpression("tasa 30 min  memoria 1990\n"
                         "El reloj del registrador va 3[567] s adelantado\n"
                         "Memoria ocupada: 1990 de 2000 registros\\. Memoria llena el "
                         "\\d\\d/\\d\\d/20\\d\\d \\d\\d:\\d\\d \\(a 30 minutos\\)\n$")))
      << text.Out;

  SendFrames(logger, -125000, 5, 1990);
  const QDateTime asked = QDateTime::currentDateTime();
  const CliRun json = RunCliCaptured({"status", "--port", pty.SlavePath(), "--json"});
  logger.Join();
  ASSERT_EQ(json.Code, exOk) << json.Err;
  EXPECT_EQ(json.Out.rfind("{\"fecha\":", 0), 0u) << "the live object first";
  EXPECT_TRUE(json.Out.find("\"deriva_s\":-125,") != std::string::npos ||
              json.Out.find("\"deriva_s\":-126,") != std::string::npos ||
              json.Out.find("\"deriva_s\":-127,") != std::string::npos)
      << json.Out;
  EXPECT_EQ(JsonNumber(json.Out, "capacidad"), 2000);
  EXPECT_EQ(JsonNumber(json.Out, "memoria"), 1990);
  EXPECT_NE(json.Out.find("\"memoria_llena\":false"), std::string::npos) << json.Out;
  // Ten records to go at 30 minutes: five hours from now, give or take the
  // minute the PC clock may turn meanwhile.
  const QString full = asked.addSecs(5 * 3600).toString("dd/MM/yyyy hh:mm");
  const QString later = asked.addSecs(5 * 3600 + 60).toString("dd/MM/yyyy hh:mm");
  const QString out = QString::fromStdString(json.Out);
  EXPECT_TRUE(out.contains("\"llena_el\":\"" + full + "\"}") || out.contains("\"llena_el\":\"" + later + "\"}"))
      << json.Out;
}

TEST(CliStatus, AFullMemoryIsFullWhateverTheRate) {
  ApplyProgramFormats();
  for (const int rateCode : {5, 7, 0}) {
    TTimedFrame t;
    t.Frame.Year = 24;
    t.Frame.Month = 3;
    t.Frame.Day = 15;
    t.Frame.RateCode = rateCode;
    t.Frame.MemoryCount = 2000;
    t.PcMs = QDateTime(QDate(2024, 3, 15), QTime(10, 0, 0)).toMSecsSinceEpoch();
    EXPECT_NE(StatusText(t).find("de 2000 registros. Memoria llena\n"), std::string::npos) << StatusText(t);
    EXPECT_NE(StatusJson(t).find("\"memoria_llena\":true,\"llena_el\":null}"), std::string::npos) << StatusJson(t);
  }
}

TEST(CliStatus, NothingInTimeExitsWithSeven) {
  PtyPair pty;
  ScriptedLogger logger(pty);
  const CliRun quiet = RunCliCaptured({"status", "--port", pty.SlavePath(), "--timeout", "1"});
  EXPECT_EQ(quiet.Code, exNoData);
  EXPECT_NE(quiet.Err.find("ninguna trama en 1 s"), std::string::npos) << quiet.Err;
  EXPECT_EQ(quiet.Out, "");

  // Bytes that never make a frame do not keep it waiting past its time.
  logger.Play([](ScriptedLogger &l) {
    for (int i = 0; i < 15; ++i) {
      l.Send("xx");
      ScriptedLogger::Sleep(100);
    }
  });
  EXPECT_EQ(RunCliCaptured({"status", "--port", pty.SlavePath(), "--timeout", "1"}).Code, exNoData);
  logger.Join();
}

TEST(CliOptions, StatusAndVerify) {
  const TCliOptions o = ParseCliArguments({"status", "--port", "DEMO", "--json", "--timeout", "3"});
  EXPECT_EQ(o.Command, TCliCommand::Status);
  EXPECT_TRUE(o.Json);
  EXPECT_EQ(o.TimeoutSeconds, 3);
  EXPECT_TRUE(ParseCliArguments({"download", "--port", "DEMO", "-o", "d.txt", "--verificar"}).Verify);
  EXPECT_THROW(ParseCliArguments({"live", "--port", "DEMO", "--verificar"}), ECliUsage);
  EXPECT_THROW(ParseCliArguments({"status", "--port", "DEMO", "--count", "2"}), ECliUsage);
}

// A download of `arrived` records from a logger whose frames said `counted`.
class CliDownloadCheck : public ::testing::Test {
protected:
  CliRun Download(long counted, long arrived, bool verify) {
    PtyPair pty;
    ScriptedLogger logger(pty);
    TReadings r;
    r.fill(750);
    const std::string dump =
        MakeDump(TSimDumpHeader{{2024, 3, 15, 10, 0, 0}, 4}, std::vector<TReadings>(arrived, r), r);
    logger.Play([&](ScriptedLogger &l) {
      for (int waited = 0; !l.ReceiveUntil(1, 200); waited += 200) {
        if (waited >= 5000) return;
        if (counted >= 0) l.Send(CountFrame(counted));
      }
      l.ReceiveUntil(2, 3000);
      l.SendAlone(dump, 200);
      l.SendAlone("A", 200);
      l.ReceiveUntil(3, 3000);
    });
    std::vector<std::string> args{"download", "--port", pty.SlavePath(), "-o", Path(), "--force"};
    if (verify) args.push_back("--verificar");
    CliRun run = RunCliCaptured(args);
    logger.Join();
    return run;
  }
  std::string Path() const { return dir.filePath("d.txt").toStdString(); }
  long SavedRecords() const {
    std::ifstream in(Path(), std::ios::binary);
    const std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return static_cast<long>(std::count(s.begin(), s.end(), '\n')) - 2;
  }
  QTemporaryDir dir;
};

TEST_F(CliDownloadCheck, ACountThatDiffersIsToldAndWithVerificarFailsKeepingEverything) {
  ApplyProgramFormats();
  const struct {
    long counted, arrived;
    bool verify;
    int code;
    const char *out, *err;
  } cases[] = {
      {3, 3, true, exOk, "Descarga completa: 3 registros desde el ", ""},
      {3, 2, false, exOk, "Descarga: 2 registros desde el ",
       "Aviso: La descarga trajo 2 registros, pero el registrador indicaba 3 en su memoria. Se conserva todo lo "
       "recibido.\n"},
      {3, 4, true, exCountMismatch, "Descarga: 4 registros desde el ",
       "talvex-cli: La descarga trajo 4 registros, pero el registrador indicaba 3 en su memoria."},
      {-1, 3, true, exCountMismatch, "Descarga: 3 registros desde el ", "No llegó ninguna trama del registrador"},
  };
  for (const auto &c : cases) {
    const CliRun run = Download(c.counted, c.arrived, c.verify);
    EXPECT_EQ(run.Code, c.code) << c.counted << "/" << c.arrived << ": " << run.Err;
    EXPECT_EQ(run.Out.rfind(c.out, 0), 0u) << run.Out;
    if (*c.err) {
      EXPECT_NE(run.Err.find(c.err), std::string::npos) << run.Err;
    } else {
      EXPECT_EQ(run.Err, "");
    }
    EXPECT_EQ(SavedRecords(), c.arrived) << "saved whatever the count said";
  }
}

TEST(DemoLogger, StartsAheadAndGains) {
  const TSimConfig cfg = DemoSimulatorConfig();
  EXPECT_NEAR(static_cast<double>(cfg.Start.ToMs() - TSimDateTime::Now().ToMs()), kDemoClockAheadMs, 2000);
  EXPECT_GT(cfg.DriftSecondsPerDay, 0);
}
