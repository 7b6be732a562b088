#include "chart/time_axis.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// Labels six pixels a character, on a 600-pixel axis with 10 % between them.
int Width(TTimeLabelStyle style) {
  size_t w = 0;
  for (const std::string &s : SampleTimeLabels(style)) w = std::max(w, s.size());
  return static_cast<int>(6 * w);
}

double At(int y, int mo, int d, int h = 0, int mi = 0, double s = 0) { return CivilSeconds(y, mo, d, h, mi, s); }

TEST(TimeTicks, EachSpanGetsRoundTimesInLabelsThatFit) {
  struct Case {
    const char *name;
    double from, to;
    TTimeLabelStyle style;
    std::vector<std::string> first;  // the first labels
    std::string last;
  };
  const Case cases[] = {
      {"three seconds",
       At(2026, 12, 8, 10, 0, 0),
       At(2026, 12, 8, 10, 0, 3),
       tlsTenths,
       {"10:00:00,0", "10:00:00,5", "10:00:01,0"},
       "10:00:03,0"},
      {"a minute",
       At(2026, 12, 8, 10, 0, 0),
       At(2026, 12, 8, 10, 1, 0),
       tlsSeconds,
       {"10:00:00", "10:00:10", "10:00:20"},
       "10:01:00"},
      {"a minute, not from a round time",
       At(2026, 12, 8, 10, 0, 3),
       At(2026, 12, 8, 10, 1, 3),
       tlsSeconds,
       {"10:00:10", "10:00:20"},
       "10:01:00"},
      {"two hours", At(2026, 12, 8, 10, 0), At(2026, 12, 8, 12, 0), tlsMinutes, {"10:00", "10:10", "10:20"}, "12:00"},
      {"a night",
       At(2026, 12, 8, 20, 0),
       At(2026, 12, 9, 4, 0),
       tlsDayMinutes,
       {"08/12 20:00", "08/12 22:00", "09/12 00:00"},
       "09/12 04:00"},
      {"three days",
       At(2026, 12, 8),
       At(2026, 12, 11),
       tlsDayMinutes,
       {"08/12 00:00", "08/12 12:00", "09/12 00:00"},
       "11/12 00:00"},
      {"two months, weeks from Mondays",
       At(2026, 12, 8),
       At(2027, 2, 6),
       tlsDays,
       {"14/12/26", "21/12/26", "28/12/26", "04/01/27"},
       "01/02/27"},
      {"two years", At(2026, 1, 1), At(2028, 1, 1), tlsMonths, {"ene 26", "mar 26", "may 26"}, "ene 28"},
      {"ten years", At(2020, 1, 1), At(2030, 1, 1), tlsYears, {"2020", "2021", "2022"}, "2030"},
      {"a century", At(2000, 6, 1), At(2100, 6, 1), tlsYears, {"2005", "2010", "2015"}, "2100"},
  };
  for (const Case &c : cases) {
    const TTimeTicks t = CalcTimeTicks(c.from, c.to, 600, 10, Width);
    ASSERT_GE(t.Labels.size(), c.first.size()) << c.name;
    EXPECT_EQ(t.Style, c.style) << c.name;
    for (size_t i = 0; i < c.first.size(); ++i) EXPECT_EQ(t.Labels[i], c.first[i]) << c.name << " label " << i;
    EXPECT_EQ(t.Labels.back(), c.last) << c.name;
    // They fit, and every one is a round time inside the span.
    const int per = Width(t.Style) + Width(t.Style) / 10;
    EXPECT_LE(static_cast<int>(t.Labels.size()) * per, 600) << c.name;
    for (size_t i = 0; i < t.Times.size(); ++i) {
      EXPECT_GE(t.Times[i], c.from - 1e-6) << c.name;
      EXPECT_LE(t.Times[i], c.to + 1e-6) << c.name;
      EXPECT_EQ(FormatTimeLabel(t.Times[i], t.Style), t.Labels[i]) << c.name;
    }
  }
}

TEST(TimeTicks, DatesAndTimesRoundTripAndBadOnesAreRefused) {
  double s = 0;
  ASSERT_TRUE(ParseRecordTime("29/02/2024", "23:59:59", s));
  EXPECT_EQ(FormatDateTime(s), "29/02/2024 23:59:59");
  EXPECT_EQ(FormatDateTime(s + 1), "01/03/2024 00:00:00");
  ASSERT_TRUE(ParseRecordTime("01/01/2000", "00:00:00", s));
  EXPECT_EQ(s, 0);
  for (auto [date, time] : {std::pair{"29/02/2023", "10:00:00"},
                            {"31/04/2026", "10:00:00"},
                            {"00/01/2026", "10:00:00"},
                            {"01/13/2026", "10:00:00"},
                            {"01/01/2026", "24:00:00"},
                            {"01/01/2026", "10:60:00"},
                            {"1/1/2026", "10:00:00"},
                            {"01/01/2026", ""},
                            {"", "10:00:00"},
                            {"aa/01/2026", "10:00:00"}})
    EXPECT_FALSE(ParseRecordTime(date, time, s)) << date << " " << time;
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> any(-5e9, 5e9);
  for (int i = 0; i < 2000; ++i) {
    const double t = std::round(any(rng));
    const TCivilTime c = CivilTime(t);
    EXPECT_EQ(CivilSeconds(c.Year, c.Month, c.Day, c.Hour, c.Minute, c.Second), t);
  }
  EXPECT_EQ(FormatTimeLabel(At(2026, 9, 3, 7, 5, 9.96), tlsTenths), "07:05:10,0");  // rounds into the next second
}

TEST(RecordTimeTicks, RoundTimesOverSampleNumbersAndRecordTimesWhenOutOfOrder) {
  auto width = [](const std::string &s) { return static_cast<int>(6 * s.size()); };
  // A record every five minutes from 09:58: round times fall between records.
  std::vector<double> times(100);
  for (int i = 0; i < 100; ++i) times[static_cast<size_t>(i)] = At(2026, 12, 8, 9, 58) + 300.0 * i;
  const TRecordTimes regular(times);
  ASSERT_TRUE(regular.Monotonic());
  const TAxisTicks t = RecordTimeTicks(regular, 0, 99, 600, 10, width);
  ASSERT_GE(t.Values.size(), 4u);
  ASSERT_EQ(t.Texts.size(), t.Values.size());
  double lastRight = -1e9;
  for (size_t i = 0; i < t.Values.size(); ++i) {
    const double seconds = regular.TimeAt(t.Values[i]);
    EXPECT_NEAR(std::fmod(seconds, 1800), 0, 1e-6) << t.Texts[i];  // whole half hours
    EXPECT_EQ(FormatTimeLabel(seconds, tlsMinutes), t.Texts[i]);
    const double center = t.Values[i] * 600 / 99, half = width(t.Texts[i]) / 2.0;
    EXPECT_GT(center - half, lastRight) << "overlap at " << t.Texts[i];
    lastRight = center + half;
  }
  EXPECT_EQ(t.Texts.front(), "10:00");
  EXPECT_EQ(t.Texts.back(), "18:00");
  EXPECT_NEAR(regular.IndexAt(regular.TimeAt(37.25)), 37.25, 1e-9);

  // A clock set back in the middle: drawn in record order, each label a
  // record's own time at a whole record.
  times[50] = times[49] - 3600;
  for (int i = 51; i < 100; ++i) times[i] = times[i - 1] + 300;
  const TRecordTimes folded(times);
  EXPECT_FALSE(folded.Monotonic());
  const TAxisTicks f = RecordTimeTicks(folded, 0, 99, 600, 10, width);
  ASSERT_FALSE(f.Values.empty());
  for (size_t i = 0; i < f.Values.size(); ++i) {
    EXPECT_EQ(f.Values[i], std::round(f.Values[i]));
    EXPECT_EQ(f.Texts[i], FormatTimeLabel(times[static_cast<size_t>(f.Values[i])], tlsRecord));
  }
  EXPECT_FALSE(TRecordTimes({10, 10}).Monotonic());  // a repeat is out of order too
}

}  // namespace
