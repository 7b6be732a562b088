#include "logger/logger_health.h"
#include "runtime/format_settings.h"
#include "sim/logger_simulator.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include <cmath>
#include <string>
#include <vector>

namespace {

QDateTime Local(int y, int mo, int d, int h, int mi, int s) { return QDateTime(QDate(y, mo, d), QTime(h, mi, s)); }

// A frame whose clock reads `clock` to the second.
TLiveFrame FrameReading(const QDateTime &clock) {
  TLiveFrame f;
  f.Year = clock.date().year() - 2000;
  f.Month = clock.date().month();
  f.Day = clock.date().day();
  f.Hours = clock.time().hour();
  f.Minutes = clock.time().minute();
  f.Seconds = clock.time().second();
  return f;
}

// A frame of a logger `offsetMs` ahead of the PC, sent at PC time `sent`
// (its clock read then, whole seconds shown) and seen lateMs after it was
// complete.
void Feed(TClockDrift &drift, const QDateTime &sent, std::int64_t offsetMs, int lateMs = 0) {
  const QDateTime clock = QDateTime::fromMSecsSinceEpoch(sent.toMSecsSinceEpoch() + offsetMs);
  drift.Frame(FrameReading(clock),
              sent.toMSecsSinceEpoch() + static_cast<std::int64_t>(std::ceil(kFrameLineMs)) + lateMs);
}

}  // namespace

TEST(ClockDrift, ALoggerSendingOnItsTickReadsExactlyAcrossDayMonthAndYearEnds) {
  ApplyProgramFormats();
  const struct {
    QDateTime pc;  // about when the first frame comes
    std::int64_t offsetMs;
    const char *text;
  } cases[] = {
      {Local(2024, 3, 15, 10, 30, 0), 37000, "El reloj del registrador va 37 s adelantado"},
      {Local(2024, 3, 15, 10, 30, 0), -125400, "El reloj del registrador va 125,4 s atrasado"},
      {Local(2023, 12, 31, 23, 59, 50), 20000, "El reloj del registrador va 20 s adelantado"},  // into a new year
      {Local(2024, 3, 1, 0, 0, 5), -7000, "El reloj del registrador va 7 s atrasado"},          // still 29 February
      {Local(2023, 3, 1, 0, 0, 2), -3000, "El reloj del registrador va 3 s atrasado"},          // still 28 February
      {Local(2024, 4, 30, 23, 59, 59), 1000, "El reloj del registrador va en hora"},            // already in May
      {Local(2024, 6, 30, 23, 59, 58), -1100, "El reloj del registrador va 1,1 s atrasado"},
  };
  for (const auto &c : cases) {
    TClockDrift drift;
    EXPECT_FALSE(drift.Seconds());
    // The logger sends as its second begins: at that fraction of the PC's.
    const int tick = static_cast<int>((1000 - (c.offsetMs % 1000 + 1000) % 1000) % 1000);
    for (int i = 0; i < 5; ++i) Feed(drift, c.pc.addMSecs(i * 1000 + tick), c.offsetMs);
    ASSERT_TRUE(drift.Seconds()) << c.text;
    EXPECT_NEAR(*drift.Seconds(), c.offsetMs / 1000.0, 0.05) << c.text;
    EXPECT_EQ(ClockDriftText(*drift.Seconds()), c.text);
  }
}

TEST(ClockDrift, SendingAtAnyMomentAndArrivingLateClosesInFromBelow) {
  // 12.34 s ahead; the logger sends anywhere in its second, the PC sees a
  // frame up to 120 ms late.
  const int phaseMs[] = {710, 230, 950, 480, 60, 820, 340, 590, 120, 900, 660, 20};
  const int lateMs[] = {80, 0, 120, 15, 40, 5, 110, 60, 30, 0, 90, 10};
  TClockDrift drift;
  for (int i = 0; i < 12; ++i) {
    Feed(drift, Local(2024, 3, 15, 10, 0, i).addMSecs((phaseMs[i] - 340 + 1000) % 1000), 12340, lateMs[i]);
    EXPECT_LE(*drift.Seconds(), 12.4) << "never beyond the truth, frame " << i;
  }
  EXPECT_NEAR(*drift.Seconds(), 12.3, 0.11);
}

TEST(ClockDrift, OneFrameAloneGivesWholeSecondsLessThanOneOff) {
  // Sent on the logger's tick or at any moment of its second: one frame
  // cannot do better than a whole second, and must never be a second off
  // (but for what a PC that sees it late adds).
  const QDateTime t0 = Local(2024, 3, 15, 10, 0, 0);
  for (const std::int64_t offsetMs : {37000LL, 37300LL, 36700LL, -125400LL, -125000LL, 400LL, 0LL, -1000LL}) {
    const int tick = static_cast<int>((1000 - (offsetMs % 1000 + 1000) % 1000) % 1000);
    for (int phaseMs = 0; phaseMs < 1000; phaseMs += 70) {
      for (const int lateMs : {0, 40, 120}) {
        const QDateTime sent = t0.addMSecs(phaseMs);
        const QDateTime clock = QDateTime::fromMSecsSinceEpoch(sent.toMSecsSinceEpoch() + offsetMs);
        const std::int64_t seen =
            sent.toMSecsSinceEpoch() + static_cast<std::int64_t>(std::ceil(kFrameLineMs)) + lateMs;
        const std::optional<int> s = OneFrameDriftSeconds(FrameReading(clock), seen);
        ASSERT_TRUE(s);
        EXPECT_LT(std::fabs(*s - offsetMs / 1000.0), 1.0 + lateMs / 1000.0)
            << offsetMs << " sent at " << phaseMs << " +" << lateMs;
        if (phaseMs == tick && lateMs == 0 && offsetMs % 1000 == 0) {
          EXPECT_EQ(*s, offsetMs / 1000) << offsetMs;
        }
      }
    }
  }
  TLiveFrame bad = FrameReading(t0);
  bad.Day = 31;
  bad.Month = 4;
  EXPECT_FALSE(OneFrameDriftSeconds(bad, t0.toMSecsSinceEpoch()));
}

TEST(ClockDrift, ChangesCountOnceTwoFramesSayThem) {
  TClockDrift drift;
  const QDateTime t0 = Local(2024, 3, 15, 10, 0, 0);
  for (int i = 0; i < 4; ++i) Feed(drift, t0.addSecs(i), 37000);
  // Noise that still reads as a date, and a clock that is no date: ignored.
  drift.Frame(FrameReading(t0.addDays(1)), t0.addSecs(4).toMSecsSinceEpoch());
  TLiveFrame bad = FrameReading(t0.addSecs(41));
  bad.Month = 13;
  drift.Frame(bad, t0.addSecs(5).toMSecsSinceEpoch());
  Feed(drift, t0.addSecs(6), 37000);
  EXPECT_NEAR(*drift.Seconds(), 37, 0.05);

  // The PC clock put an hour forward during the run: 3563 s behind, once a
  // second frame says so.
  Feed(drift, t0.addSecs(7 + 3600), 37000 - 3600000);
  EXPECT_NEAR(*drift.Seconds(), 37, 0.05);
  Feed(drift, t0.addSecs(8 + 3600), 37000 - 3600000);
  EXPECT_NEAR(*drift.Seconds(), -3563, 0.05);

  drift.Reset();
  EXPECT_FALSE(drift.Seconds());
}

TEST(MemoryForecast, FullDateAtEachRateNearAndAtCapacity) {
  ApplyProgramFormats();
  const QDateTime now = Local(2024, 3, 15, 10, 30, 0);
  const std::int64_t t = now.toMSecsSinceEpoch();
  const std::string empty = now.addSecs(2000 * 15 * 60).toString("dd/MM/yyyy hh:mm").toStdString();
  const struct {
    double count;
    int rateCode;
    std::string text;
  } cases[] = {
      {1999, 4, "Memoria llena el 15/03/2024 10:45 (a 15 minutos)"},
      {1990, 5, "Memoria llena el 15/03/2024 15:30 (a 30 minutos)"},
      {1976, 6, "Memoria llena el 16/03/2024 10:30 (a 60 minutos)"},
      {1999.5, 6, "Memoria llena el 15/03/2024 11:30 (a 60 minutos)"},  // only whole records to go
      {-0.96875, 4, "Memoria llena el " + empty + " (a 15 minutos)"},   // weeks: the PC's offset may change
      {2000, 4, "Memoria llena"},
      {2003, 6, "Memoria llena"},
  };
  for (const auto &c : cases) {
    TMemoryWatch watch;
    watch.Frame(c.count, RateCodeMinutes(c.rateCode), t);
    EXPECT_EQ(MemoryForecastText(*watch.Forecast(t)), c.text) << c.count;
  }
  TMemoryWatch unknown;
  EXPECT_FALSE(unknown.Forecast(t, 15)) << "no count";
  unknown.Frame(10, RateCodeMinutes(7), t);
  EXPECT_FALSE(unknown.Forecast(t)) << "no rate the frame can say";
  EXPECT_TRUE(unknown.Forecast(t, 60)) << "a rate asked for";
  // Full is full, whatever rate the frame names.
  for (const double count : {2000.0, 2003.0}) {
    TMemoryWatch full;
    full.Frame(count, RateCodeMinutes(7), t);
    ASSERT_TRUE(full.Forecast(t)) << count;
    EXPECT_EQ(MemoryForecastText(*full.Forecast(t)), "Memoria llena");
  }
}

TEST(MemoryForecast, AStoreSeenFixesWhenTheNextOnesCome) {
  const std::int64_t t0 = Local(2024, 3, 15, 10, 0, 0).toMSecsSinceEpoch(), minute = 60000;
  TMemoryWatch watch;
  watch.Frame(1997, 15, t0);
  // Before a store is seen, the record in progress may have just begun.
  EXPECT_EQ(watch.Forecast(t0)->FullAtMs, t0 + 3 * 15 * minute);
  watch.Frame(1998, 15, t0 + 7 * minute);                  // stored now
  watch.Frame(1998, RateCodeMinutes(9), t0 + 8 * minute);  // an unknown code keeps the rate
  EXPECT_EQ(watch.Forecast(t0 + 8 * minute)->FullAtMs, t0 + (7 + 2 * 15) * minute);
  EXPECT_EQ(watch.Forecast(t0 + 8 * minute)->LeftMs, (7 + 2 * 15 - 8) * minute);
  EXPECT_EQ(watch.Forecast(t0 + 8 * minute, 60)->FullAtMs, t0 + (7 + 2 * 60) * minute);
  // Once that moment has passed without a store, it is not known again.
  EXPECT_EQ(watch.Forecast(t0 + 30 * minute)->FullAtMs, t0 + (30 + 2 * 15) * minute);
  EXPECT_EQ(MemoryLastsText(330 * minute + 59999), "5 h 30 min");
  EXPECT_EQ(MemoryLastsText(2000 * 60 * minute), "83 d 8 h");
}

TEST(DownloadCheck, TheFramesCountIsTheNumberOfRecordsTheDumpShows) {
  // The logger's own texts: a frame saying M records; a dump of M records,
  // the record in progress and the end mark.
  TReadings r;
  r.fill(750);
  for (long m : {0L, 2000L}) {
    TLoggerState state;
    state.MemoryCount = m;
    const std::string dump = MakeDump(TSimDumpHeader{{2024, 3, 15, 10, 30, 0}, 4}, std::vector<TReadings>(m, r), r);
    EXPECT_TRUE(CheckDownload(dump + "A", DecodeLiveFrame(MakeLiveFrame(state))->MemoryCount).Complete()) << m;
  }
  // No frame before: nothing to compare with, nothing to warn of. A count
  // between two records never matches, and is named with its decimals.
  const TDownloadCheck unknown = CheckDownload("h\r\n1\r\n2\r\nA", std::nullopt);
  EXPECT_EQ(unknown.Records, 1);
  EXPECT_FALSE(unknown.Complete());
  EXPECT_EQ(unknown.Warning(), "");
  ApplyProgramFormats();
  EXPECT_NE(CheckDownload("h\r\n1\r\n2\r\nA", 1.03125).Warning().find("indicaba 1,03125"), std::string::npos);
  EXPECT_EQ(CheckDownload("", 0.0).Records, 0) << "no dump: no records, never fewer";
}
