// The logger's health as the windows show it: live frames come down a real
// pty, the PC clock the main window reads is the test's.

#include "app/clock_set_window.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/rate_window.h"
#include "data/data_window.h"
#include "runtime/application.h"
#include "runtime/format_settings.h"
#include "serial/serial_port.h"
#include "sim/logger_simulator.h"
#include "widgets/ins_thermometer.h"
#include "widgets/ins_value_ind.h"

#include "program_on_pty.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include <string>
#include <vector>

namespace {

const QDateTime kStart(QDate(2024, 3, 15), QTime(10, 30, 0));

class HealthOnPty : public ProgramOnPty {
protected:
  void SetUp() override {
    ApplyProgramFormats();
    ProgramOnPty::SetUp();
    form().PcClockMs = [this] { return now; };
    form().ClockText = [] { return std::string("10:30:0015/03/2024"); };
  }
  // A frame whose clock reads `clock`, sent and decoded at the PC time `now`.
  void Frame(const QDateTime &clock, int rateCode = 4, long records = 300) {
    TLoggerState s;
    s.Clock = {clock.date().year(), clock.date().month(), clock.date().day(), clock.time().hour(),
               clock.time().minute(), clock.time().second()};
    s.RateCode = rateCode;
    s.Readings.fill(750);
    s.MemoryCount = records;
    pty.Write(MakeLiveFrame(s));
    const QString shown = clock.time().toString("hh:mm:ss");
    ASSERT_TRUE(PumpUntil([&] { return form().Edit3->text() == shown && form().Edit1->text() == QString::number(records); }, 3000));
  }
  // Frames of a logger `offsetS` seconds off, one a second from kStart + fromS.
  void Frames(int offsetS, int count, int fromS = 0) {
    for (int i = 0; i < count; ++i) {
      now = kStart.addSecs(fromS + i).toMSecsSinceEpoch();
      Frame(kStart.addSecs(fromS + i + offsetS));
    }
  }
  std::vector<TInsAnalogGControl *> Values() {
    std::vector<TInsAnalogGControl *> v(form().InsValueInd.begin(), form().InsValueInd.end());
    for (TInsThermometer *t : form().ChannelThermometers) v.push_back(t);
    return v;
  }
  int StaleValues() {
    int n = 0;
    for (TInsAnalogGControl *w : Values()) n += w->Stale();
    return n;
  }

  std::int64_t now = kStart.toMSecsSinceEpoch();
};

}  // namespace

TEST_F(HealthOnPty, DriftShowsInTheClockHintsAndTheClockSetWindowUntilAClockSetPutsItRight) {
  TForm8 &clockSet = program->Form8();
  Connect();
  EXPECT_EQ(clockSet.Label4->text(), "");
  Frames(37, 3);
  const QString ahead = "El reloj del registrador va 37 s adelantado";
  EXPECT_EQ(form().Edit4->toolTip(), "Fecha reportada por el logger\n" + ahead);
  EXPECT_EQ(form().Edit3->toolTip(), "Hora reportada por el logger\n" + ahead);
  EXPECT_EQ(clockSet.Label4->text(), ahead);
  EXPECT_TRUE(clockSet.Label4->geometry().bottom() < clockSet.height()) << "the line fits in the window";

  // "PONER EN HORA": the clock goes out after the next frame, and the frames
  // before it no longer count.
  clockSet.Button1Click();
  Frames(37, 1, 3);
  EXPECT_EQ(pty.ReadCount(13, 3000), "3103000150324");
  ASSERT_TRUE(PumpUntil([&] { return clockSet.Label4->text().isEmpty(); }, 2000));
  Frames(0, 2, 4);
  EXPECT_EQ(clockSet.Label4->text(), "El reloj del registrador va en hora");
  EXPECT_EQ(form().Edit3->toolTip(), "Hora reportada por el logger\nEl reloj del registrador va en hora");

  // A logger behind, across midnight into a new month: the PC is already
  // on 1 April.
  now = QDateTime(QDate(2024, 4, 1), QTime(0, 0, 5)).toMSecsSinceEpoch();
  Frame(QDateTime(QDate(2024, 3, 31), QTime(23, 59, 50)));
  now += 1000;
  Frame(QDateTime(QDate(2024, 3, 31), QTime(23, 59, 51)));
  EXPECT_EQ(clockSet.Label4->text(), "El reloj del registrador va 15 s atrasado");

  RunHandler([this] { form().InsRockerSwitch1Click(); });
  EXPECT_EQ(form().Edit4->toolTip(), "Fecha reportada por el logger");
  EXPECT_EQ(clockSet.Label4->text(), "");
  EXPECT_TRUE(messages.empty());
}

TEST_F(HealthOnPty, MemoryForecastInTheMemoryHintsAndBesideEachRate) {
  TForm7 &rate = program->Form7();
  Connect();
  EXPECT_EQ(form().Label3->text(), QString::fromUtf8(" Máx: 2000 "));
  EXPECT_EQ(rate.DurationLabels[0]->text(), "") << "no count yet";
  Frame(kStart, 5, 1990);  // 10 records to go at 30 minutes
  const QString full = "Memoria llena el 15/03/2024 15:30 (a 30 minutos)";
  EXPECT_EQ(form().Edit1->toolTip(), "Cantidad de posiciones de memoria utilizadas\n" + full);
  EXPECT_EQ(form().Label2->toolTip(), full);
  EXPECT_EQ(rate.DurationLabels[0]->text(), "2 h 30 min");
  EXPECT_EQ(rate.DurationLabels[1]->text(), "5 h 0 min");
  EXPECT_EQ(rate.DurationLabels[2]->text(), "10 h 0 min");
  EXPECT_EQ(rate.DurationLabels[0]->toolTip(), "Memoria llena el 15/03/2024 13:00 (a 15 minutos)");
  // Each beside its own rate, inside the window.
  for (int i = 0; i < 3; ++i) {
    EXPECT_GT(rate.DurationLabels[i]->x(), rate.RadioGroup1->geometry().right());
    EXPECT_LE(rate.DurationLabels[i]->geometry().right(), rate.width());
    if (i) {
      EXPECT_GT(rate.DurationLabels[i]->y(), rate.DurationLabels[i - 1]->y());
    }
  }

  now += 60000;
  Frame(kStart.addSecs(60), 6, 2000);
  EXPECT_EQ(form().Label2->toolTip(), "Memoria llena");
  EXPECT_EQ(rate.DurationLabels[1]->text(), "llena");
  // The program lays nothing new on the main window: the count's box keeps its place.
  EXPECT_EQ(form().Edit1->geometry(), QRect(169, 422, 37, 24));
}

TEST_F(HealthOnPty, ValuesGreyAfterFiveQuietSecondsAndTheNextFrameRestoresThem) {
  Connect();
  Frames(0, 1);
  EXPECT_TRUE(form().StaleTimer->Enabled());
  EXPECT_EQ(form().StaleTimer->Interval(), kStaleAfterMs);
  now += kStaleAfterMs - 1;
  form().StaleTimer->Fire();  // early (the PC clock went back): looks again later
  EXPECT_EQ(StaleValues(), 0);
  EXPECT_EQ(form().StaleTimer->Interval(), 1);

  now += 1;
  form().StaleTimer->Fire();
  ASSERT_TRUE(form().ValuesStale());
  EXPECT_EQ(StaleValues(), 32);
  for (TInsAnalogGControl *w : Values()) ASSERT_EQ(w->toolTip(), "Sin datos desde 10:30:00");
  EXPECT_TRUE(form().Edit3->property("stale").toBool());
  EXPECT_EQ(form().Edit3->toolTip(), "Hora reportada por el logger\nEl reloj del registrador va en hora\n"
                                     "Sin datos desde 10:30:00");
  // Greyed, not changed: the values stay what the last frame said.
  EXPECT_FLOAT_EQ(form().ChannelIndicator(1)->Value(), 25.0f);

  Frames(0, 1, 8);
  EXPECT_FALSE(form().ValuesStale());
  EXPECT_EQ(StaleValues(), 0);
  for (TInsAnalogGControl *w : Values()) ASSERT_EQ(w->toolTip(), "");
  EXPECT_FALSE(form().Edit3->property("stale").toBool());
  EXPECT_EQ(form().Edit3->toolTip(), "Hora reportada por el logger\nEl reloj del registrador va en hora");

  // The line goes quiet again; disconnecting puts everything back as it was
  // and nothing goes stale while disconnected.
  now += kStaleAfterMs;
  form().StaleTimer->Fire();
  EXPECT_EQ(StaleValues(), 32);
  EXPECT_EQ(form().ChannelIndicator(5)->toolTip(), "Sin datos desde 10:30:08");
  RunHandler([this] { form().InsRockerSwitch1Click(); });
  EXPECT_EQ(StaleValues(), 0);
  EXPECT_FALSE(form().Edit4->property("stale").toBool());
  EXPECT_FALSE(form().StaleTimer->Enabled());
  now += 60000;
  form().StaleTimer->Fire();
  EXPECT_EQ(StaleValues(), 0);
}

TEST_F(HealthOnPty, AConnectionWithoutFramesGoesStaleFromTheConnection) {
  Connect();
  now += kStaleAfterMs;
  form().StaleTimer->Fire();
  EXPECT_EQ(StaleValues(), 32);
  EXPECT_EQ(form().ChannelIndicator(1)->toolTip(), "Sin datos desde 10:30:00");
}

class DownloadCheckOnPty : public HealthOnPty, public ::testing::WithParamInterface<long> {};

TEST_P(DownloadCheckOnPty, ADownloadIsCheckedAgainstTheLoggersCount) {
  const long counted = 3, arrived = GetParam();
  Connect();
  Frame(kStart, 4, counted);
  RunHandler([this] { form().InsColBitBtn4Click(); });
  EXPECT_EQ(pty.ReadCount(2, 2000), "8X");
  ASSERT_TRUE(PumpUntil([&] { return !form().Timer2->Enabled(); }, 2000));
  TReadings r;
  r.fill(750);
  const std::string dump =
      MakeDump(TSimDumpHeader{{2024, 3, 15, 10, 0, 0}, 4}, std::vector<TReadings>(arrived, r), r);
  pty.Write(dump);
  ASSERT_TRUE(PumpUntil([&] { return form().RichEdit1.size() == dump.size(); }, 2000));
  pty.Write("A");
  ASSERT_TRUE(PumpUntil([&] { return dataWindowShown == 1; }, 2000));

  EXPECT_EQ(form().RichEdit1, dump + "A") << "nothing is discarded";
  const QString hint = program->Form5().toolTip();
  if (arrived == counted) {
    EXPECT_EQ(hint, "Descarga completa: 3 registros");
    EXPECT_TRUE(messages.empty());
  } else {
    ASSERT_EQ(messages.size(), 1u) << "one warning";
    EXPECT_EQ(messages[0], "La descarga trajo " + std::to_string(arrived) +
                               " registros, pero el registrador indicaba 3 en su memoria. Se conserva todo lo recibido.");
    EXPECT_EQ(hint.toStdString(), "Descarga: " + std::to_string(arrived) + " registros (el registrador indicaba 3)");
  }
  // Opening the data window again warns no more.
  RunHandler([this] { form().InsColBitBtn4Click(); });
  EXPECT_EQ(dataWindowShown, 2);
  EXPECT_EQ(messages.size(), arrived == counted ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(ShortEqualLong, DownloadCheckOnPty, ::testing::Values(2L, 3L, 4L));
