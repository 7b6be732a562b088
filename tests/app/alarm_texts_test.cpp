// What the window program says of an alarm, the limits it takes from the
// ALARMAS table, and the live evaluation's per-channel state.

#include "app/alarm_texts.h"
#include "app/alarm_window.h"
#include "app/live_alarms.h"
#include "data/record_values.h"
#include "runtime/exceptions.h"

#include <gtest/gtest.h>

namespace {

std::int64_t At(int h, int m, int s) { return StampSeconds(TStamp{2026, 12, 8, h, m, s}); }

TEST(AlarmTexts, DurationsReadAsAPersonWouldSayThem) {
  const struct {
    std::int64_t seconds;
    const char *text;
  } cases[] = {{-5, "0 s"},          {0, "0 s"},
               {59, "59 s"},         {60, "1 min 00 s"},
               {605, "10 min 05 s"}, {3599, "59 min 59 s"},
               {3600, "1 h 00 min"}, {3 * 3600 + 7 * 60 + 59, "3 h 07 min"},
               {86400, "1 d 00 h"},  {2 * 86400 + 4 * 3600 + 3599, "2 d 04 h"}};
  for (const auto &c : cases) EXPECT_EQ(AlarmDurationText(c.seconds), QString::fromUtf8(c.text)) << c.seconds;
}

TEST(AlarmTexts, HintSaysSinceWhenTheLimitAndTheExtremeSoFar) {
  TAlarmEvent high;
  high.Channel = 2;
  high.Start = At(14, 3, 10);
  high.Extreme = 94;
  EXPECT_EQ(AlarmHintText(high, 80),
            QString::fromUtf8("Alarma alta desde 08/12/2026 14:03:10 (límite 8,0 °C, máximo 9,4 °C)"));
  TAlarmEvent low = high;
  low.Kind = TAlarmKind::Low;
  low.Extreme = -5;
  EXPECT_EQ(AlarmHintText(low, 20),
            QString::fromUtf8("Alarma baja desde 08/12/2026 14:03:10 (límite 2,0 °C, mínimo -0,5 °C)"));
}

TEST(AlarmTexts, NotificationsNameTheChannelKindValueLimitAndTime) {
  TAlarmNotice n;
  n.Logger = "CAMARA-1";
  n.Event.Channel = 2;
  n.Event.Start = At(14, 3, 10);
  n.Event.Extreme = 94;
  n.Value = 91;
  n.At = At(14, 3, 10);
  n.Limit = 80;
  TNotificationText t = AlarmNotificationText(n);
  EXPECT_EQ(t.Summary, "TALVEX: alarma alta en CH3");
  EXPECT_TRUE(t.Body.contains("CAMARA-1")) << t.Body.toStdString();
  EXPECT_TRUE(t.Body.contains(QString::fromUtf8("9,1 °C"))) << t.Body.toStdString();
  EXPECT_TRUE(t.Body.contains(QString::fromUtf8("límite 8,0 °C"))) << t.Body.toStdString();
  EXPECT_TRUE(t.Body.contains("08/12/2026 14:03:10")) << t.Body.toStdString();

  n.Started = false;
  n.Event.End = At(14, 20, 10);
  n.Event.Seconds = 17 * 60;
  n.Value = 74;
  n.At = At(14, 20, 10);
  t = AlarmNotificationText(n);
  EXPECT_EQ(t.Summary, "TALVEX: fin de la alarma alta en CH3");
  for (const char *part : {"7,4 °C", "14:20:10", "17 min 00 s", "máximo 9,4 °C"})
    EXPECT_TRUE(t.Body.contains(QString::fromUtf8(part))) << part << " in " << t.Body.toStdString();
}

TEST(AlarmLimitsRow, TakesWhatTheUserTypesAndRefusesWhatTheRulesRefuse) {
  const TAlarmLimits full = ParseAlarmLimitsRow(0, " 2,0 ", "8.5", "15", "1");
  EXPECT_EQ(full.Low, 20);
  EXPECT_EQ(full.High, 85);
  EXPECT_EQ(full.DelayMinutes, 15);
  EXPECT_EQ(full.Hysteresis, 10);
  const TAlarmLimits none = ParseAlarmLimitsRow(0, "", "", "", "");
  EXPECT_FALSE(none.Any());
  EXPECT_EQ(none.DelayMinutes, 0);
  EXPECT_EQ(none.Hysteresis, TAlarmLimits().Hysteresis);
  EXPECT_EQ(ParseAlarmLimitsRow(0, "-20", "", "", "").Low, -200);

  const struct {
    const char *low, *high, *delay, *hysteresis, *message;
  } bad[] = {
      {"8", "2", "", "", "CH4: el límite inferior (8,0 °C) está por encima del superior (2,0 °C)"},
      {"", "8", "-1", "", "CH4: el retardo no puede ser negativo"},
      {"2", "3", "", "1,5", "CH4: la histéresis (1,5 °C) es mayor que la banda"},
      {"", "", "", "-1", "CH4: la histéresis no puede ser negativa"},
      {"abc", "", "", "", "CH4: el mínimo \"abc\" no es una temperatura"},
      {"", "8,55", "", "", "CH4: el máximo \"8,55\" no es una temperatura"},
      {"", "", "1,5", "", "CH4: el retardo \"1,5\" no es un número entero de minutos"},
  };
  for (const auto &c : bad) {
    try {
      ParseAlarmLimitsRow(3, c.low, c.high, c.delay, QString::fromUtf8(c.hysteresis));
      ADD_FAILURE() << "taken: " << c.message;
    } catch (const Exception &e) {
      EXPECT_EQ(e.Message().rfind(c.message, 0), 0u) << e.Message();
    }
  }
}

TAlarmValues Only(int channel, std::int32_t tenths) {
  TAlarmValues v{};
  v[static_cast<std::size_t>(channel)] = tenths;
  return v;
}

TEST(LiveAlarms, NewLimitsOnOneChannelLeaveAnotherChannelsAlarmRunning) {
  TAlarmLimitSet limits{};
  limits[0].High = 80;
  limits[1].High = 80;
  TLiveAlarms live;
  live.SetLimits("L", limits);
  TAlarmValues v{};
  v[0] = 90;
  v[1] = 90;
  const std::vector<TAlarmNotice> started = live.Feed(At(10, 0, 0), v);
  ASSERT_EQ(started.size(), 2u);
  EXPECT_TRUE(started[0].Started);
  EXPECT_EQ(started[0].Limit, 80);
  EXPECT_EQ(started[0].Logger, "L");

  limits[1].High = 100;  // channel 2 no longer beyond
  live.SetLimits("L", limits);
  ASSERT_TRUE(live.Active(0));
  EXPECT_EQ(live.Active(0)->Start, At(10, 0, 0)) << "channel 1 goes on, not started again";
  EXPECT_FALSE(live.Active(1));
  EXPECT_TRUE(live.Feed(At(10, 0, 1), v).empty()) << "nothing new to tell";

  // Another logger on the line: everything starts afresh.
  live.SetLimits("M", limits);
  EXPECT_FALSE(live.Active(0));
}

TEST(LiveAlarms, AClockSetBackStartsAfreshInsteadOfStoppingToWatch) {
  TAlarmLimitSet limits{};
  limits[4].Low = 20;
  TLiveAlarms live;
  live.SetLimits("L", limits);
  ASSERT_EQ(live.Feed(At(12, 0, 0), Only(4, 10)).size(), 1u);
  // The logger's clock set an hour back: the readings still count.
  EXPECT_TRUE(live.Feed(At(11, 0, 0), Only(4, 50)).empty());
  EXPECT_FALSE(live.Active(4));
  const std::vector<TAlarmNotice> again = live.Feed(At(11, 0, 1), Only(4, 10));
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].Event.Kind, TAlarmKind::Low);
  EXPECT_EQ(again[0].Event.Start, At(11, 0, 1));
  live.Reset();
  EXPECT_FALSE(live.AnyActive());
  EXPECT_TRUE(live.AnyLimits()) << "the line closed, the limits stay";
}

}  // namespace
