#pragma once

// The records' cells read as what they mean: temperatures in whole tenths of
// a degree (the logger's resolution), date and time stamps on the calendar,
// and which table column the grid shows where. The opened files, the
// exports and the statistics all read the table through these, so a cell
// means the same thing to each of them.

#include "data/data_table.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A temperature cell: an optional minus sign, digits, and optionally a
// decimal comma or point with decimals. The value must be a whole number of
// tenths ("25,50" is 255 tenths, "25,05" is refused); at most nine digits
// before the mark. False for anything else, the empty text included.
bool ParseTenths(std::string_view text, std::int64_t &tenths);

// The program's text of a temperature: one decimal, `decimal` as the mark,
// a minus sign only below zero ("-0,5", "25,0").
std::string TenthsText(std::int64_t tenths, char decimal = ',');
// The same into `out`, which must hold 24 characters; returns the end.
char *PutTenths(char *out, std::int64_t tenths, char decimal);

// A date and time on the calendar.
struct TStamp {
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
  bool operator==(const TStamp &o) const {
    return Year == o.Year && Month == o.Month && Day == o.Day && Hour == o.Hour && Minute == o.Minute &&
           Second == o.Second;
  }
};

// A real date of the years 1 to 9999 and a time of day.
bool ValidStamp(const TStamp &s);
// Seconds from 1 January of year 1, and back.
std::int64_t StampSeconds(const TStamp &s);
TStamp StampFromSeconds(std::int64_t seconds);

// A row's date and time cells ("15/03/2004", "10:35:00") as a stamp: false
// when either is missing or is not a real date or time (a damaged header can
// make the program count to day 32 or hour 30).
bool RowStamp(std::string_view date, std::string_view time, TStamp &stamp);
// "2004-03-15T10:35:00".
std::string IsoText(const TStamp &s);
// The program's date and time texts of a stamp: "15/03/2004", "10:35:00".
std::string ProgramDateText(const TStamp &s);
std::string ProgramTimeText(const TStamp &s);

// Which table column the grid shows the date, the time and each channel in,
// after the user dragged columns about: the channels in the order they are
// shown, each keeping its own caption. `columnAtPosition` is the grid's
// column order (empty: as stored).
struct TShownColumns {
  int Date = 1;
  int Time = 2;
  std::array<int, 16> Channels{};
};
TShownColumns ShownColumns(const std::vector<int> &columnAtPosition);

// `columnAtPosition` with the channels put back in their own order (CH1 to
// CH16) in the places channels hold; the date and the time stay where they
// are. The program's text file names its channels by place only, so records
// whose channels came in another order (a CSV's, by their names) are written
// in it this way, unless the user arranged the grid otherwise.
std::vector<int> ChannelsInOwnOrder(const std::vector<int> &columnAtPosition);

// What the first rows tell of the recording when its header is not at hand
// (an opened file): the step between the first two records, if it is one of
// the logger's rates, gives the rate text, and the first record less one
// step the start. Unknown (Known false) with fewer than two stamped records
// or any other step.
struct TDerivedStart {
  bool Known = false;
  TStamp Start;
  int StepMinutes = 0;
  std::string RateText;
};
TDerivedStart DeriveStart(const TDataTable &table, int records, int dateColumn = 1, int timeColumn = 2);
