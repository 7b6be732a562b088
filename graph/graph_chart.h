#pragma once

#include "chart/chart.h"
#include "chart/time_axis.h"

#include <QColor>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TDataTable;

// The graph of the downloaded records, as the graph window shows it and as
// talvex-cli draws it without a window: the chart's look, its 16 lines, the
// time axis and what the readout says.

// Line colours in channel order (channel 5 is the white one, drawn wider).
extern const QColor kGraphSeriesColors[16];

// Sets the chart up as the graph window has it: panel, title, axes, the 16
// hidden-marker lines.
void ConfigureGraphChart(TChart &c);

// The records' times, read from the date and time columns (by the place the
// grid shows them, `columnAtPosition` as TStringGrid::ColumnOrder gives it).
// Known() is false when any record lacks a valid date or time.
class TGraphTimes {
public:
  TGraphTimes() = default;
  TGraphTimes(const TDataTable &table, int records, const std::vector<int> &columnAtPosition);
  bool Known() const { return known_; }
  // The first record (1 the first) without a valid date or time; 0 when
  // every record has them or there are none.
  int FirstUnknown() const { return firstUnknown_; }
  const TRecordTimes &Records() const { return *times_; }
  std::shared_ptr<const TRecordTimes> Shared() const { return times_; }

private:
  std::shared_ptr<const TRecordTimes> times_ = std::make_shared<TRecordTimes>();
  bool known_ = false;
  int firstUnknown_ = 0;
};

// What tells one set of records from another: the dates, times and values
// of the first `records` rows, by the columns they were written to (so that
// columns dragged to other places are still the same records).
std::uint64_t GraphDataFingerprint(const TDataTable &table, int records);

// The bottom axis against the records' times (on) or their sample numbers
// (off, as the window opens). Times that go back or repeat say so in the
// axis title.
void SetGraphTimeAxis(TChart &c, bool on, const TGraphTimes &times);

extern const char *const kSampleAxisTitle;  // "Muestra número: (tiempo)"
extern const char *const kTimeAxisTitle;    // "Fecha y hora"
extern const char *const kNotMonotonic;     // " (tiempo no monótono)"

// The table "Incluir resumen" prints under the chart: the recording's start,
// rate and number of records, then for each shown channel its lowest and
// highest value with their date and time, and its mean, over the records as
// the grid shows them.
TPrintSummary GraphSummary(TChart &c, const TDataTable &table, int records, const std::vector<int> &columnAtPosition);

// The readout box for record `index` (0 the first): its number, its date and
// time when known, and the shown channels' values as the grid has them, each
// in its line's colour.
std::vector<TChart::TReadoutLine> GraphReadout(TChart &c, const TDataTable &table,
                                               const std::vector<int> &columnAtPosition, const TGraphTimes &times,
                                               int index);
