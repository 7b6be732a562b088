#include "data/data_statistics.h"

#include "data/dump_decoder.h"
#include "data/record_values.h"
#include "runtime/exceptions.h"
#include "runtime/user_settings.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>

std::optional<std::int64_t> TDataStatistics::MinutesAbove(const TChannelStats &c) const {
  if (!Limits.Upper || !IntervalsKnown) return std::nullopt;
  return c.AboveSeconds / 60;
}

std::optional<std::int64_t> TDataStatistics::MinutesBelow(const TChannelStats &c) const {
  if (!Limits.Lower || !IntervalsKnown) return std::nullopt;
  return c.BelowSeconds / 60;
}

bool TDataStatistics::AlarmsApply(const TChannelStats &c) const {
  return EventsKnown && Alarms.Limits && c.Channel >= 0 && c.Channel < kAlarmChannels &&
         (*Alarms.Limits)[static_cast<size_t>(c.Channel)].Any();
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

// The MKT of each channel and, with the logger's limits, its alarm events.
// The limits and the figures go by the channel's own number, whichever
// column the user dragged it to. Records whose times are not known still
// get an MKT, each counting alike; their events cannot be told.
void AddAlarmFigures(const TDataTable &table, const TShownColumns &shown, const std::vector<std::int64_t> &intervals,
                     TDataStatistics &stats) {
  const TAlarmOptions &options = stats.Alarms;
  const auto valuesOf = [&](int row) {
    TAlarmValues values{};
    for (int column = FirstValueColumn; column < FirstValueColumn + Channels; ++column) {
      std::int64_t v;
      if (ParseTenths(table.Cells(column, row), v) && v >= INT32_MIN && v <= INT32_MAX)
        values[static_cast<size_t>(column - FirstValueColumn)] = static_cast<std::int32_t>(v);
    }
    return values;
  };
  TStamp stamp;
  const bool timed = !intervals.empty() ||
                     (stats.Records == 1 && RowStamp(table.Cells(shown.Date, 1), table.Cells(shown.Time, 1), stamp));
  std::array<TChannelAlarmFigures, kAlarmChannels> figures{};
  if (timed) {
    TSeriesAlarmScan scan(options.Limits.value_or(TAlarmLimitSet()), options.ActivationEnergy);
    for (int r = 1; r <= stats.Records; ++r) {
      RowStamp(table.Cells(shown.Date, r), table.Cells(shown.Time, r), stamp);
      scan.Add(StampSeconds(stamp), valuesOf(r));
    }
    TSeriesAlarms found = scan.Finish();
    figures = found.Channels;
    stats.EventsKnown = true;
    if (options.Limits) stats.Events = std::move(found.Events);
  } else {
    std::array<TMktAccumulator, kAlarmChannels> mkt;
    mkt.fill(TMktAccumulator(options.ActivationEnergy));
    for (int r = 1; r <= stats.Records; ++r) {
      const TAlarmValues values = valuesOf(r);
      for (size_t k = 0; k < values.size(); ++k)
        if (values[k]) mkt[k].Add(*values[k], 0);
    }
    for (size_t k = 0; k < mkt.size(); ++k) figures[k].Mkt = mkt[k].Celsius();
  }
  for (TChannelStats &c : stats.Channels) c.Alarm = figures[static_cast<size_t>(c.Channel)];
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
  for (size_t k = 0; k < stats.Channels.size(); ++k) {
    stats.Channels[k].Name = std::string(table.Cells(shown.Channels[k], 0));
    stats.Channels[k].Channel = shown.Channels[k] - FirstValueColumn;
  }
  AddAlarmFigures(table, shown, intervals, stats);
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

namespace {
const char *const kActivationEnergyKey = "estadistica/energia_activacion";
}

double SavedActivationEnergy() {
  bool ok = false;
  const double saved = UserSettings().value(kActivationEnergyKey).toDouble(&ok);
  return ok && ActivationEnergyProblem(saved).empty() ? saved : kDefaultActivationEnergy;
}

void SaveActivationEnergy(double kilojoulesPerMole) {
  UserSettings().setValue(kActivationEnergyKey, kilojoulesPerMole);
}

std::string ActivationEnergyText(double kilojoulesPerMole) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3f", kilojoulesPerMole);
  std::string text = buf;
  // No trailing zeros: "100", "83,144", "90,5".
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  for (char &c : text)
    if (c == '.') c = ',';
  return text;
}

double ParseActivationEnergy(const std::string &typed) {
  std::string text = typed;
  for (char &c : text)
    if (c == ',') c = '.';
  // Read digit by digit: strtod would follow whatever locale the process
  // runs under, and take "1e2", "inf" or "nan" besides.
  double value = -1;
  const size_t mark = text.find('.');
  const std::string whole = text.substr(0, mark), part = mark == std::string::npos ? "" : text.substr(mark + 1);
  const auto digits = [](const std::string &t) { return t.find_first_not_of("0123456789") == std::string::npos; };
  if (!whole.empty() && whole.size() <= 6 && digits(whole) && digits(part) && part.size() <= 6 &&
      (mark == std::string::npos || !part.empty())) {
    value = 0;
    for (char c : whole) value = value * 10 + (c - '0');
    double scale = 0.1;
    for (char c : part) {
      value += (c - '0') * scale;
      scale /= 10;
    }
  }
  const std::string problem = ActivationEnergyProblem(value);
  if (!problem.empty()) {
    std::string message = problem;
    message[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(message[0])));
    throw Exception(message + " (se escribió \"" + typed + "\").");
  }
  return value;
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
