// The recorder's --on-alarm command on readings given by hand: what it is
// told, that new limits end the alarm the old ones made, and that a command
// that fails is said once.

#include "cli/cli_alarm_command.h"

#include "common/test_files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <thread>

namespace {

TArchiveRecord Reading(int minute, std::int32_t ch5) {
  TArchiveRecord r;
  r.Instant = StampFromSeconds(StampSeconds(TStamp{2026, 7, 1, 12, 0, 0}) + minute * 60LL);
  r.Values[4] = ch5;
  r.Values[0] = 100;
  return r;
}

// Waits for the commands started to end (they are never waited for by the
// recorder itself).
void Settle(TAlarmCommand &command) {
  for (int i = 0; i < 500 && command.Running() > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    command.Reap();
  }
}

// Each run's variables, by the file it wrote ("empieza-1", "termina-2").
std::map<std::string, std::string> Runs(const QTemporaryDir &dir) {
  std::map<std::string, std::string> runs;
  for (const QString &name : QDir(dir.path()).entryList(QDir::Files))
    runs[name.toStdString()] = ReadFile(dir.filePath(name).toStdString());
  return runs;
}

class AlarmCommand : public ::testing::Test {
protected:
  // Each run writes its TALVEX_ variables, sorted, to a file of its own.
  std::string Writer() const {
    return "env | grep '^TALVEX_' | sort > '" + Dir.path().toStdString() + "'/\"$TALVEX_ESTADO-$(ls '" +
           Dir.path().toStdString() + "' | wc -l)\"";
  }
  QTemporaryDir Dir;
  std::vector<std::string> Log;
};

TEST_F(AlarmCommand, OneStartAndOneEndWithWhatHappened) {
  TAlarmCommand command(
      Writer(), [this](const std::string &l) { Log.push_back(l); }, true);
  command.SetLogger("cámara fría");
  TAlarmLimitSet limits{};
  limits[4].High = 80;  // CH5 above 8,0
  limits[4].DelayMinutes = 2;
  command.SetLimits(limits);
  // A blip shorter than the delay, then an excursion that wavers about the
  // limit without coming back inside by the hysteresis (it counts once its
  // delay has passed, at 7,8), then back.
  const std::int32_t ch5[] = {50, 85, 60, 81, 95, 78, 90, 76, 74, 60};
  for (int minute = 0; minute < 10; ++minute) {
    command.Reading(Reading(minute, ch5[minute]));
    Settle(command);  // one at a time, so the files' numbers follow the runs
  }
  const auto runs = Runs(Dir);
  ASSERT_EQ(runs.size(), 2u) << ::testing::PrintToString(Log);
  EXPECT_EQ(runs.at("empieza-0"),
            "TALVEX_CANAL=5\nTALVEX_DESDE=2026-07-01T12:03:00\nTALVEX_ESTADO=empieza\n"
            "TALVEX_EXTREMO=9,5\nTALVEX_HORA=2026-07-01T12:05:00\n"
            "TALVEX_REGISTRADOR=cámara fría\nTALVEX_TIPO=alta\nTALVEX_VALOR=7,8\n");
  EXPECT_EQ(runs.at("termina-1"),
            "TALVEX_CANAL=5\nTALVEX_DESDE=2026-07-01T12:03:00\nTALVEX_ESTADO=termina\n"
            "TALVEX_EXTREMO=9,5\nTALVEX_HORA=2026-07-01T12:08:00\n"
            "TALVEX_REGISTRADOR=cámara fría\nTALVEX_TIPO=alta\nTALVEX_VALOR=7,4\n");
  ASSERT_EQ(Log.size(), 2u);
  EXPECT_EQ(Log[0],
            "Alarma alta en CH5 empieza: 7,8 °C a las 2026-07-01T12:05:00 (desde 2026-07-01T12:03:00, "
            "extremo 9,5 °C).");
}

TEST_F(AlarmCommand, NewLimitsEndTheAlarmTheOldOnesMade) {
  TAlarmCommand command(
      Writer(), [this](const std::string &l) { Log.push_back(l); }, false);
  TAlarmLimitSet limits{};
  limits[4].Low = 20;
  limits[0].High = 150;  // CH1 stays inside
  command.SetLimits(limits);
  command.Reading(Reading(0, 10));
  Settle(command);
  command.SetLimits(limits);  // the same: nothing
  limits[4].Low = 0;
  command.SetLimits(limits);
  Settle(command);
  command.Reading(Reading(1, 10));  // inside the new limits: nothing more
  Settle(command);
  const auto runs = Runs(Dir);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_NE(runs.at("termina-1").find("TALVEX_HORA=2026-07-01T12:00:00\n"), std::string::npos);
  EXPECT_NE(runs.at("termina-1").find("TALVEX_TIPO=baja\n"), std::string::npos);
  EXPECT_TRUE(Log.empty()) << Log[0];
}

TEST_F(AlarmCommand, ACommandThatFailsIsSaidOnceUntilItWorks) {
  const std::string flag = Dir.filePath("funciona").toStdString();
  // Fails until the flag file is there.
  TAlarmCommand command(
      "test -e '" + flag + "'", [this](const std::string &l) { Log.push_back(l); }, false);
  TAlarmLimitSet limits{};
  limits[4].High = 80;
  command.SetLimits(limits);
  int minute = 0;
  auto swing = [&] {
    command.Reading(Reading(minute++, 90));
    command.Reading(Reading(minute++, 50));
    Settle(command);
  };
  swing();
  swing();
  ASSERT_EQ(Log.size(), 1u);
  EXPECT_NE(Log[0].find("terminó con el código 1"), std::string::npos) << Log[0];
  std::ofstream(flag) << "";
  swing();
  ::unlink(flag.c_str());
  swing();
  EXPECT_EQ(Log.size(), 2u) << "said again after it had worked";
  EXPECT_EQ(command.Started(), 8);
}

}  // namespace
