// The history's statistics count the alarm events the archive keeps, cut to
// the range; limits other than the logger's own are judged on the range's
// readings.

#include "archive/archive.h"
#include "archive/archive_statistics.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

TStamp At(int minute) { return StampFromSeconds(StampSeconds(TStamp{2026, 3, 1, 0, 0, 0}) + minute * 60LL); }

// A reading every 10 minutes up to 200; CH1 above 30,0 from minute 30 to
// 70, back at 20,0 at 80; CH2 steady.
std::vector<TArchiveRecord> Readings() {
  std::vector<TArchiveRecord> records;
  for (int minute = 0; minute <= 200; minute += 10) {
    TArchiveRecord r;
    r.Instant = At(minute);
    r.Values[0] = minute >= 30 && minute <= 70 ? 320 + minute : 200;
    r.Values[1] = 150;
    records.push_back(r);
  }
  return records;
}

TEST(ArchiveStatisticsAlarms, TheArchivesEventsCutToTheRangeElseTheReadingsJudged) {
  QTemporaryDir dir;
  TArchive archive(dir.filePath("archivo.sqlite").toStdString());
  archive.StoreRecords("cámara", "", TArchiveOrigin(), Readings());
  TAlarmLimits high;
  high.High = 300;
  archive.SetAlarmLimits("cámara", 0, high);
  ASSERT_EQ(archive.AlarmEvents("cámara", At(0), At(200)).size(), 1u);

  TAlarmOptions own;
  own.Limits = archive.AlarmLimits("cámara");
  TAlarmOptions other = own;
  (*other.Limits)[0].High = 350;  // only the readings from minute 40 on

  const struct {
    const char *Name;
    int From, To;
    const TAlarmOptions &Alarms;
    int Events;
    std::int64_t SecondsAbove;
  } cases[] = {
      {"the whole range", 0, 200, own, 1, 50 * 60},
      // The archive's event ends at 80; cut at 60 it counts 30 minutes. A
      // scan of the range alone would give it the last reading's step too.
      {"cut in the middle", 0, 60, own, 1, 30 * 60},
      {"begun before the range", 50, 200, own, 1, 30 * 60},
      {"after it", 90, 200, own, 0, 0},
      {"other limits: a scan", 0, 200, other, 1, 40 * 60},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    const auto got = ArchiveStatistics(archive, "cámara", At(c.From), At(c.To), {}, c.Alarms);
    ASSERT_TRUE(got);
    const TDataStatistics &s = got->Stats;
    EXPECT_EQ(s.Channels[0].Alarm.HighEvents, c.Events);
    EXPECT_EQ(s.Channels[0].Alarm.SecondsAbove, c.SecondsAbove);
    EXPECT_EQ(static_cast<int>(s.Events.size()), c.Events);
    EXPECT_TRUE(s.AlarmsApply(s.Channels[0]));
    EXPECT_FALSE(s.AlarmsApply(s.Channels[1]));
    ASSERT_TRUE(s.Channels[1].Alarm.Mkt);
    EXPECT_NEAR(*s.Channels[1].Alarm.Mkt, 15.0, 1e-9);
  }
  // Without limits, the MKT alone.
  const auto plain = ArchiveStatistics(archive, "cámara", At(0), At(200), {});
  EXPECT_TRUE(plain->Stats.Events.empty());
  EXPECT_FALSE(plain->Stats.AlarmsApply(plain->Stats.Channels[0]));
  EXPECT_TRUE(plain->Stats.Channels[0].Alarm.Mkt);
}

}  // namespace
