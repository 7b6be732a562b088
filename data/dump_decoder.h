#pragma once

#include "data/data_table.h"
#include "data/dump_lines.h"

#include <array>
#include <string>

// Decoding of a downloaded dump into the data table.
//
// Line 0 is the header (start date and time, sampling-rate code), lines 1 to
// L - 2 hold 96 digits each (16 channels of six digits hhhlll), line L - 1 is
// the end mark. The table gets N = L - 3 records in rows 1 to N; the line just
// before the end mark is decoded too, into row N + 1, which is never shown.

// Grid layout of the table.
constexpr int DataColumns = 19;  // running number, date, time, CH1 ... CH16
constexpr int FirstValueColumn = 3;
constexpr int Channels = 16;
constexpr int RecordDigits = 96;
constexpr int HeaderLength = 21;

// The six start fields (the window keeps them in its hidden labels).
struct TStartFields {
  int Year = 0;  // within the century: 4 means 2004
  int Month = 0;
  int Day = 0;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  bool operator==(const TStartFields &o) const {
    return Year == o.Year && Month == o.Month && Day == o.Day && Hour == o.Hour && Minute == o.Minute &&
           Second == o.Second;
  }
};

// What the header gives the window besides the rows.
struct TDumpHeader {
  TStartFields Start;
  std::string StartDate;  // DD/MM/YYYY
  std::string StartTime;  // HH:MM:SS
  // The rate box's text. It is an input too: a rate digit outside 1 to 6
  // leaves it as the previous decoding set it, and the time stamps follow
  // whatever it then says.
  std::string RateText;
};

// Rate texts of the codes 1 to 6, in code order, and their steps in minutes.
extern const std::array<const char *, 6> RATE_TEXTS;
extern const std::array<int, 6> RATE_STEPS;

// Records of a dump of L lines (negative when there are none).
inline int RecordCount(int lineCount) { return lineCount - 3; }

// Days of a month of the two-digit year: February has 29 days when the year
// is divisible by 4 (year 0 included). A month outside 1 to 12, which only a
// damaged header gives, counts 31 days.
int VERIFICAR(int month, int year);

// Texts of a date and a time in the program's form. Fields below 10 get a
// leading zero; the year is "200" or "20" followed by the two-digit year.
std::string DateText(int day, int month, int year);
std::string TimeText(int hour, int minute, int second);

// Text of a raw reading R = H * 256 + Lo - 500: R / 10 with one decimal and
// the current decimal separator (750 gives "25,0", -5 gives "-0,5").
std::string TemperatureText(int raw);

// Columns 1 and 2 of rows 1 to records: the start plus one step per row.
// Each raises nothing; rows beyond the table are added to it.
void TimeStampWalk(const TStartFields &start, int step, int records, TDataTable &table);
void VERPOR1MINUTO(const TStartFields &start, int records, TDataTable &table);
void VERPOR5MINUTOS(const TStartFields &start, int records, TDataTable &table);
void VERPOR10MINUTOS(const TStartFields &start, int records, TDataTable &table);
void VERPOR15MINUTOS(const TStartFields &start, int records, TDataTable &table);
void VERPOR30MINUTOS(const TStartFields &start, int records, TDataTable &table);
void VERPOR60MINUTOS(const TStartFields &start, int records, TDataTable &table);

// Decodes the header into `header` (all or nothing: a bad header raises
// EConvertError and leaves `header` as it was), then writes the time stamps of
// rows 1 to records as the rate text chooses.
void OBTIENEFECHAYHORA(const TDumpLines &lines, int records, TDataTable &table, TDumpHeader &header);

// Channel values of lines 1 to records + 1 into columns 3 to 18. A line whose
// digits do not convert raises EConvertError; the rows before it stay written
// and the failing row gets none of its values.
void MUESTRADATA(const TDumpLines &lines, int records, TDataTable &table);

// The whole decoding, in the order the window shows it: header and time
// stamps, the row-0 captions, the running numbers, the channel values. A
// failure stops it where it happened; what was written stays.
void DOSCANALESLM35(const TDumpLines &lines, TDataTable &table, TDumpHeader &header);
