#include "cli/cli_commands.h"
#include "cli/cli_errors.h"
#include "cli/cli_link.h"
#include "cli/cli_options.h"
#include "logger/logger_commands.h"
#include "runtime/format_settings.h"
#include "serial/port_list.h"
#include "sim/logger_simulator.h"

#include "cli_test_peer.h"

#include <gtest/gtest.h>

namespace {

std::string ZeroChannels() {
  std::string s;
  for (int k = 2; k <= 16; ++k) s += " 0,0";
  return s;
}

}  // namespace

TEST(CliLive, FramesAsTextAndJsonOneALineNoiseDroppedLikeTheWindow) {
  ApplyProgramFormats();
  PtyPair pty;
  ScriptedLogger logger(pty);
  std::string noisy = CliFrame("03238");
  noisy[40] = '#';
  logger.Play([&](ScriptedLogger &l) {
    ScriptedLogger::Sleep(300);
    const std::string frame = CliFrame();
    l.SendAlone(frame.substr(0, 60), 60);
    l.SendAlone(frame.substr(60), 60);
    l.SendAlone(noisy, 60);
    l.SendAlone(CliFrame("15255", '6', "151", "000000"), 60);
  });
  const CliRun run = RunCliCaptured({"live", "--port", pty.SlavePath(), "--count", "2"});
  logger.Join();
  ASSERT_EQ(run.Code, exOk) << run.Err;
  EXPECT_EQ(run.Out, "25/12/2003 14:30:07  25,0" + ZeroChannels() + "  batería 90,0 %  tasa 30 min  memoria 2\n" +
                         "25/12/2003 14:30:07  359,5" + ZeroChannels() +
                         "  batería 75,5 % (REEMPLAZAR PILAS)  tasa 60 min  memoria -0,96875\n");
  EXPECT_NE(run.Err.find("descartada"), std::string::npos) << run.Err;

  PtyPair pty2;
  ScriptedLogger logger2(pty2);
  logger2.Play([&](ScriptedLogger &l) {
    ScriptedLogger::Sleep(300);
    l.SendAlone(CliFrame("00000", '7', "250", "000096"), 60);
  });
  const CliRun json = RunCliCaptured({"live", "--port", pty2.SlavePath(), "--count", "1", "--json"});
  logger2.Join();
  ASSERT_EQ(json.Code, exOk) << json.Err;
  std::string channels = "-50.0";
  for (int k = 2; k <= 16; ++k) channels += ",0.0";
  EXPECT_EQ(json.Out,
            "{\"fecha\":\"25/12/2003\",\"hora\":\"14:30:07\",\"canales\":[" + channels +
                "],\"bateria\":100.0,\"reemplazar_pilas\":false,\"tasa_minutos\":null,\"memoria\":2.03125}\n");
}

TEST(CliLive, CtrlCEndsAWatchWithoutACountNormally) {
  ClearCliInterrupt();
  PtyPair pty;
  ScriptedLogger logger(pty);
  logger.Play([&](ScriptedLogger &l) {
    ScriptedLogger::Sleep(300);
    l.SendAlone(CliFrame(), 100);
    RequestCliInterrupt();
  });
  const CliRun watch = RunCliCaptured({"live", "--port", pty.SlavePath()});
  logger.Join();
  EXPECT_EQ(watch.Code, exOk) << watch.Err;
  EXPECT_EQ(std::count(watch.Out.begin(), watch.Out.end(), '\n'), 1);

  logger.Play([&](ScriptedLogger &) {
    ScriptedLogger::Sleep(300);
    RequestCliInterrupt();
  });
  const CliRun counted = RunCliCaptured({"live", "--port", pty.SlavePath(), "--count", "5"});
  logger.Join();
  EXPECT_EQ(counted.Code, exInterrupted);
  ClearCliInterrupt();
}

TEST(CliLive, NothingReceivedEndsAtTheTimeLimit) {
  PtyPair pty;
  const CliRun run = RunCliCaptured({"live", "--port", pty.SlavePath(), "--timeout", "1"});
  EXPECT_EQ(run.Code, exNoData);
  EXPECT_NE(run.Err.find("no envió nada en 1 s"), std::string::npos) << run.Err;
}

TEST(CliLive, FramesFromTheSimulator) {
  TSimConfig cfg;
  cfg.FrameIntervalMs = 100;
  cfg.RateCode = 5;
  TLoggerSimulator sim(cfg);
  sim.Start();
  const CliRun run = RunCliCaptured({"live", "--port", sim.SlavePath(), "-n", "2", "--json"});
  ASSERT_EQ(run.Code, exOk) << run.Err;
  EXPECT_EQ(std::count(run.Out.begin(), run.Out.end(), '\n'), 2);
  EXPECT_NE(run.Out.find("\"tasa_minutos\":30"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("\"fecha\":\"15/03/2004\""), std::string::npos) << run.Out;
}

TEST(CliSetClock, WaitsForTheLoggerThenSendsTheClockDigits) {
  PtyPair pty;
  ScriptedLogger logger(pty);
  std::string beforeTheLoggerSpoke = "(not read)";
  long long afterItSpokeMs = -1;
  logger.Play([&](ScriptedLogger &l) {
    // Nothing goes out before the logger has said something.
    l.ReceiveFor(500);
    beforeTheLoggerSpoke = l.Received();
    const auto sent = ScriptedLogger::Clock::now();
    l.Send(CliFrame().substr(0, 40));
    l.ReceiveUntil(13, 5000);
    afterItSpokeMs = std::chrono::duration_cast<std::chrono::milliseconds>(ScriptedLogger::Clock::now() - sent).count();
  });
  const CliRun run = RunCliCaptured({"set-clock", "--port", pty.SlavePath()});
  logger.Join();
  ASSERT_EQ(run.Code, exOk) << run.Err;
  // "Hora enviada al registrador: hh:mm:ss dd/mm/yyyy"
  const std::string prefix = "Hora enviada al registrador: ";
  ASSERT_EQ(run.Out.rfind(prefix, 0), 0u) << run.Out;
  const std::string shown = run.Out.substr(prefix.size(), 19);
  std::string expected = "3";
  for (const std::string &d : ClockDigits(shown.substr(0, 8) + shown.substr(9))) expected += d;
  EXPECT_EQ(logger.Received(), expected);
  EXPECT_EQ(beforeTheLoggerSpoke, "");
  EXPECT_GE(afterItSpokeMs, 100) << "the clock goes out 100 ms after the logger was heard";
}

TEST(CliSetClock, ASilentLoggerGetsNothing) {
  PtyPair pty;
  ScriptedLogger logger(pty);
  const CliRun run = RunCliCaptured({"set-clock", "--port", pty.SlavePath(), "--timeout=1"});
  EXPECT_EQ(run.Code, exNoData);
  EXPECT_NE(run.Err.find("la hora no se envió"), std::string::npos) << run.Err;
  logger.ReceiveFor(100);
  EXPECT_EQ(logger.Received(), "");
}

TEST(CliSetRate, SendsTheRateWindowsCommands) {
  for (const auto &[minutes, command] : {std::pair<std::string, std::string>{"15", "5"}, {"30", "6"}, {"60", "7"}}) {
    PtyPair pty;
    ScriptedLogger logger(pty);
    const CliRun run = RunCliCaptured({"set-rate", "--port", pty.SlavePath(), minutes});
    ASSERT_EQ(run.Code, exOk) << run.Err;
    logger.ReceiveFor(100);
    EXPECT_EQ(logger.Received(), command) << minutes;
  }
}

TEST(CliSimulator, ClockAndRateReachTheLogger) {
  ApplyProgramFormats();
  TSimConfig cfg;
  cfg.FrameIntervalMs = 100;
  cfg.StoredRecords = 40;
  TLoggerSimulator sim(cfg);
  sim.Start();
  const CliRun rate = RunCliCaptured({"set-rate", "--port", sim.SlavePath(), "60"});
  ASSERT_EQ(rate.Code, exOk) << rate.Err;
  ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return s.RateCode == 6; }, 3000));

  const CliRun clock = RunCliCaptured({"set-clock", "--port", sim.SlavePath()});
  ASSERT_EQ(clock.Code, exOk) << clock.Err;
  ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return s.ClockSets == 1; }, 3000));
  EXPECT_EQ(sim.Snapshot().RejectedCommands, 0);
  // Setting the clock empties the logger's memory count, and the logger now
  // runs on the PC's date.
  EXPECT_EQ(sim.MemoryCount(), 0);
  const std::string shown = clock.Out.substr(std::string("Hora enviada al registrador: ").size(), 19);
  EXPECT_EQ(sim.Clock().Year % 100, std::stoi(shown.substr(17, 2)));
  EXPECT_EQ(sim.Clock().Month, std::stoi(shown.substr(12, 2)));
  EXPECT_EQ(sim.ReceivedBytes().substr(0, 2), "73");
}

TEST(CliPorts, ListsTheDemoPortLast) {
  const CliRun run = RunCliCaptured({"ports"});
  ASSERT_EQ(run.Code, exOk) << run.Err;
  ASSERT_GE(run.Out.size(), 5u);
  EXPECT_EQ(run.Out.substr(run.Out.size() - 5), "DEMO\n");
}

TEST(CliOptions, CommandsAndTheirOptions) {
  TCliOptions o = ParseCliArguments(
      {"download", "-p", "/dev/ttyUSB0", "--full", "-o", "d.txt", "--raw=d.raw", "--timeout", "5", "--force"});
  EXPECT_EQ(o.Command, TCliCommand::Download);
  EXPECT_EQ(o.Port, "/dev/ttyUSB0");
  EXPECT_TRUE(o.Full);
  EXPECT_TRUE(o.Force);
  EXPECT_EQ(o.Output, "d.txt");
  EXPECT_EQ(o.Raw, "d.raw");
  EXPECT_EQ(o.TimeoutSeconds, 5);

  o = ParseCliArguments({"live", "--port", "DEMO"});
  EXPECT_EQ(o.Count, -1);
  EXPECT_FALSE(o.Json);
  EXPECT_EQ(o.TimeoutSeconds, 60);
  EXPECT_EQ(ParseCliArguments({"set-rate", "--port", "DEMO", "60"}).RateMinutes, 60);
  EXPECT_EQ(ParseCliArguments({"ports"}).Command, TCliCommand::Ports);
  EXPECT_EQ(ParseCliArguments({"live", "--help"}).Command, TCliCommand::Help);
}

TEST(CliOptions, BadCommandLinesAreRefusedWithTheReason) {
  auto refused = [](const std::vector<std::string> &args) -> std::string {
    try {
      ParseCliArguments(args);
    } catch (const ECliUsage &e) {
      return e.Message();
    }
    return "(accepted)";
  };
  EXPECT_NE(refused({}).find("Falta la orden"), std::string::npos);
  EXPECT_NE(refused({"borrar"}).find("Orden desconocida"), std::string::npos);
  EXPECT_NE(refused({"live"}).find("--port"), std::string::npos);
  EXPECT_NE(refused({"set-rate", "--port", "DEMO", "20"}).find("15, 30 o 60"), std::string::npos);
  EXPECT_NE(refused({"set-rate", "--port", "DEMO"}).find("15, 30 o 60"), std::string::npos);
  EXPECT_NE(refused({"download", "--port", "DEMO"}).find("-o ARCHIVO"), std::string::npos);
  EXPECT_NE(refused({"download", "--port", "DEMO", "-o", "a", "--raw", "a"}).find("mismo archivo"), std::string::npos);
  EXPECT_NE(refused({"live", "--port", "DEMO", "--count", "0"}).find("entre 1"), std::string::npos);
  EXPECT_NE(refused({"live", "--port", "DEMO", "--count", "3x"}).find("3x"), std::string::npos);
  EXPECT_NE(refused({"live", "--port", "DEMO", "--timeout"}).find("Falta el valor"), std::string::npos);
  EXPECT_NE(refused({"set-rate", "--port", "DEMO", "--json", "15"}).find("no admite"), std::string::npos);
  EXPECT_NE(refused({"live", "--port", "DEMO", "extra"}).find("de más"), std::string::npos);
  EXPECT_NE(refused({"ports", "--port", "DEMO"}).find("no admite"), std::string::npos);

  const CliRun run = RunCliCaptured({"live"});
  EXPECT_EQ(run.Code, exUsage);
  EXPECT_NE(run.Err.find("--help"), std::string::npos);
  const CliRun help = RunCliCaptured({"--help"});
  EXPECT_EQ(help.Code, exOk);
  EXPECT_NE(help.Out.find("talvex-cli download --port PUERTO"), std::string::npos);
}
