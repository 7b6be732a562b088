#pragma once

#include "chart/axis_scale.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Date-times for an axis, free of any widget. A time is a count of seconds
// from 1 January 2000, 00:00, on the logger's own clock: no zones, no
// daylight saving (the logger knows neither).

double CivilSeconds(int year, int month, int day, int hour, int minute, double second);
struct TCivilTime {
  int Year = 2000, Month = 1, Day = 1, Hour = 0, Minute = 0;
  double Second = 0;
};
TCivilTime CivilTime(double seconds);

// A record's date ("dd/mm/yyyy") and time ("hh:mm:ss") as the table holds
// them; false when either is not a valid date or time.
bool ParseRecordTime(std::string_view date, std::string_view time, double &seconds);

// How a tick's time is written, from the finest to the coarsest.
enum TTimeLabelStyle {
  tlsTenths,      // "hh:mm:ss,d"
  tlsSeconds,     // "hh:mm:ss"
  tlsMinutes,     // "hh:mm", when the whole span lies in one day
  tlsDayMinutes,  // "dd/mm hh:mm"
  tlsDays,        // "dd/mm/aa"
  tlsMonths,      // "ene 26"
  tlsYears,       // "2026"
  tlsRecord       // "dd/mm hh:mm:ss": a record's own time, when times are not in order
};

std::string FormatTimeLabel(double seconds, TTimeLabelStyle style);
// Texts as wide as any label of the style can be, for measuring.
std::vector<std::string> SampleTimeLabels(TTimeLabelStyle style);
// The full date and time ("dd/mm/yyyy hh:mm:ss"), for readouts.
std::string FormatDateTime(double seconds);

struct TTimeTicks {
  double StepSeconds = 0;  // a month counts as 30.44 days, a year as 365.25
  TTimeLabelStyle Style = tlsSeconds;
  std::vector<double> Times;
  std::vector<std::string> Labels;
};

// Ticks on round times between `from` and `to` (seconds): the smallest step
// of 0.1 s, 1, 2, 5, 10, 15, 30 s, the same in minutes, 1, 2, 3, 6, 12 h,
// 1, 2 days, a week (from Mondays), 1, 2, 3, 6 months, 1, 2, 5, 10 ...
// years whose labels fit on an axis of `axisSize` pixels, each label
// `labelWidth(style)` wide and `separation` percent of that apart.
TTimeTicks CalcTimeTicks(double from, double to, int axisSize, int separation,
                         const std::function<int(TTimeLabelStyle)> &labelWidth);

// The record times of a series drawn against its sample numbers (record i
// at x = i): which time lies at a fractional sample number and back.
class TRecordTimes {
public:
  explicit TRecordTimes(std::vector<double> times = {});
  int Count() const { return static_cast<int>(times_.size()); }
  double Time(int index) const { return times_.at(static_cast<size_t>(index)); }
  // Every time later than the one before it. Otherwise the line keeps the
  // records' order and the axis can only name the records' own times.
  bool Monotonic() const { return monotonic_; }
  // Interpolated between records, extended past the ends at the nearest
  // records' pace.
  double TimeAt(double x) const;
  // The inverse, for monotonic times.
  double IndexAt(double seconds) const;

private:
  std::vector<double> times_;
  bool monotonic_ = true;
};

// The bottom axis of a chart of records against their sample numbers,
// labelled with the records' times: round times where the times run
// forward, else the times of whole records. Labels that would touch the one
// before them are left out, so none overlap. `labelWidth` measures a text.
TAxisTicks RecordTimeTicks(const TRecordTimes &times, double minimum, double maximum, int axisSize, int separation,
                           const std::function<int(const std::string &)> &labelWidth);
