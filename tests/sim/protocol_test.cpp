// The logger's texts, checked position by position the way the program reads
// them, and the values behind them.

#include "sim/logger_simulator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace {

int Num(const std::string &s, size_t pos1, size_t width) {  // positions from 1
  return std::stoi(s.substr(pos1 - 1, width));
}

bool AllDigits(const std::string &s) { return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos; }

TLoggerState SampleState() {
  TLoggerState st;
  st.Clock = TSimDateTime{2003, 12, 25, 14, 30, 7};
  st.Battery = 153;
  st.RateCode = 5;
  for (int k = 0; k < kSimChannels; ++k) st.Readings[static_cast<size_t>(k)] = static_cast<std::uint16_t>(500 + k);
  st.Readings[0] = 750;    // 02 238: 25.0 °C
  st.Readings[1] = 400;    // 01 144: -10.0 °C
  st.Readings[15] = 4095;  // 15 255
  st.MemoryCount = 2;      // address 95
  return st;
}

}  // namespace

TEST(LiveFrame, FieldsSitWhereTheProgramReadsThem) {
  const std::string f = MakeLiveFrame(SampleState());
  ASSERT_EQ(f.size(), 104u);
  EXPECT_TRUE(AllDigits(f.substr(0, 103)));
  EXPECT_EQ(f[103], kFrameEnd);
  // Clock: minutes, hours, day, month, year, seconds.
  EXPECT_EQ(f.substr(0, 12), "301425120307");
  EXPECT_EQ(f.substr(12, 3), "153");
  EXPECT_EQ(f[16], '5');
  EXPECT_EQ(f.substr(17, 5), "02238");
  EXPECT_EQ(f.substr(22, 5), "01144");
  EXPECT_EQ(f.substr(92, 5), "15255");  // channel 16 at 5k+13 .. 5k+17
  EXPECT_EQ(f.substr(97, 6), "000095");
}

TEST(LiveFrame, DecodesBackToTheStateItWasMadeFrom) {
  TLoggerState st = SampleState();
  st.Clock = TSimDateTime{2099, 1, 2, 3, 4, 5};
  st.MemoryCount = 2000;
  const std::string f = MakeLiveFrame(st);
  EXPECT_EQ(Num(f, 3, 2), 3);
  EXPECT_EQ(Num(f, 1, 2), 4);
  EXPECT_EQ(Num(f, 11, 2), 5);
  EXPECT_EQ(Num(f, 5, 2), 2);
  EXPECT_EQ(Num(f, 7, 2), 1);
  EXPECT_EQ(Num(f, 9, 2), 99);
  for (int k = 1; k <= kSimChannels; ++k) {
    const size_t p = 5 * static_cast<size_t>(k) + 13;
    const int reading = Num(f, p, 2) * 256 + Num(f, p + 2, 3);
    EXPECT_EQ(reading, st.Readings[static_cast<size_t>(k - 1)]) << "channel " << k;
  }
  const double used = ((Num(f, 98, 3) * 256 + Num(f, 101, 3)) - 31) / 32.0;
  EXPECT_DOUBLE_EQ(used, 2000.0);
  EXPECT_DOUBLE_EQ(Num(f, 13, 3) / 2.0, 76.5);
}

TEST(LiveFrame, OutOfRangeValuesStayInsideTheirFields) {
  TLoggerState st = SampleState();
  st.Battery = 1500;
  st.Readings[0] = 9000;
  st.MemoryCount = 100000;  // more than three digits of AH can say
  const std::string f = MakeLiveFrame(st);
  ASSERT_EQ(f.size(), 104u);
  EXPECT_TRUE(AllDigits(f.substr(0, 103)));
  EXPECT_EQ(f.substr(12, 3), "999");
  EXPECT_EQ(f.substr(17, 5), "15255");
  EXPECT_EQ(f.substr(97, 6), "999255");
}

TEST(LiveFrame, MemoryAddressFollowsTheCount) {
  EXPECT_EQ(MemoryAddress(0), 31);
  EXPECT_EQ(MemoryAddress(-3), 31);
  EXPECT_EQ(MemoryAddress(2), 95);
  EXPECT_EQ(MemoryAddress(2000), 64031);
  EXPECT_EQ(MemoryAddress(7998), 31 + 32 * 7998);
  EXPECT_EQ(MemoryAddress(7999), 999 * 256 + 255);
}

TEST(Dump, RecordLineHoldsSixDigitsPerChannel) {
  TReadings r{};
  r.fill(744);  // 002 232
  r[0] = 750;
  r[1] = 400;
  r[15] = 4095;
  const std::string line = MakeRecordLine(r);
  ASSERT_EQ(line.size(), 96u);
  EXPECT_TRUE(AllDigits(line));
  EXPECT_EQ(line.substr(0, 12), "002238001144");
  EXPECT_EQ(line.substr(12, 6), "002232");
  EXPECT_EQ(line.substr(90, 6), "015255");
  for (int k = 1; k <= kSimChannels; ++k) {
    const size_t p = static_cast<size_t>(6 * k - 5);
    EXPECT_EQ(Num(line, p, 3) * 256 + Num(line, p + 3, 3), r[static_cast<size_t>(k - 1)]);
  }
}

TEST(Dump, HeaderCarriesStartAndRateAtTheReadPositions) {
  const std::string h = MakeDumpHeaderLine(TSimDumpHeader{TSimDateTime{2004, 3, 15, 10, 30, 0}, 2});
  ASSERT_GE(h.size(), 21u);
  EXPECT_EQ(Num(h, 2, 2), 4);
  EXPECT_EQ(Num(h, 5, 2), 3);
  EXPECT_EQ(Num(h, 8, 2), 15);
  EXPECT_EQ(Num(h, 11, 2), 0);
  EXPECT_EQ(Num(h, 14, 2), 30);
  EXPECT_EQ(Num(h, 17, 2), 10);
  EXPECT_EQ(Num(h, 21, 1), 2);
  EXPECT_EQ(h.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(MakeDumpHeaderLine(TSimDumpHeader{TSimDateTime{2012, 11, 9, 23, 59, 58}, 6}), "*12-11-09 58:59:23 R6");
}

TEST(Dump, LinesEndInCrLfAndCountRecordsPlusTwo) {
  std::vector<TReadings> records(7);
  for (size_t i = 0; i < records.size(); ++i) records[i].fill(static_cast<std::uint16_t>(600 + i));
  TReadings now{};
  now.fill(1000);
  const TSimDumpHeader header{TSimDateTime{2004, 3, 15, 10, 30, 0}, 4};
  const std::string dump = MakeDump(header, records, now);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < dump.size()) {
    const size_t crlf = dump.find("\r\n", start);
    ASSERT_NE(crlf, std::string::npos) << "text after the last line end";
    lines.push_back(dump.substr(start, crlf - start));
    start = crlf + 2;
  }
  ASSERT_EQ(lines.size(), records.size() + 2);
  EXPECT_EQ(lines[0], MakeDumpHeaderLine(header));
  for (size_t i = 0; i < records.size(); ++i) EXPECT_EQ(lines[i + 1], MakeRecordLine(records[i]));
  EXPECT_EQ(lines.back(), MakeRecordLine(now));
  // No stray line breaks: every CR is followed by LF and every LF preceded by CR.
  size_t crs = 0, lfs = 0;
  for (char c : dump) crs += c == '\r', lfs += c == '\n';
  EXPECT_EQ(crs, lines.size());
  EXPECT_EQ(lfs, lines.size());
  // With the end mark appended the program counts L = N + 3 lines.
  EXPECT_EQ(lines.size() + 1 - 3, records.size());
}

TEST(Dump, EmptyMemoryStillSendsTheRecordInProgress) {
  TReadings now{};
  now.fill(744);
  const std::string dump = MakeDump(TSimDumpHeader{}, {}, now);
  EXPECT_EQ(dump, MakeDumpHeaderLine(TSimDumpHeader{}) + "\r\n" + MakeRecordLine(now) + "\r\n");
}

TEST(SimDateTime, MillisecondsRoundTripAcrossMonthsAndLeapYears) {
  const TSimDateTime cases[] = {{2000, 1, 1, 0, 0, 0},    {2000, 2, 29, 12, 0, 0},    {2003, 2, 28, 23, 59, 59},
                                {2004, 2, 29, 22, 15, 0}, {2099, 12, 31, 23, 59, 59}, {2026, 12, 7, 20, 37, 12}};
  for (const TSimDateTime &t : cases) EXPECT_EQ(TSimDateTime::FromMs(t.ToMs()), t) << t.Text();
  EXPECT_EQ((TSimDateTime{2000, 1, 1, 0, 0, 0}.ToMs()), 0);
  EXPECT_EQ(TSimDateTime::FromMs((TSimDateTime{2003, 12, 31, 23, 59, 59}.ToMs()) + 1000),
            (TSimDateTime{2004, 1, 1, 0, 0, 0}));
  EXPECT_EQ(TSimDateTime::FromMs((TSimDateTime{2004, 2, 28, 23, 0, 0}.ToMs()) + 3600000),
            (TSimDateTime{2004, 2, 29, 0, 0, 0}));
  EXPECT_EQ(TSimDateTime::FromMs((TSimDateTime{2003, 2, 28, 23, 0, 0}.ToMs()) + 3600000),
            (TSimDateTime{2003, 3, 1, 0, 0, 0}));
  EXPECT_EQ(TSimDateTime::FromMs(-1000), (TSimDateTime{1999, 12, 31, 23, 59, 59}));
}

TEST(SimDateTime, ValidityAndParsing) {
  EXPECT_TRUE((TSimDateTime{2004, 2, 29, 0, 0, 0}).IsValid());
  EXPECT_FALSE((TSimDateTime{2003, 2, 29, 0, 0, 0}).IsValid());
  EXPECT_FALSE((TSimDateTime{2004, 4, 31, 0, 0, 0}).IsValid());
  EXPECT_FALSE((TSimDateTime{2004, 13, 1, 0, 0, 0}).IsValid());
  EXPECT_FALSE((TSimDateTime{2004, 1, 1, 24, 0, 0}).IsValid());
  EXPECT_EQ(TSimDateTime::Parse("2004-03-15 10:30:05"), (TSimDateTime{2004, 3, 15, 10, 30, 5}));
  EXPECT_EQ(TSimDateTime::Parse("2004-03-15T10:30:05"), (TSimDateTime{2004, 3, 15, 10, 30, 5}));
  for (const char *bad :
       {"", "2004-03-15", "2004-02-30 10:00:00", "2004-03-15 10:30:05x", "15/03/2004 10:30:05", "2004-03-15 25:00:00"})
    EXPECT_THROW(TSimDateTime::Parse(bad), ESimulator) << bad;
}

TEST(ChannelCurves, StayRealisticSmoothAndApart) {
  const std::int64_t t0 = TSimDateTime{2004, 3, 15, 0, 0, 0}.ToMs();
  std::set<int> means;
  for (int k = 1; k <= kSimChannels; ++k) {
    double sum = 0;
    int prev = -1, worst_step = 0, n = 0;
    // Three days in 10-second steps.
    for (std::int64_t t = t0; t < t0 + 3 * 86400000LL; t += 10000, ++n) {
      const int r = ChannelReading(k, t, 7);
      ASSERT_GE(r, 550) << "below 5 °C, channel " << k;
      ASSERT_LE(r, 1100) << "above 60 °C, channel " << k;
      if (prev >= 0) worst_step = std::max(worst_step, std::abs(r - prev));
      prev = r;
      sum += ReadingToCelsius(static_cast<std::uint16_t>(r));
    }
    EXPECT_LE(worst_step, 3) << "channel " << k << " jumps";
    means.insert(static_cast<int>(std::lround(sum / n)));
  }
  EXPECT_GE(means.size(), 12u) << "channels should not share one curve";
}

TEST(ChannelCurves, DependOnTheSeedAndNothingElse) {
  const std::int64_t t = TSimDateTime{2010, 6, 1, 12, 0, 0}.ToMs();
  EXPECT_EQ(ChannelReadings(t, 42), ChannelReadings(t, 42));
  EXPECT_NE(ChannelReadings(t, 42), ChannelReadings(t, 43));
  EXPECT_NE(ChannelReadings(t, 42), ChannelReadings(t + 3600000, 42));
  EXPECT_DOUBLE_EQ(ReadingToCelsius(750), 25.0);
  EXPECT_DOUBLE_EQ(ReadingToCelsius(0), -50.0);
}

TEST(SimConfig, RejectsWhatTheLoggerCannotDo) {
  auto bad = [](auto change) {
    TSimConfig c;
    change(c);
    return c;
  };
  EXPECT_NO_THROW(TSimConfig().Validate());
  EXPECT_THROW(bad([](TSimConfig &c) { c.FrameIntervalMs = 0; }).Validate(), ESimulator);
  EXPECT_THROW(bad([](TSimConfig &c) { c.StoredRecords = 2001; }).Validate(), ESimulator);
  EXPECT_THROW(bad([](TSimConfig &c) { c.StoredRecords = -1; }).Validate(), ESimulator);
  EXPECT_THROW(bad([](TSimConfig &c) { c.RateCode = 7; }).Validate(), ESimulator);
  EXPECT_THROW(bad([](TSimConfig &c) { c.Start = TSimDateTime{2004, 2, 30, 0, 0, 0}; }).Validate(), ESimulator);
  EXPECT_THROW(bad([](TSimConfig &c) { c.Start = TSimDateTime{1999, 5, 1, 0, 0, 0}; }).Validate(), ESimulator);
  EXPECT_THROW(bad([](TSimConfig &c) { c.TimeAcceleration = 0; }).Validate(), ESimulator);
  EXPECT_THROW(bad([](TSimConfig &c) { c.HangupAfter = -2; }).Validate(), ESimulator);
  EXPECT_THROW(bad([](TSimConfig &c) { c.DriftSecondsPerDay = -50000; }).Validate(), ESimulator);
  EXPECT_NO_THROW(bad([](TSimConfig &c) { c.DriftSecondsPerDay = -43200; }).Validate());
  // 2000 hourly records before 10 January 2000 would start in 1999.
  EXPECT_THROW(bad([](TSimConfig &c) {
                 c.Start = TSimDateTime{2000, 1, 10, 0, 0, 0};
                 c.RateCode = 6;
                 c.StoredRecords = 2000;
               }).Validate(),
               ESimulator);
}
