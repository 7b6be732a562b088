// Alarms while it happens: a scripted logger on a pty crosses a channel's
// high limit; the indicator and the thermometer show it in their colours,
// their hints say since when and the extreme so far, the desktop hears of
// the start and the end on a session bus of the test's own, and everything
// looks as before once the alarm ends or the line closes.

#include "app/desktop_notifier.h"
#include "archive/archive.h"
#include "widgets/ins_col_bit_btn.h"
#include "widgets/ins_colors.h"
#include "widgets/ins_thermometer.h"

#include "program_on_pty.h"
#include "session_bus.h"

#include <QImage>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

// 25/12/2003 14:30:SS, channel 3 at `tenths`, the rest at 0,0.
std::string FrameAt(int second, int tenths) {
  const auto field = [](int t) {
    const int raw = t + 500;
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d%03d", raw / 256, raw % 256);
    return std::string(buf);
  };
  std::string f = "3014251203" + std::string(second < 10 ? "0" : "") + std::to_string(second) + "18005";
  for (int k = 1; k <= 16; ++k) f += field(k == 3 ? tenths : 0);
  return f + "000095\n";
}

int CountNear(const QImage &image, const QRect &area, const QColor &colour) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) + std::abs(c.blue() - colour.blue()) <
          30)
        ++n;
    }
  return n;
}

class LiveAlarm : public ProgramOnPty {
protected:
  void SetUp() override {
    archive = dir.filePath("archivo.sqlite").toStdString();
    setenv("TALVEX_DB", archive.c_str(), 1);
    // The program's notifier is made with the program: it must find this
    // bus, never the desktop of whoever runs the tests.
    if (!bus.Address().isEmpty()) setenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().toUtf8().constData(), 1);
    else setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/talvex-test-bus", 1);
    ProgramOnPty::SetUp();
  }
  void TearDown() override {
    ProgramOnPty::TearDown();
    unsetenv("TALVEX_DB");
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
  }
  // CH3 above 8,0 °C, no delay, the default hysteresis (back at 7,5).
  void SetHighLimitAndConnect() {
    {
      TArchive a(archive);
      TAlarmLimits l;
      l.High = 80;
      a.SetAlarmLimits(pty.SlavePath(), 2, l);
    }
    Connect();
    ASSERT_TRUE(PumpUntil([&] { return form().AlarmLimitsRead(); }, 5000));
    ASSERT_EQ(form().LiveAlarms().Limits()[2].High, 80);
  }
  void Send(int second, int tenths) {
    pty.Write(FrameAt(second, tenths));
    const QString shown = QString("14:30:%1").arg(second, 2, 10, QChar('0'));
    ASSERT_TRUE(PumpUntil([&] { return form().Edit3->text() == shown; }, 3000));
  }
  TInsValueInd &indicator() { return *form().ChannelIndicator(3); }
  TInsThermometer &thermometer() { return *form().ChannelThermometers[2]; }
  // The thermometer's empty column, well above a reading near 8 °C.
  QColor ColumnTop() {
    const QRect c = thermometer().ChannelRect();
    return thermometer().grab().toImage().pixelColor(c.center().x(), c.top() + 2);
  }
  int RedInBox() { return CountNear(indicator().grab().toImage(), indicator().ValueBoxRect(), clRed); }

  QTemporaryDir dir;
  std::string archive;
  TestSessionBus bus;
};

TEST_F(LiveAlarm, ACrossedLimitShowsOnTheWidgetsAndTheDesktopUntilItEnds) {
  ASSERT_FALSE(bus.Address().isEmpty()) << "dbus-daemon did not start";
  NotificationListener listener;
  ASSERT_TRUE(listener.Serve(bus.Address()));
  SetHighLimitAndConnect();

  Send(0, 70);
  const QString normalHint = indicator().toolTip();
  const QString normalThermometerHint = thermometer().toolTip();
  const QColor normalColumn = ColumnTop();
  EXPECT_EQ(RedInBox(), 0);

  Send(1, 91);
  const QString since = QString::fromUtf8("Alarma alta desde 25/12/2003 14:30:01 (límite 8,0 °C, máximo ");
  EXPECT_EQ(indicator().toolTip(), since + QString::fromUtf8("9,1 °C)"));
  Send(2, 94);
  Send(3, 92);
  EXPECT_EQ(indicator().toolTip(), since + QString::fromUtf8("9,4 °C)")) << "the extreme so far";
  EXPECT_EQ(thermometer().toolTip(), indicator().toolTip());
  // Both blink phases say "alarm": the box lit red, then the value in red.
  form().AlarmBlink(true);
  const int lit = RedInBox();
  EXPECT_GT(lit, indicator().ValueBoxRect().width() * indicator().ValueBoxRect().height() / 2);
  form().AlarmBlink(false);
  EXPECT_GT(RedInBox(), 0);
  EXPECT_LT(RedInBox(), lit);
  const QColor tinted = ColumnTop();
  EXPECT_GT(tinted.red(), tinted.blue() + 40) << "the thermometer's column tinted red";
  EXPECT_NE(tinted, normalColumn);
  EXPECT_GT(CountNear(thermometer().grab().toImage(), thermometer().ValueBoxRect(), clRed), 0);

  Send(4, 76);  // not yet back by the hysteresis
  EXPECT_TRUE(form().LiveAlarms().Active(2));
  Send(5, 75);
  EXPECT_FALSE(form().LiveAlarms().Active(2));
  EXPECT_EQ(RedInBox(), 0);
  EXPECT_EQ(ColumnTop(), normalColumn);
  EXPECT_EQ(indicator().toolTip(), normalHint);
  // The thermometer's own hint follows its value: made afresh.
  EXPECT_TRUE(normalThermometerHint.startsWith(QString::fromUtf8("Value= 7,0 °C")))
      << normalThermometerHint.toStdString();
  EXPECT_TRUE(thermometer().toolTip().startsWith(QString::fromUtf8("Value= 7,5 °C")))
      << thermometer().toolTip().toStdString();

  ASSERT_TRUE(PumpUntil([&] { return listener.Calls().size() >= 2; }, 5000));
  const auto calls = listener.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].AppName, "TALVEX");
  EXPECT_EQ(calls[0].Summary, "TALVEX: alarma alta en CH3");
  EXPECT_TRUE(calls[0].Body.contains(QString::fromUtf8("9,1 °C"))) << calls[0].Body.toStdString();
  EXPECT_EQ(calls[0].Urgency, 2);
  EXPECT_EQ(calls[1].Summary, "TALVEX: fin de la alarma alta en CH3");
  EXPECT_TRUE(calls[1].Body.contains(QString::fromUtf8("máximo 9,4 °C"))) << calls[1].Body.toStdString();
  EXPECT_TRUE(messages.empty());
}

TEST_F(LiveAlarm, ClosingTheLineEndsTheAlarmsLookWithoutAWord) {
  SetHighLimitAndConnect();
  Send(0, 70);
  const QString normalHint = indicator().toolTip();
  const QColor normalColumn = ColumnTop();
  Send(1, 95);
  Send(2, 97);
  ASSERT_TRUE(form().LiveAlarms().Active(2));
  RunHandler([this] { form().InsRockerSwitch1Click(); });
  EXPECT_FALSE(form().LiveAlarms().AnyActive());
  EXPECT_EQ(RedInBox(), 0);
  EXPECT_EQ(ColumnTop(), normalColumn);
  EXPECT_EQ(indicator().toolTip(), normalHint);
  // The thermometer writes its own hint from its value: the one the alarm
  // began with (9,5) would be stale now.
  EXPECT_TRUE(thermometer().toolTip().startsWith(QString::fromUtf8("Value= 9,7 °C")))
      << thermometer().toolTip().toStdString();
  EXPECT_TRUE(messages.empty());
}

TEST_F(LiveAlarm, LimitsThatCannotBeReadAreToldOnceAndTheValuesGoOn) {
  // A folder where the archive should be: nothing can open it.
  setenv("TALVEX_DB", dir.path().toUtf8().constData(), 1);
  std::vector<QString> notes;
  form().ShowAlarmNote = [&](const QString &text) { notes.push_back(text); };
  for (int round = 0; round < 2; ++round) {
    Connect();
    ASSERT_TRUE(PumpUntil([&] { return form().AlarmLimitsRead(); }, 5000));
    Send(round, 95);
    RunHandler([this] { form().InsRockerSwitch1Click(); });
  }
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_TRUE(notes[0].startsWith(QString::fromUtf8("No se pudieron leer los límites de alarma")))
      << notes[0].toStdString();
  EXPECT_TRUE(form().InsColBitBtn10->toolTip().contains(notes[0]));
  EXPECT_FLOAT_EQ(indicator().Value(), 9.5f);
  EXPECT_TRUE(messages.empty());
}

TEST(DesktopNotifier, WithoutABusOrAServiceNothingHappensAndNothingWaits) {
  {
    TDesktopNotifier none{std::string()};
    none.Notify("a", "b");
    EXPECT_EQ(none.Dropped(), 1);
  }
  {
    TDesktopNotifier gone("unix:path=/nonexistent/talvex-test-bus");
    gone.Notify("a", "b");
    ASSERT_TRUE(PumpUntil([&] { return gone.Idle(); }, 10000));
    EXPECT_EQ(gone.Sent(), 0);
    EXPECT_EQ(gone.Dropped(), 1);
  }
  TestSessionBus bus;
  ASSERT_FALSE(bus.Address().isEmpty()) << "dbus-daemon did not start";
  // A bus where nobody serves notifications: handed over, the bus's error
  // answer never waited for.
  TDesktopNotifier nobody(bus.Address().toStdString());
  nobody.Notify("a", "b");
  nobody.Notify("c", "d");
  ASSERT_TRUE(PumpUntil([&] { return nobody.Idle(); }, 10000));
  EXPECT_EQ(nobody.Sent(), 2);
}

}  // namespace
