#pragma once

// The history's chart without its window: the ranges the quick buttons
// pick, the outline drawn as the graph window's 16 lines, the time axis and
// what the readout says at a point.

#include "archive/archive.h"
#include "chart/chart.h"

#include <cstdint>
#include <set>
#include <vector>

// "Último día", "Última semana", "Último mes", "Todo".
enum class THistorySpan { Day, Week, Month, All };

struct THistoryRange {
  TStamp From, To;
};

// The range a quick button picks, counted back from the logger's newest
// record `last` (not from today: a history of last year is not empty).
// A month back is the same day and time of the month before, or that
// month's last day when it is shorter. "Todo" is `first` to `last`.
THistoryRange HistorySpanRange(THistorySpan span, const TStamp &first, const TStamp &last);

// Seconds of the chart's time axis (from 1 January 2000) of a stamp, and
// the stamp of a point of the axis (rounded down to the whole second).
double ChartSeconds(const TStamp &stamp);
TStamp StampOfChartSeconds(double seconds);

// The outline's 16 channels as the chart's 16 lines, in degrees at their
// instants. Lines the user hid stay hidden.
void FillHistoryChart(TChart &chart, const TArchiveOutline &outline);

// The bottom axis over instants: on, dates and times ("Fecha y hora"); off,
// hours from `start`, the start of the range shown.
void SetHistoryTimeAxis(TChart &chart, bool realTime, double start);

extern const char *const kHoursAxisTitle;  // "Horas desde el inicio"

// The readout at the cursor's instant `seconds`: the date and time, a note
// when that instant holds more than one version, and each shown channel's
// reading nearest to it, in its line's colour.
std::vector<TChart::TReadoutLine> HistoryReadout(TChart &chart, double seconds, const std::set<std::int64_t> &versions);
