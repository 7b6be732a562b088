#include "data/data_statistics.h"

#include "data/dump_decoder.h"
#include "data/record_values.h"

#include <algorithm>
#include <cmath>

std::optional<std::int64_t> TDataStatistics::MinutesAbove(const TChannelStats &c) const {
  if (!Limits.Upper || !IntervalsKnown) return std::nullopt;
  return c.AboveSeconds / 60;
}

std::optional<std::int64_t> TDataStatistics::MinutesBelow(const TChannelStats &c) const {
  if (!Limits.Lower || !IntervalsKnown) return std::nullopt;
  return c.BelowSeconds / 60;
}

std::string TDataStatistics::SpacingText() const {
  if (!IntervalsKnown) return "intervalo desconocido";
  if (Irregular)
    return "a intervalos irregulares (de " + DurationText(ShortestStepSeconds / 60) + " a " +
           DurationText(LongestStepSeconds / 60) + ")";
  if (StepMinutes) return "uno cada " + std::to_string(StepMinutes) + " min";
  return "uno cada " + std::to_string(ShortestStepSeconds) + " s";
}

namespace {

// The time each record stands for, in seconds; empty when the stamps do not
// tell (a record without a real date and time, one earlier than the record
// before it, or fewer than two).
std::vector<std::int64_t> RecordIntervals(const TDataTable &table, int records, const TShownColumns &shown) {
  std::vector<std::int64_t> intervals;
  if (records < 2) return intervals;
  intervals.reserve(static_cast<size_t>(records));
  std::int64_t previous = 0;
  for (int r = 1; r <= records; ++r) {
    TStamp stamp;
    if (!RowStamp(table.Cells(shown.Date, r), table.Cells(shown.Time, r), stamp)) return {};
    const std::int64_t at = StampSeconds(stamp);
    if (r > 1) {
      if (at < previous) return {};
      intervals.push_back(at - previous);
    }
    previous = at;
  }
  intervals.push_back(intervals.back());
  return intervals;
}

}  // namespace

TDataStatistics ComputeStatistics(const TDataTable &table, int records, const std::vector<int> &columnAtPosition,
                                  const TStatLimits &limits, const TAlarmOptions &alarms) {
  TDataStatistics stats;
  stats.Records = records > 0 ? records : 0;
  stats.Limits = limits;
  stats.Alarms = alarms;
  const TShownColumns shown = ShownColumns(columnAtPosition);
  const std::vector<std::int64_t> intervals = RecordIntervals(table, stats.Records, shown);
  // Records that all share one stamp tell no time either.
  stats.IntervalsKnown = !intervals.empty() && *std::max_element(intervals.begin(), intervals.end()) > 0;
  if (stats.IntervalsKnown) {
    const auto [shortest, longest] = std::minmax_element(intervals.begin(), intervals.end());
    stats.ShortestStepSeconds = *shortest;
    stats.LongestStepSeconds = *longest;
    stats.Irregular = *shortest != *longest;
    if (!stats.Irregular && *shortest % 60 == 0) stats.StepMinutes = static_cast<int>(*shortest / 60);
  }
  // Whole tenths add up exactly; the squares of readings far beyond the
  // logger's range still fit in 128 bits.
  std::int64_t sums[Channels] = {};
  __int128 squares[Channels] = {};
  for (size_t k = 0; k < stats.Channels.size(); ++k)
    stats.Channels[k].Name = std::string(table.Cells(shown.Channels[k], 0));
  // Row by row: the table is read once, in the order it lies in memory.
  for (int r = 1; r <= stats.Records; ++r) {
    for (int k = 0; k < Channels; ++k) {
      std::int64_t v;
      if (!ParseTenths(table.Cells(shown.Channels[k], r), v)) continue;
      TChannelStats &c = stats.Channels[k];
      if (c.Count == 0 || v < c.Min) {
        c.Min = v;
        c.MinRow = r;
      }
      if (c.Count == 0 || v > c.Max) {
        c.Max = v;
        c.MaxRow = r;
      }
      ++c.Count;
      sums[k] += v;
      squares[k] += static_cast<__int128>(v) * v;
      const std::int64_t lasts = stats.IntervalsKnown ? intervals[static_cast<size_t>(r - 1)] : 0;
      if (limits.Upper && v > *limits.Upper) {
        ++c.Above;
        c.AboveSeconds += lasts;
      }
      if (limits.Lower && v < *limits.Lower) {
        ++c.Below;
        c.BelowSeconds += lasts;
      }
    }
  }
  for (int k = 0; k < Channels; ++k) {
    TChannelStats &c = stats.Channels[k];
    if (c.Count == 0) continue;
    const long double n = c.Count;
    const long double mean = static_cast<long double>(sums[k]) / n;
    const long double variance = static_cast<long double>(squares[k]) / n - mean * mean;
    c.Mean = static_cast<double>(mean / 10);
    c.StdDev = static_cast<double>(std::sqrt(variance > 0 ? variance : 0) / 10);
  }
  return stats;
}

std::string RecordStampText(const TDataTable &table, int row) {
  std::string text(table.Cells(1, row));
  const std::string_view time = table.Cells(2, row);
  if (!text.empty() && !time.empty()) text += ' ';
  text += time;
  return text;
}

std::string DurationText(std::int64_t minutes) {
  const std::int64_t days = minutes / 1440, hours = minutes / 60 % 24, rest = minutes % 60;
  std::string text;
  if (days) text += std::to_string(days) + " d ";
  if (days || hours) text += std::to_string(hours) + " h ";
  return text + std::to_string(rest) + " min";
}
