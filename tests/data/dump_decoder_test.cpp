#include "data/dump_decoder.h"
#include "dump_samples.h"

#include "runtime/exceptions.h"
#include "runtime/format_settings.h"
#include "runtime/number_format.h"

#include <gtest/gtest.h>

using namespace dump_samples;

namespace {

class Decoding : public ::testing::Test {
protected:
  void SetUp() override { ApplyProgramFormats(); }

  // Decodes like the window does: an emptied table sized to the shown rows.
  void Decode(const std::string &dump) {
    text = dump;
    lines = SplitDumpLines(text);
    table.Clear();
    table.SetRowCount(std::max(1, static_cast<int>(lines.size()) - 2));
    DOSCANALESLM35(lines, table, header);
  }

  // The message of the conversion failure the decoding raises.
  std::string DecodeFailure(const std::string &dump) {
    try {
      Decode(dump);
    } catch (const EConvertError &e) {
      return e.Message();
    }
    return "no failure";
  }

  std::string Date(int row) const { return std::string(table.Cells(1, row)); }
  std::string Time(int row) const { return std::string(table.Cells(2, row)); }

  std::string text;
  TDumpLines lines;
  TDataTable table{DataColumns, 0};
  TDumpHeader header;
};

// A walk of `rows` rows from the given start.
TDataTable Walk(int code, TStartFields start, int rows) {
  TDataTable t(DataColumns, rows + 1);
  TimeStampWalk(start, RATE_STEPS[code - 1], rows, t);
  return t;
}

TStartFields Start(int year, int month, int day, int hour, int minute, int second) {
  TStartFields f;
  f.Year = year;
  f.Month = month;
  f.Day = day;
  f.Hour = hour;
  f.Minute = minute;
  f.Second = second;
  return f;
}

TEST_F(Decoding, HeaderGivesStartFieldsTextsAndRate) {
  Decode(Dump(Header(4, 3, 15, 0, 30, 10, 2), {Record("002238"), Record("001144")}));
  EXPECT_EQ(header.Start, Start(4, 3, 15, 10, 30, 0));
  EXPECT_EQ(header.StartDate, "15/03/2004");
  EXPECT_EQ(header.StartTime, "10:30:00");
  EXPECT_EQ(header.RateText, "CADA 5 MINUTOS");
}

TEST_F(Decoding, EveryRateCodeHasItsTextAndStep) {
  const char *texts[] = {"CADA 1 MINUTO",   "CADA 5 MINUTOS",  "CADA 10 MINUTOS",
                         "CADA 15 MINUTOS", "CADA 30 MINUTOS", "CADA 60 MINUTOS"};
  const char *firstRow[] = {"10:01:07", "10:05:07", "10:10:07", "10:15:07", "10:30:07", "11:00:07"};
  for (int code = 1; code <= 6; ++code) {
    Decode(Dump(Header(4, 3, 15, 7, 0, 10, code), {Record("002238"), Record("002238")}));
    EXPECT_EQ(header.RateText, texts[code - 1]);
    EXPECT_EQ(Time(1), firstRow[code - 1]) << "code " << code;
  }
}

TEST_F(Decoding, FiveLineDumpFillsTwoRowsAndTheHiddenOne) {
  Decode(Dump(Header(4, 3, 15, 0, 30, 10, 2), {Record("002238"), Record("001144"), Record("015255")}));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(table.RowCount(), 3);

  const char *captions[] = {"",    "FECHA:", "HORA:", "CH1",  "CH2",  "CH3",  "CH4",  "CH5",  "CH6", "CH7",
                            "CH8", "CH9",    "CH10",  "CH11", "CH12", "CH13", "CH14", "CH15", "CH16"};
  for (int c = 0; c < DataColumns; ++c) EXPECT_EQ(table.Cells(c, 0), captions[c]);

  EXPECT_EQ(table.Cells(0, 1), "1");
  EXPECT_EQ(Date(1), "15/03/2004");
  EXPECT_EQ(Time(1), "10:35:00");
  EXPECT_EQ(table.Cells(3, 1), "25,0");
  EXPECT_EQ(table.Cells(0, 2), "2");
  EXPECT_EQ(Time(2), "10:40:00");
  EXPECT_EQ(table.Cells(3, 2), "-10,0");
  for (int c = 4; c < DataColumns; ++c) {
    EXPECT_EQ(table.Cells(c, 1), "0,0");
    EXPECT_EQ(table.Cells(c, 2), "0,0");
  }
  // The line before the end mark fills only its hidden row: values, no
  // running number, no time stamp.
  EXPECT_EQ(table.Cells(3, 3), "359,5");
  EXPECT_EQ(table.Cells(0, 3), "");
  EXPECT_EQ(Date(3), "");
}

TEST_F(Decoding, TenLinesShowSevenRecords) {
  std::vector<std::string> recs(8, Record("002238"));
  recs.back() = Record("000000");
  Decode(Dump(Header(4, 3, 15, 0, 30, 10, 4), recs));
  EXPECT_EQ(RecordCount(static_cast<int>(lines.size())), 7);
  EXPECT_EQ(table.Cells(0, 7), "7");
  EXPECT_EQ(Time(7), "12:15:00");
  EXPECT_EQ(table.Cells(0, 8), "");
  EXPECT_EQ(Time(8), "");
  EXPECT_EQ(table.Cells(3, 8), "-50,0");
}

TEST_F(Decoding, ChannelsReadTheirOwnSixDigits) {
  std::vector<std::string> fields;
  for (int k = 0; k < 16; ++k) {
    char f[8];
    const int raw = 500 + 10 * (k + 1);  // channel k+1 reads k+1 degrees
    std::snprintf(f, sizeof f, "%03d%03d", raw / 256, raw % 256);
    fields.push_back(f);
  }
  Decode(Dump(Header(4, 3, 15, 0, 30, 10, 1), {Record(fields), Record(fields)}));
  for (int k = 1; k <= 16; ++k) EXPECT_EQ(table.Cells(k + 2, 1), std::to_string(k) + ",0");
}

TEST_F(Decoding, TemperatureTextMatchesTheNumberPictureOverTheWholeRange) {
  // From 000000 (-50,0) to 999999 (25624,3): the fast text must be what the
  // program's "0.0" picture writes, decimal comma included.
  for (int raw = -500; raw <= 999 * 256 + 999 - 500; ++raw)
    ASSERT_EQ(TemperatureText(raw), FormatFloat("0.0", raw / 10.0)) << raw;
  EXPECT_EQ(TemperatureText(-5), "-0,5");
  EXPECT_EQ(TemperatureText(0), "0,0");
  EXPECT_EQ(TemperatureText(256243), "25624,3");
}

TEST_F(Decoding, TemperatureFollowsTheDecimalSeparator) {
  FormatSettings().DecimalSeparator = '.';
  EXPECT_EQ(TemperatureText(750), "75.0");
  ApplyProgramFormats();
  EXPECT_EQ(TemperatureText(750), "75,0");
}

TEST_F(Decoding, DaysOfTheMonth) {
  const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int m = 1; m <= 12; ++m) EXPECT_EQ(VERIFICAR(m, 3), days[m - 1]) << m;
  EXPECT_EQ(VERIFICAR(2, 4), 29);
  EXPECT_EQ(VERIFICAR(2, 0), 29);
  EXPECT_EQ(VERIFICAR(2, 99), 28);
  EXPECT_EQ(VERIFICAR(0, 4), 31);
  EXPECT_EQ(VERIFICAR(14, 4), 31);
}

TEST(TimeStamps, FiveMinuteRowsFromTheStart) {
  const auto t = Walk(2, Start(4, 3, 15, 10, 30, 0), 6);
  EXPECT_EQ(t.Cells(1, 1), "15/03/2004");
  EXPECT_EQ(t.Cells(2, 1), "10:35:00");
  EXPECT_EQ(t.Cells(1, 6), "15/03/2004");
  EXPECT_EQ(t.Cells(2, 6), "11:00:00");
}

TEST(TimeStamps, OneMinuteOverTheNewYear) {
  const auto t = Walk(1, Start(3, 12, 31, 23, 59, 30), 2);
  EXPECT_EQ(t.Cells(1, 1), "01/01/2004");
  EXPECT_EQ(t.Cells(2, 1), "00:00:30");
  EXPECT_EQ(t.Cells(2, 2), "00:01:30");
}

TEST(TimeStamps, StartMinuteOffTheStepCarriesIntoTheNextHour) {
  const auto t = Walk(2, Start(4, 3, 15, 10, 57, 0), 2);
  EXPECT_EQ(t.Cells(2, 1), "11:02:00");
  EXPECT_EQ(t.Cells(2, 2), "11:07:00");
  // The same off-step start at 15 and 30 minutes.
  EXPECT_EQ(Walk(4, Start(4, 3, 15, 23, 50, 0), 1).Cells(2, 1), "00:05:00");
  EXPECT_EQ(Walk(4, Start(4, 3, 15, 23, 50, 0), 1).Cells(1, 1), "16/03/2004");
  EXPECT_EQ(Walk(5, Start(4, 3, 15, 10, 45, 9), 1).Cells(2, 1), "11:15:09");
}

TEST(TimeStamps, OneMinuteWalkHasNoSecondCarry) {
  // Only a damaged header starts past minute 59; the 1-minute walk then
  // never meets 60 again and counts on, the others fold back.
  const auto one = Walk(1, Start(4, 3, 15, 10, 75, 0), 2);
  EXPECT_EQ(one.Cells(2, 1), "10:76:00");
  EXPECT_EQ(one.Cells(2, 2), "10:77:00");
  EXPECT_EQ(Walk(2, Start(4, 3, 15, 10, 75, 0), 1).Cells(2, 1), "11:20:00");
}

TEST(TimeStamps, HourlyOverTheEndOfFebruary) {
  const auto leap = Walk(6, Start(4, 2, 28, 22, 15, 0), 26);
  EXPECT_EQ(leap.Cells(1, 1), "28/02/2004");
  EXPECT_EQ(leap.Cells(2, 1), "23:15:00");
  EXPECT_EQ(leap.Cells(1, 2), "29/02/2004");
  EXPECT_EQ(leap.Cells(2, 2), "00:15:00");
  EXPECT_EQ(leap.Cells(1, 26), "01/03/2004");
  EXPECT_EQ(leap.Cells(2, 26), "00:15:00");

  const auto plain = Walk(6, Start(3, 2, 28, 22, 15, 0), 2);
  EXPECT_EQ(plain.Cells(1, 2), "01/03/2003");
  EXPECT_EQ(plain.Cells(2, 2), "00:15:00");
}

TEST(TimeStamps, LargeStepsOverTheNewYearShowTheNewYear) {
  const auto half = Walk(5, Start(9, 12, 31, 23, 45, 0), 2);
  EXPECT_EQ(half.Cells(1, 1), "01/01/2010");
  EXPECT_EQ(half.Cells(2, 1), "00:15:00");
  const auto hourly = Walk(6, Start(9, 12, 31, 23, 0, 0), 1);
  EXPECT_EQ(hourly.Cells(1, 1), "01/01/2010");
  EXPECT_EQ(hourly.Cells(2, 1), "00:00:00");
}

TEST(TimeStamps, YearTexts) {
  EXPECT_EQ(DateText(1, 1, 9), "01/01/2009");
  EXPECT_EQ(DateText(1, 1, 10), "01/01/2010");
  EXPECT_EQ(DateText(1, 1, 0), "01/01/2000");
  EXPECT_EQ(DateText(31, 12, 99), "31/12/2099");
  EXPECT_EQ(TimeText(5, 0, 59), "05:00:59");
}

TEST(TimeStamps, DayPastTheMonthsEndIsNotCorrected) {
  const auto t = Walk(6, Start(4, 4, 31, 23, 0, 0), 25);
  EXPECT_EQ(t.Cells(1, 1), "32/04/2004");
  EXPECT_EQ(t.Cells(2, 1), "00:00:00");
  EXPECT_EQ(t.Cells(1, 25), "33/04/2004");
  // An hour of 24 or more never rolls over either.
  const auto h = Walk(6, Start(4, 4, 1, 25, 0, 0), 1);
  EXPECT_EQ(h.Cells(2, 1), "26:00:00");
  EXPECT_EQ(h.Cells(1, 1), "01/04/2004");
}

TEST(TimeStamps, SecondsStayThoseOfTheStart) {
  const auto t = Walk(3, Start(4, 3, 15, 10, 0, 42), 100);
  for (int r = 1; r <= 100; ++r) ASSERT_EQ(t.Cells(2, r).substr(6), "42");
  EXPECT_EQ(t.Cells(2, 100), "02:40:42");
  EXPECT_EQ(t.Cells(1, 100), "16/03/2004");
}

TEST_F(Decoding, RateDigitOutsideTheCodesKeepsThePreviousRate) {
  header.RateText = "CADA 15 MINUTOS";
  Decode(Dump(Header(4, 3, 15, 0, 30, 10, 0), {Record("002238"), Record("002238")}));
  EXPECT_EQ(header.RateText, "CADA 15 MINUTOS");
  EXPECT_EQ(Time(1), "10:45:00");

  header.RateText.clear();
  Decode(Dump(Header(4, 3, 15, 0, 30, 10, 7), {Record("002238"), Record("002238")}));
  EXPECT_EQ(header.RateText, "");
  EXPECT_EQ(header.StartTime, "10:30:00");  // the header itself is taken
  EXPECT_EQ(Time(1), "");
  EXPECT_EQ(table.Cells(0, 1), "1");
  EXPECT_EQ(table.Cells(3, 1), "25,0");
}

TEST_F(Decoding, LineBreaksOfAnyKindGiveTheSameTable) {
  std::vector<std::string> recs = {Record("002238"), Record("001144"), Record("002238")};
  Decode(Dump(Header(4, 3, 15, 0, 30, 10, 2), recs, "\r\n"));
  const TDataTable crlf = table;
  for (const char *brk : {"\n", "\r"}) {
    Decode(Dump(Header(4, 3, 15, 0, 30, 10, 2), recs, brk));
    for (int r = 0; r <= 3; ++r)
      for (int c = 0; c < DataColumns; ++c) ASSERT_EQ(table.Cells(c, r), crlf.Cells(c, r)) << c << "," << r;
  }
}

TEST_F(Decoding, BadHeaderStopsEverythingAndKeepsTheOldHeader) {
  Decode(Dump(Header(4, 3, 15, 0, 30, 10, 2), {Record("002238"), Record("002238")}));
  const TDumpHeader before = header;

  std::string bad = Header(4, 3, 15, 0, 30, 10, 3);
  bad[14] = 'x';  // a minutes digit
  EXPECT_EQ(DecodeFailure(Dump(bad, {Record("002238"), Record("002238")})), "'x' is not a valid integer value");
  EXPECT_EQ(header.Start, before.Start);
  EXPECT_EQ(header.StartTime, before.StartTime);
  EXPECT_EQ(header.RateText, before.RateText);
  for (int c = 0; c < DataColumns; ++c) EXPECT_EQ(table.Cells(c, 0), "") << "no caption after a bad header";
  EXPECT_EQ(table.Cells(0, 1), "");
  EXPECT_EQ(table.Cells(3, 1), "");

  bad = Header(4, 3, 15, 0, 30, 10, 3);
  bad[20] = ' ';  // the rate digit
  EXPECT_EQ(DecodeFailure(Dump(bad, {})), "' ' is not a valid integer value");
}

TEST_F(Decoding, ShortHeaderFailsWithAnEmptyText) {
  const std::string shortHeader = Header(4, 3, 15, 0, 30, 10, 3).substr(0, 20);
  EXPECT_EQ(DecodeFailure(Dump(shortHeader, {Record("002238")})), "'' is not a valid integer value");
}

TEST_F(Decoding, EmptyDumpFails) {
  EXPECT_EQ(DecodeFailure(""), "'' is not a valid integer value");
  EXPECT_EQ(DecodeFailure("A"), "'' is not a valid integer value");
}

TEST_F(Decoding, BadRecordLineKeepsTheRowsBefore) {
  std::vector<std::string> recs(6, Record("002238"));
  recs[2][40] = 'Z';  // record 3, channel 7
  EXPECT_EQ(DecodeFailure(Dump(Header(4, 3, 15, 0, 30, 10, 2), recs)), "'Z' is not a valid integer value");
  EXPECT_EQ(header.StartDate, "15/03/2004");
  EXPECT_EQ(table.Cells(3, 0), "CH1");
  for (int r = 1; r <= 5; ++r) {
    EXPECT_EQ(table.Cells(0, r), std::to_string(r));
    EXPECT_FALSE(Time(r).empty()) << r;
  }
  EXPECT_EQ(table.Cells(3, 2), "25,0");
  EXPECT_EQ(table.Cells(18, 2), "0,0");
  for (int c = 3; c < DataColumns; ++c) {
    EXPECT_EQ(table.Cells(c, 3), "") << "the bad row gets none of its values";
    EXPECT_EQ(table.Cells(c, 4), "");
  }
}

TEST_F(Decoding, ShortRecordLineFails) {
  std::vector<std::string> recs(3, Record("002238"));
  recs[0].pop_back();
  EXPECT_EQ(DecodeFailure(Dump(Header(4, 3, 15, 0, 30, 10, 2), recs)), "'' is not a valid integer value");
  EXPECT_EQ(table.Cells(3, 1), "");
  EXPECT_EQ(Time(2), "10:40:00");
}

TEST_F(Decoding, BadLineBeforeTheEndMarkFailsAfterEveryShownRow) {
  std::vector<std::string> recs(4, Record("002238"));
  recs[3][95] = '-';
  EXPECT_EQ(DecodeFailure(Dump(Header(4, 3, 15, 0, 30, 10, 2), recs)), "'-' is not a valid integer value");
  for (int r = 1; r <= 3; ++r) EXPECT_EQ(table.Cells(18, r), "0,0") << r;
}

TEST_F(Decoding, ExtraCharactersAfterTheDigitsAreIgnored) {
  Decode(Dump(Header(4, 3, 15, 0, 30, 10, 2) + " tail", {Record("002238") + " 17 x", Record("002238") + "??"}));
  EXPECT_EQ(table.Cells(3, 1), "25,0");
}

TEST_F(Decoding, ThreeLinesOrFewerHaveNoRecords) {
  // Header, one line, end mark: the one line is still checked and decoded
  // into the hidden row 1.
  Decode(Dump(Header(4, 3, 15, 0, 30, 10, 2), {Record("002238")}));
  EXPECT_EQ(table.RowCount(), 1);
  EXPECT_EQ(table.Cells(0, 1), "");
  EXPECT_EQ(Time(1), "");
  EXPECT_EQ(table.Cells(3, 1), "25,0");
  EXPECT_EQ(table.Cells(3, 0), "CH1");

  std::string bad = Record("002238");
  bad[0] = 'q';
  EXPECT_EQ(DecodeFailure(Dump(Header(4, 3, 15, 0, 30, 10, 2), {bad})), "'q' is not a valid integer value");

  // Header and end mark only, and the header alone with the end mark on it.
  Decode(Dump(Header(4, 3, 15, 0, 30, 10, 2), {}));
  EXPECT_EQ(table.Cells(3, 1), "");
  EXPECT_EQ(header.StartDate, "15/03/2004");
  Decode(Header(4, 3, 15, 0, 30, 10, 2) + "A");
  EXPECT_EQ(table.Cells(1, 0), "FECHA:");
}

TEST_F(Decoding, TenThousandRecords) {
  Decode(LongDump(10000));
  EXPECT_EQ(table.Cells(0, 10000), "10000");
  // 10 000 steps of 5 minutes: 34 days 17 h 20 min after 15/03/2004 10:30.
  EXPECT_EQ(Date(10000), "19/04/2004");
  EXPECT_EQ(Time(10000), "03:50:00");
  EXPECT_EQ(table.Cells(3, 10000), TemperatureText(9999 % 3000));
  EXPECT_EQ(table.Cells(3, 10001), TemperatureText(10000 % 3000));
}

}  // namespace
