#include "app/history_chart.h"

#include "chart/time_axis.h"
#include "graph/graph_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

const char *const kHoursAxisTitle = "Horas desde el inicio";

namespace {

const std::int64_t kChartEpoch = StampSeconds(TStamp{2000, 1, 1, 0, 0, 0});

int DaysInMonth(int year, int month) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

TStamp SecondsBack(const TStamp &stamp, std::int64_t seconds) {
  return StampFromSeconds(StampSeconds(stamp) - seconds);
}

// Hours with as many decimals as the labels' step needs, and the program's
// decimal comma.
std::string HoursText(double hours, double step) {
  int decimals = 0;
  while (decimals < 4 && step > 0 && step * std::pow(10.0, decimals) < 0.999) ++decimals;
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, std::fabs(hours) < 1e-9 ? 0.0 : hours);
  std::string out = text;
  for (char &c : out)
    if (c == '.') c = ',';
  return out;
}

}  // namespace

double ChartSeconds(const TStamp &stamp) { return static_cast<double>(StampSeconds(stamp) - kChartEpoch); }

TStamp StampOfChartSeconds(double seconds) {
  return StampFromSeconds(static_cast<std::int64_t>(std::floor(seconds)) + kChartEpoch);
}

THistoryRange HistorySpanRange(THistorySpan span, const TStamp &first, const TStamp &last) {
  THistoryRange range{first, last};
  switch (span) {
    case THistorySpan::Day: range.From = SecondsBack(last, 86400); break;
    case THistorySpan::Week: range.From = SecondsBack(last, 7 * 86400); break;
    case THistorySpan::Month: {
      TStamp from = last;
      if (--from.Month == 0) {
        from.Month = 12;
        --from.Year;
      }
      from.Day = std::min(from.Day, DaysInMonth(from.Year, from.Month));
      range.From = ValidStamp(from) ? from : first;
      break;
    }
    case THistorySpan::All: break;
  }
  // A history shorter than the span starts where it starts.
  if (StampSeconds(range.From) < StampSeconds(first)) range.From = first;
  return range;
}

void FillHistoryChart(TChart &chart, const TArchiveOutline &outline) {
  for (int k = 0; k < 16 && k < chart.SeriesCount(); ++k) {
    TLineSeries &s = chart.Series(k);
    s.Clear();
    for (const TOutlinePoint &p : outline.Channels[static_cast<size_t>(k)]) s.AddXY(p.Seconds, p.Value / 10.0);
  }
  chart.Invalidate();
}

void SetHistoryTimeAxis(TChart &chart, bool realTime, double start) {
  TChartAxis &axis = chart.BottomAxis();
  if (realTime) {
    // The axis' values are seconds already: times that are their own
    // sample numbers.
    const auto identity = std::make_shared<const TRecordTimes>(std::vector<double>{0, 1});
    axis.SetLabelSource(
        [identity](double lo, double hi, int size, int separation, const std::function<int(const std::string &)> &w) {
          return RecordTimeTicks(*identity, lo, hi, size, separation, w);
        });
    axis.Title().SetCaption(QString::fromUtf8(kTimeAxisTitle));
    return;
  }
  axis.SetLabelSource(
      [start](double lo, double hi, int size, int separation, const std::function<int(const std::string &)> &w) {
        const double from = (lo - start) / 3600, to = (hi - start) / 3600;
        const int label = std::max(w(HoursText(to, 1)), w(HoursText(from, 1)));
        const TAxisTicks hours = CalcAxisTicks(from, to, size, label, separation, 0);
        TAxisTicks ticks;
        ticks.Step = hours.Step * 3600;
        for (double h : hours.Values) {
          ticks.Values.push_back(start + h * 3600);
          ticks.Texts.push_back(HoursText(h, hours.Step));
        }
        return ticks;
      });
  axis.Title().SetCaption(QString::fromUtf8(kHoursAxisTitle));
}

std::vector<TChart::TReadoutLine> HistoryReadout(TChart &chart, double seconds,
                                                 const std::set<std::int64_t> &versions) {
  std::vector<TChart::TReadoutLine> lines;
  lines.push_back({QString::fromStdString(FormatDateTime(seconds)), QColor()});
  const auto instant = static_cast<std::int64_t>(std::llround(seconds));
  if (versions.count(instant) > 0)
    lines.push_back({QString::fromUtf8("Varias versiones de este instante"), QColor(Qt::red)});
  for (int k = 0; k < chart.SeriesCount(); ++k) {
    TLineSeries &s = chart.Series(k);
    if (!s.Active() || s.Count() == 0) continue;
    // The reading nearest the instant: the cursor stands on the first shown
    // line's points, and another line may have none just there.
    const double *x = s.XValues().Data();
    const int n = s.Count();
    int i = static_cast<int>(std::lower_bound(x, x + n, seconds) - x);
    if (i == n || (i > 0 && seconds - x[i - 1] <= x[i] - seconds)) --i;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", s.YValues()[i]);
    QString value = QString::fromLatin1(text).replace('.', ',');
    lines.push_back({QString("CANAL%1: %2").arg(k + 1).arg(value), s.SeriesColor()});
  }
  return lines;
}
