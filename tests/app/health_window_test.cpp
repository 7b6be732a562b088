// The logger's health as the windows show it: live frames come down a real
// pty, the PC clock the main window reads is the test's.

#include "app/clock_set_window.h"
#include "app/rate_window.h"
#include "data/data_window.h"
#include "runtime/format_settings.h"
#include "sim/logger_simulator.h"
#include "widgets/ins_thermometer.h"

#include "program_on_pty.h"

#include <QDateTime>

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
  // A frame whose clock reads `clock`, decoded at the PC time `now`.
  void Frame(const QDateTime &clock, int rateCode = 4, long records = 300) {
    TLoggerState s;
    s.Clock = {clock.date().year(), clock.date().month(),  clock.date().day(),
               clock.time().hour(), clock.time().minute(), clock.time().second()};
    s.RateCode = rateCode;
    s.Readings.fill(750);
    s.MemoryCount = records;
    pty.Write(MakeLiveFrame(s));
    const QString shown = clock.time().toString("hh:mm:ss");
    ASSERT_TRUE(PumpUntil(
        [&] { return form().Edit3->text() == shown && form().Edit1->text() == QString::number(records); }, 3000));
  }
  // Frames of a logger `offsetS` seconds off, one a second from kStart + fromS.
  void Frames(int offsetS, int count, int fromS = 0) {
    for (int i = fromS; i < fromS + count; ++i) {
      now = kStart.addSecs(i).toMSecsSinceEpoch();
      Frame(kStart.addSecs(i + offsetS));
    }
  }
  // The values shown greyed, each with `hint` as its hint; -1 if one differs.
  int Stale(const QString &hint) {
    std::vector<TInsAnalogGControl *> values(form().InsValueInd.begin(), form().InsValueInd.end());
    values.insert(values.end(), form().ChannelThermometers.begin(), form().ChannelThermometers.end());
    int n = 0;
    for (TInsAnalogGControl *w : values) {
      if (w->toolTip() != hint) return -1;
      n += w->Stale();
    }
    return n;
  }

  std::int64_t now = kStart.toMSecsSinceEpoch();
};

}  // namespace

TEST_F(HealthOnPty, DriftInTheClockHintsAndTheClockSetWindowUntilAClockSetPutsItRight) {
  TForm8 &clockSet = program->Form8();
  Connect();
  Frames(37, 3);
  const QString ahead = "El reloj del registrador va 37 s adelantado";
  EXPECT_EQ(form().Edit4->toolTip(), "Fecha reportada por el logger\n" + ahead);
  EXPECT_EQ(form().Edit3->toolTip(), "Hora reportada por el logger\n" + ahead);
  EXPECT_EQ(clockSet.Label4->text(), ahead);
  EXPECT_LT(clockSet.Label4->geometry().bottom(), clockSet.height()) << "the line fits in the window";

  // "PONER EN HORA": the clock goes out after the next frame, and the frames
  // before it no longer count.
  clockSet.Button1Click();
  Frames(37, 1, 3);
  EXPECT_EQ(pty.ReadCount(13, 3000), "3103000150324");
  ASSERT_TRUE(PumpUntil([&] { return clockSet.Label4->text().isEmpty(); }, 2000));
  Frames(0, 1, 4);
  EXPECT_EQ(clockSet.Label4->text(), "El reloj del registrador va en hora");

  // Behind, across midnight into a new month: the PC already on 1 April.
  for (int i = 0; i < 2; ++i) {
    now = QDateTime(QDate(2024, 4, 1), QTime(0, 0, 5 + i)).toMSecsSinceEpoch();
    Frame(QDateTime(QDate(2024, 3, 31), QTime(23, 59, 50 + i)));
  }
  EXPECT_EQ(form().Edit3->toolTip(), "Hora reportada por el logger\nEl reloj del registrador va 15 s atrasado");
  // The PC's clock put an hour forward during the run: one frame may be
  // noise, the second says so too.
  for (int i = 0; i < 2; ++i) {
    now = QDateTime(QDate(2024, 4, 1), QTime(1, 0, 7 + i)).toMSecsSinceEpoch();
    Frame(QDateTime(QDate(2024, 3, 31), QTime(23, 59, 52 + i)));
    EXPECT_EQ(clockSet.Label4->text(),
              i ? "El reloj del registrador va 3.615 s atrasado" : "El reloj del registrador va 15 s atrasado");
  }

  RunHandler([this] { form().InsRockerSwitch1Click(); });
  EXPECT_EQ(form().Edit4->toolTip(), "Fecha reportada por el logger");
  EXPECT_EQ(clockSet.Label4->text(), "");
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
  const char *left[3] = {"2 h 30 min", "5 h 0 min", "10 h 0 min"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(rate.DurationLabels[i]->text(), left[i]);
    EXPECT_GT(rate.DurationLabels[i]->x(), rate.RadioGroup1->geometry().right());
    EXPECT_LE(rate.DurationLabels[i]->geometry().right(), rate.width());
  }
  EXPECT_EQ(rate.DurationLabels[0]->toolTip(), "Memoria llena el 15/03/2024 13:00 (a 15 minutos)");

  now += 60000;
  Frame(kStart.addSecs(60), 6, 2000);
  EXPECT_EQ(form().Label2->toolTip(), "Memoria llena");
  EXPECT_EQ(rate.DurationLabels[1]->text(), "llena");
}

TEST_F(HealthOnPty, ValuesGreyAfterFiveQuietSecondsUntilTheNextFrame) {
  Connect();
  now += kStaleAfterMs;  // no frame at all since connecting
  form().StaleTimer->Fire();
  EXPECT_EQ(Stale("Sin datos desde 10:30:00"), 32);

  Frames(0, 1, 6);
  EXPECT_EQ(Stale(""), 0);
  EXPECT_FALSE(form().Edit3->property("stale").toBool());
  EXPECT_EQ(form().StaleTimer->Interval(), kStaleAfterMs);
  now += kStaleAfterMs - 1;
  form().StaleTimer->Fire();  // early (the PC clock went back): looks again later
  EXPECT_EQ(Stale(""), 0);
  now += 1;
  form().StaleTimer->Fire();
  EXPECT_EQ(Stale("Sin datos desde 10:30:06"), 32);
  EXPECT_TRUE(form().Edit3->property("stale").toBool());
  EXPECT_EQ(form().Edit3->toolTip(),
            "Hora reportada por el logger\nEl reloj del registrador va en hora\nSin datos desde 10:30:06");
  EXPECT_FLOAT_EQ(form().ChannelIndicator(1)->Value(), 25.0f) << "greyed, not changed";

  // Disconnected, everything is as it always was, and stays so.
  RunHandler([this] { form().InsRockerSwitch1Click(); });
  EXPECT_EQ(Stale(""), 0);
  EXPECT_FALSE(form().Edit4->property("stale").toBool());
  now += 60000;
  form().StaleTimer->Fire();
  EXPECT_EQ(Stale(""), 0);
}

class DownloadCheckOnPty : public HealthOnPty, public ::testing::WithParamInterface<long> {};

TEST_P(DownloadCheckOnPty, ADownloadIsCheckedAgainstTheLoggersCount) {
  const long arrived = GetParam();
  Connect();
  Frame(kStart, 4, 3);
  RunHandler([this] { form().InsColBitBtn4Click(); });
  EXPECT_EQ(pty.ReadCount(2, 2000), "8X");
  ASSERT_TRUE(PumpUntil([&] { return !form().Timer2->Enabled(); }, 2000));
  TReadings r;
  r.fill(750);
  const std::string dump = MakeDump(TSimDumpHeader{{2024, 3, 15, 10, 0, 0}, 4}, std::vector<TReadings>(arrived, r), r);
  pty.Write(dump);
  ASSERT_TRUE(PumpUntil([&] { return form().RichEdit1.size() == dump.size(); }, 2000));
  pty.Write("A");
  ASSERT_TRUE(PumpUntil([&] { return dataWindowShown == 1; }, 2000));

  EXPECT_EQ(form().RichEdit1, dump + "A") << "nothing is discarded";
  const std::string hint = program->Form5().toolTip().toStdString(), n = std::to_string(arrived);
  if (arrived == 3) {
    EXPECT_EQ(hint, "Descarga completa: 3 registros");
    EXPECT_TRUE(messages.empty());
  } else {
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0],
              "La descarga trajo " + n +
                  " registros, pero el registrador indicaba 3 en su memoria. Se conserva todo lo recibido.");
    EXPECT_EQ(hint, "Descarga: " + n + " registros (el registrador indicaba 3)");
  }
  // Opening the data window again warns no more.
  RunHandler([this] { form().InsColBitBtn4Click(); });
  EXPECT_EQ(dataWindowShown, 2);
  EXPECT_EQ(messages.size(), arrived == 3 ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(ShortEqualLong, DownloadCheckOnPty, ::testing::Values(2L, 3L, 4L));
