#include "app/cli_errors.h"
#include "app/cli_options.h"
#include "app/cli_status.h"
#include "app/demo_port.h"
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
  // seconds: one alone puts a clock 37 s ahead between 36 and 37 s, a little
  // below if the PC was slow to see it.
  EXPECT_TRUE(QString::fromStdString(text.Out)
                  .contains(QRegularExpression("tasa 30 min  memoria 1990\n"
                                               "El reloj del registrador va 3[567](,\\d)? s adelantado\n"
                                               "Memoria ocupada: 1990 de 2000 registros\\. Memoria llena el "
                                               "\\d\\d/\\d\\d/20\\d\\d \\d\\d:\\d\\d \\(a 30 minutos\\)\n$")))
      << text.Out;

  SendFrames(logger, -125000, 5, 1990);
  const QDateTime asked = QDateTime::currentDateTime();
  const CliRun json = RunCliCaptured({"status", "--port", pty.SlavePath(), "--json"});
  logger.Join();
  ASSERT_EQ(json.Code, exOk) << json.Err;
  EXPECT_EQ(json.Out.rfind("{\"fecha\":", 0), 0u) << "the live object first";
  EXPECT_GE(JsonNumber(json.Out, "deriva_s"), -126.5);
  EXPECT_LE(JsonNumber(json.Out, "deriva_s"), -124.9);
  EXPECT_EQ(JsonNumber(json.Out, "capacidad"), 2000);
  EXPECT_EQ(JsonNumber(json.Out, "memoria"), 1990);
  EXPECT_NE(json.Out.find("\"memoria_llena\":false"), std::string::npos) << json.Out;
  // Ten records to go at 30 minutes: five hours from now, give or take the
  // minute the PC clock may turn meanwhile.
  const QString full = asked.addSecs(5 * 3600).toString("dd/MM/yyyy hh:mm");
  const QString later = asked.addSecs(5 * 3600 + 60).toString("dd/MM/yyyy hh:mm");
  const QString out = QString::fromStdString(json.Out);
  EXPECT_TRUE(out.contains("\"llena_el\":\"" + full + "\"}") || out.contains("\"llena_el\":\"" + later + "\"}")) << json.Out;
}

TEST(CliStatus, FullMemoryAndAnUnknownRate) {
  ApplyProgramFormats();
  const struct {
    int rateCode;
    long records;
    const char *text, *json;
  } cases[] = {
      {6, 2000, "Memoria ocupada: 2000 de 2000 registros. Memoria llena\n", "\"memoria_llena\":true,\"llena_el\":null}"},
      {7, 10, "Memoria ocupada: 10 de 2000 registros. Tasa desconocida: sin previsión\n",
       "\"memoria_llena\":false,\"llena_el\":null}"},
  };
  for (const auto &c : cases) {
    TTimedFrame t{*DecodeLiveFrame(FrameAhead(0, c.rateCode, c.records)), QDateTime::currentMSecsSinceEpoch()};
    const std::string text = StatusText(t), json = StatusJson(t);
    EXPECT_EQ(text.substr(text.size() - std::string(c.text).size()), c.text) << text;
    EXPECT_EQ(json.substr(json.size() - std::string(c.json).size()), c.json) << json;
  }
  // A clock that is no date says so instead of a drift.
  TTimedFrame t{*DecodeLiveFrame(CliFrame()), 0};
  t.Frame.Month = 13;
  EXPECT_NE(StatusText(t).find("no da una fecha válida"), std::string::npos);
  EXPECT_NE(StatusJson(t).find("\"deriva_s\":null"), std::string::npos);
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
    for (int i = 0; i < 20; ++i) {
      l.Send("xx");
      ScriptedLogger::Sleep(100);
    }
  });
  const CliRun noise = RunCliCaptured({"status", "--port", pty.SlavePath(), "--timeout", "1"});
  logger.Join();
  EXPECT_EQ(noise.Code, exNoData);
}

TEST(CliStatus, TheSimulatorsDriftReachesTheStatus) {
  ApplyProgramFormats();
  TSimConfig cfg;
  cfg.FrameIntervalMs = 100;
  cfg.Start = TSimDateTime::FromMs(TSimDateTime::Now().ToMs() + 37000);
  cfg.DriftSecondsPerDay = 20;
  TLoggerSimulator sim(cfg);
  sim.Start();
  const CliRun run = RunCliCaptured({"status", "--port", sim.SlavePath(), "--json"});
  ASSERT_EQ(run.Code, exOk) << run.Err;
  // Started within a second below 37 s ahead (its start is given to the
  // second), and a frame shows whole seconds.
  EXPECT_GE(JsonNumber(run.Out, "deriva_s"), 35.0);
  EXPECT_LE(JsonNumber(run.Out, "deriva_s"), 37.1);
}

TEST(CliOptions, StatusAndVerify) {
  TCliOptions o = ParseCliArguments({"status", "--port", "DEMO", "--json", "--timeout", "3"});
  EXPECT_EQ(o.Command, TCliCommand::Status);
  EXPECT_TRUE(o.Json);
  EXPECT_EQ(o.TimeoutSeconds, 3);
  EXPECT_TRUE(ParseCliArguments({"download", "--port", "DEMO", "-o", "d.txt", "--verificar"}).Verify);
  EXPECT_FALSE(ParseCliArguments({"download", "--port", "DEMO", "-o", "d.txt"}).Verify);
  for (const std::vector<std::string> &bad : std::vector<std::vector<std::string>>{
           {"status", "--port", "DEMO", "--count", "2"}, {"live", "--port", "DEMO", "--verificar"}, {"status"}})
    EXPECT_THROW(ParseCliArguments(bad), ECliUsage) << bad[0] << " " << bad.back();
  EXPECT_NE(CliUsageText().find("10 la descarga no coincide"), std::string::npos);
}

// A download of `arrived` records from a logger whose frames said `counted`.
class CliDownloadCheck : public ::testing::Test {
protected:
  CliRun Download(long counted, long arrived, bool verify) {
    PtyPair pty;
    ScriptedLogger logger(pty);
    TReadings r;
    r.fill(750);
    const std::string dump = MakeDump(TSimDumpHeader{{2024, 3, 15, 10, 0, 0}, 4}, std::vector<TReadings>(arrived, r), r);
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
    const CliRun run = RunCliCaptured(args);
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
       "Aviso: La descarga trajo 2 registros, pero el registrador indicaba 3 en su memoria. Se conserva todo lo recibido.\n"},
      {3, 2, true, exCountMismatch, "Descarga: 2 registros desde el ",
       "talvex-cli: La descarga trajo 2 registros, pero el registrador indicaba 3 en su memoria."},
      {3, 4, true, exCountMismatch, "Descarga: 4 registros desde el ", "indicaba 3 en su memoria"},
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
