#include "app/logger_health.h"
#include "runtime/format_settings.h"
#include "sim/logger_simulator.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include <cmath>
#include <string>
#include <vector>

namespace {

QDateTime Local(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
  return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

// A frame whose clock reads `clock` to the second.
TLiveFrame FrameReading(const QDateTime &clock) {
  TLiveFrame f;
  f.Year = clock.date().year() - 2000;
  f.Month = clock.date().month();
  f.Day = clock.date().day();
  f.Hours = clock.time().hour();
  f.Minutes = clock.time().minute();
  f.Seconds = clock.time().second();
  f.RateCode = 4;
  return f;
}

// The PC time a frame sent at `sent` (PC local time) is complete at.
std::int64_t CompleteAt(const QDateTime &sent, int lateMs = 0) {
  return sent.toMSecsSinceEpoch() + static_cast<std::int64_t>(std::ceil(kFrameLineMs)) + lateMs;
}

// Feeds frames of a logger `offsetMs` off the PC that sends at PC times
// `sent` (its clock read as it sends, whole seconds shown).
void Feed(TClockDrift &drift, const QDateTime &sent, std::int64_t offsetMs, int lateMs = 0) {
  const QDateTime clock = QDateTime::fromMSecsSinceEpoch(sent.toMSecsSinceEpoch() + offsetMs);
  drift.Frame(FrameReading(clock), CompleteAt(sent, lateMs));
}

}  // namespace

TEST(ClockDrift, ALoggerSendingOnItsTickReadsExactlyAcrossDayMonthAndYearEnds) {
  struct Case {
    const char *name;
    QDateTime pc;  // about when the first frame comes
    std::int64_t offsetMs;
  };
  const Case cases[] = {
      {"ahead", Local(2024, 3, 15, 10, 30, 0), 37000},
      {"behind, a fraction of a second too", Local(2024, 3, 15, 10, 30, 0), -125400},
      {"logger past midnight and new year", Local(2023, 12, 31, 23, 59, 50), 20000},
      {"logger still on 29 February", Local(2024, 3, 1, 0, 0, 5), -7000},
      {"logger still on 28 February", Local(2023, 3, 1, 0, 0, 2), -3000},
      {"logger already in May", Local(2024, 4, 30, 23, 59, 59), 31700},
      {"in time", Local(2024, 6, 30, 23, 59, 58), 0},
  };
  for (const Case &c : cases) {
    TClockDrift drift;
    EXPECT_FALSE(drift.Seconds()) << c.name;
    // The logger sends as its second begins: at that fraction of the PC's.
    const int tick = static_cast<int>((1000 - (c.offsetMs % 1000 + 1000) % 1000) % 1000);
    for (int i = 0; i < 5; ++i) Feed(drift, c.pc.addMSecs(i * 1000 + tick), c.offsetMs);
    ASSERT_TRUE(drift.Seconds()) << c.name;
    EXPECT_NEAR(*drift.Seconds(), c.offsetMs / 1000.0, 0.05) << c.name;
  }
}

TEST(ClockDrift, SendingAtAnyMomentAndArrivingLateClosesInFromBelow) {
  // 12.34 s ahead; the logger sends wherever in its second it happens to be,
  // and the PC takes up to 120 ms to see a frame.
  const std::int64_t offsetMs = 12340;
  const int phasesMs[] = {710, 230, 950, 480, 60, 820, 340, 590, 120, 900, 660, 20};
  const int lateMs[] = {80, 0, 120, 15, 40, 5, 110, 60, 30, 0, 90, 10};
  TClockDrift drift;
  QDateTime pc = Local(2024, 3, 15, 10, 0, 0);
  for (int i = 0; i < 12; ++i) {
    // The logger's clock then reads (PC + offset), its fraction the phase.
    const QDateTime sent = pc.addMSecs(i * 1000 + (phasesMs[i] - offsetMs % 1000 + 1000) % 1000);
    Feed(drift, sent, offsetMs, lateMs[i]);
    ASSERT_TRUE(drift.Seconds());
    EXPECT_LE(*drift.Seconds(), 12.4) << "never beyond the truth, frame " << i;
  }
  EXPECT_NEAR(*drift.Seconds(), 12.3, 0.11);
}

TEST(ClockDrift, ChangesCountOnceTwoFramesSayThem) {
  TClockDrift drift;
  const QDateTime t0 = Local(2024, 3, 15, 10, 0, 0);
  for (int i = 0; i < 4; ++i) Feed(drift, t0.addSecs(i), 37000);
  ASSERT_NEAR(*drift.Seconds(), 37, 0.05);

  // Noise that still reads as a date: one frame, ignored.
  TLiveFrame noisy = FrameReading(t0.addSecs(4 + 37 + 86400));
  drift.Frame(noisy, CompleteAt(t0.addSecs(4)));
  EXPECT_NEAR(*drift.Seconds(), 37, 0.05);
  Feed(drift, t0.addSecs(5), 37000);
  EXPECT_NEAR(*drift.Seconds(), 37, 0.05);

  // A clock that is no date says nothing.
  TLiveFrame bad = FrameReading(t0.addSecs(6));
  bad.Month = 13;
  drift.Frame(bad, CompleteAt(t0.addSecs(6)));
  bad = FrameReading(t0.addSecs(7));
  bad.Hours = 24;
  drift.Frame(bad, CompleteAt(t0.addSecs(7)));
  EXPECT_NEAR(*drift.Seconds(), 37, 0.05);

  // The PC's clock put an hour forward during the run: the logger now reads
  // 3563 s behind it, once a second frame confirms.
  const QDateTime jumped = t0.addSecs(8 + 3600);
  drift.Frame(FrameReading(t0.addSecs(8 + 37)), CompleteAt(jumped));
  EXPECT_NEAR(*drift.Seconds(), 37, 0.05);
  drift.Frame(FrameReading(t0.addSecs(9 + 37)), CompleteAt(jumped.addSecs(1)));
  EXPECT_NEAR(*drift.Seconds(), -3563, 0.05);

  // A clock running away (a simulator sped up) is followed, a frame behind.
  TClockDrift runaway;
  for (int i = 0; i < 6; ++i) runaway.Frame(FrameReading(t0.addSecs(i * 120)), CompleteAt(t0.addMSecs(i * 200)));
  EXPECT_GT(*runaway.Seconds(), 4 * 120 - 1.0);

  drift.Reset();
  EXPECT_FALSE(drift.Seconds());
}

TEST(ClockDrift, TextsSayAheadBehindOrInTime) {
  ApplyProgramFormats();
  const struct {
    double seconds;
    const char *text;
  } cases[] = {
      {37, "El reloj del registrador va 37 s adelantado"},
      {-2.5, "El reloj del registrador va 2,5 s atrasado"},
      {1.1, "El reloj del registrador va 1,1 s adelantado"},
      {1.0, "El reloj del registrador va en hora"},
      {-1.0, "El reloj del registrador va en hora"},
      {0, "El reloj del registrador va en hora"},
      {-3563, "El reloj del registrador va 3.563 s atrasado"},
  };
  for (const auto &c : cases) EXPECT_EQ(ClockDriftText(c.seconds), c.text) << c.seconds;
}

TEST(MemoryForecast, FullDateAtEachRateNearAndAtCapacity) {
  ApplyProgramFormats();
  const QDateTime now = Local(2024, 3, 15, 10, 30, 0);
  const struct {
    double count;
    int rateCode;
    const char *text;
  } cases[] = {
      {1999, 4, "Memoria llena el 15/03/2024 10:45 (a 15 minutos)"},
      {1990, 5, "Memoria llena el 15/03/2024 15:30 (a 30 minutos)"},
      {1976, 6, "Memoria llena el 16/03/2024 10:30 (a 60 minutos)"},
      {1999.5, 6, "Memoria llena el 15/03/2024 11:30 (a 60 minutos)"},  // only whole records to go
      {2000, 4, "Memoria llena"},
      {2003, 6, "Memoria llena"},
  };
  for (const auto &c : cases) {
    TMemoryWatch watch;
    watch.Frame(c.count, RateCodeMinutes(c.rateCode), now.toMSecsSinceEpoch());
    const auto f = watch.Forecast(now.toMSecsSinceEpoch());
    ASSERT_TRUE(f) << c.count;
    EXPECT_EQ(MemoryForecastText(*f), c.text) << c.count;
  }
  // An empty memory lasts 2000 steps, weeks in which the PC's local time may
  // change its offset: the date is the one the PC will show then.
  for (double empty : {0.0, -0.96875}) {
    TMemoryWatch watch;
    watch.Frame(empty, 15, now.toMSecsSinceEpoch());
    const std::string when = now.addSecs(2000 * 15 * 60).toString("dd/MM/yyyy hh:mm").toStdString();
    EXPECT_EQ(MemoryForecastText(*watch.Forecast(now.toMSecsSinceEpoch())),
              "Memoria llena el " + when + " (a 15 minutos)");
  }
  // No rate the frame can say, no count: nothing to forecast.
  TMemoryWatch unknown;
  EXPECT_FALSE(unknown.Forecast(now.toMSecsSinceEpoch(), 15));
  unknown.Frame(10, RateCodeMinutes(7), now.toMSecsSinceEpoch());
  EXPECT_FALSE(unknown.Forecast(now.toMSecsSinceEpoch()));
  EXPECT_TRUE(unknown.Forecast(now.toMSecsSinceEpoch(), 60)) << "a rate asked for";
}

TEST(MemoryForecast, AStoreSeenFixesWhenTheNextOnesCome) {
  const std::int64_t t0 = Local(2024, 3, 15, 10, 0, 0).toMSecsSinceEpoch();
  const std::int64_t minute = 60000;
  TMemoryWatch watch;
  watch.Frame(1997, 15, t0);
  // Before any store is seen, the record in progress may have just begun.
  EXPECT_EQ(watch.Forecast(t0)->FullAtMs, t0 + 3 * 15 * minute);
  watch.Frame(1998, 15, t0 + 7 * minute);  // stored now
  watch.Frame(1998, RateCodeMinutes(9), t0 + 8 * minute);  // an unknown code keeps the rate
  const auto f = watch.Forecast(t0 + 8 * minute);
  EXPECT_EQ(f->FullAtMs, t0 + (7 + 2 * 15) * minute);
  EXPECT_EQ(f->LeftMs, (7 + 2 * 15 - 8) * minute);
  EXPECT_EQ(f->RateMinutes, 15);
  // At another rate the record in progress ends a step of that rate after the store.
  EXPECT_EQ(watch.Forecast(t0 + 8 * minute, 60)->FullAtMs, t0 + (7 + 2 * 60) * minute);
  // Once that moment has passed without a store, it is not known again.
  EXPECT_EQ(watch.Forecast(t0 + 30 * minute)->FullAtMs, t0 + (30 + 2 * 15) * minute);
  // A clock set empties the memory: the recording starts over there.
  watch.Frame(0, 15, t0 + 40 * minute);
  EXPECT_EQ(watch.Forecast(t0 + 41 * minute)->FullAtMs, t0 + (40 + 2000 * 15) * minute);
}

TEST(MemoryForecast, DurationsToTheMinute) {
  const std::int64_t minute = 60000;
  const struct {
    std::int64_t ms;
    const char *text;
  } cases[] = {
      {0, "0 min"},
      {59999, "0 min"},
      {45 * minute, "45 min"},
      {330 * minute, "5 h 30 min"},
      {2000 * 15 * minute, "20 d 20 h"},
      {2000 * 30 * minute, "41 d 16 h"},
      {2000 * 60 * minute, "83 d 8 h"},
  };
  for (const auto &c : cases) EXPECT_EQ(DurationText(c.ms), c.text) << c.ms;
}

TEST(Freshness, StaleFiveSecondsAfterTheLastFrameOrTheConnection) {
  ApplyProgramFormats();
  const std::int64_t t0 = Local(2024, 3, 15, 10, 30, 0).toMSecsSinceEpoch();
  TFreshness f;
  EXPECT_FALSE(f.StaleAtMs());
  f.FrameDecoded(t0 - 3600000);  // an hour ago, in an earlier connection
  EXPECT_FALSE(f.Stale(t0)) << "disconnected, nothing is stale";
  f.Connected(t0);
  EXPECT_FALSE(f.Stale(t0 + kStaleAfterMs - 1)) << "the logger gets its time after connecting";
  EXPECT_TRUE(f.Stale(t0 + kStaleAfterMs));
  EXPECT_EQ(StaleText(f.SinceMs()), "Sin datos desde 09:30:00");
  f.FrameDecoded(t0 + 3000);
  EXPECT_FALSE(f.Stale(t0 + 7999));
  EXPECT_TRUE(f.Stale(t0 + 8000));
  EXPECT_EQ(StaleText(f.SinceMs()), "Sin datos desde 10:30:03");
  f.Disconnected();
  EXPECT_FALSE(f.Stale(t0 + 60000));

  TFreshness fresh;
  fresh.Connected(t0);
  EXPECT_EQ(fresh.SinceMs(), t0) << "no frame ever: the values date from the connection";
}

TEST(DownloadCheck, TheFramesCountIsTheNumberOfRecordsTheDumpShows) {
  // The logger's own texts: a frame saying M records, a dump of M records
  // (plus the one in progress) and the end mark.
  const TSimDumpHeader header{{2024, 3, 15, 10, 30, 0}, 4};
  TReadings readings;
  readings.fill(750);
  for (long m : {0L, 1L, 37L, 2000L}) {
    TLoggerState state;
    state.MemoryCount = m;
    const std::optional<TLiveFrame> frame = DecodeLiveFrame(MakeLiveFrame(state));
    ASSERT_TRUE(frame);
    for (long records : {m - 1, m, m + 1}) {
      if (records < 0) continue;
      const std::string dump = MakeDump(header, std::vector<TReadings>(records, readings), readings) + "A";
      const TDownloadCheck check = CheckDownload(dump, frame->MemoryCount);
      EXPECT_EQ(check.Records, records);
      EXPECT_EQ(check.Complete(), records == m) << m << " counted, " << records << " arrived";
      if (records == m) {
        EXPECT_EQ(check.Summary(), "Descarga completa: " + std::to_string(m) + " registros");
        EXPECT_EQ(check.Warning(), "");
      } else {
        EXPECT_EQ(check.Warning(), "La descarga trajo " + std::to_string(records) +
                                       " registros, pero el registrador indicaba " + std::to_string(m) +
                                       " en su memoria. Se conserva todo lo recibido.");
        EXPECT_EQ(check.Headline(), "Descarga: " + std::to_string(records) + " registros");
      }
    }
  }
  // No frame before the download: nothing to compare with, nothing to warn of.
  const TDownloadCheck unknown = CheckDownload("h\r\n1\r\n2\r\nA", std::nullopt);
  EXPECT_EQ(unknown.Records, 1);
  EXPECT_FALSE(unknown.Complete());
  EXPECT_EQ(unknown.Warning(), "");
  EXPECT_NE(unknown.Summary().find("sin cuenta"), std::string::npos);
  // A count between two records never matches, and says so with its decimals.
  ApplyProgramFormats();
  EXPECT_NE(CheckDownload("h\r\n1\r\n2\r\nA", 1.03125).Warning().find("indicaba 1,03125"), std::string::npos);
  EXPECT_EQ(CheckDownload("", 0.0).Records, 0) << "no dump: no records, never fewer";
}
