#include "data/data_statistics.h"

#include "data/dump_decoder.h"
#include "data/record_values.h"
#include "runtime/exceptions.h"
#include "runtime/user_settings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>

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

// Each record's stamp in seconds; empty when the stamps do not tell (a
// record without a real date and time, or one earlier than the record
// before it).
std::vector<std::int64_t> RecordSeconds(const TDataTable &table, int records, const TShownColumns &shown) {
  std::vector<std::int64_t> seconds;
  seconds.reserve(static_cast<size_t>(records));
  for (int r = 1; r <= records; ++r) {
    TStamp stamp;
    if (!RowStamp(table.Cells(shown.Date, r), table.Cells(shown.Time, r), stamp)) return {};
    const std::int64_t at = StampSeconds(stamp);
    if (r > 1 && at < seconds.back()) return {};
    seconds.push_back(at);
  }
  return seconds;
}

// The time each record stands for, the last as long as the one before it;
// empty with fewer than two stamped records.
std::vector<std::int64_t> RecordIntervals(const std::vector<std::int64_t> &seconds) {
  std::vector<std::int64_t> intervals;
  if (seconds.size() < 2) return intervals;
  intervals.reserve(seconds.size());
  for (size_t i = 1; i < seconds.size(); ++i) intervals.push_back(seconds[i] - seconds[i - 1]);
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
  const std::vector<std::int64_t> seconds = RecordSeconds(table, stats.Records, shown);
  const std::vector<std::int64_t> intervals = RecordIntervals(seconds);
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
  // The MKT and, with the logger's limits, the alarm events, by each
  // channel's own number whichever column the user dragged it to. Records
  // whose times are not known still get an MKT, each counting alike; their
  // events cannot be told.
  stats.EventsKnown = !seconds.empty();
  TSeriesAlarmScan scan(alarms.Limits.value_or(TAlarmLimitSet()), alarms.ActivationEnergy);
  std::array<TMktAccumulator, kAlarmChannels> untimed;
  if (!stats.EventsKnown) untimed.fill(TMktAccumulator(alarms.ActivationEnergy));
  // Row by row: the table is read once, in the order it lies in memory.
  for (int r = 1; r <= stats.Records; ++r) {
    TAlarmValues values{};
    for (int k = 0; k < Channels; ++k) {
      std::int64_t v;
      if (!ParseTenths(table.Cells(shown.Channels[k], r), v)) continue;
      TChannelStats &c = stats.Channels[k];
      // A cell may say more than any sensor (nine digits and a decimal): it
      // still lies beyond every limit.
      values[static_cast<size_t>(c.Channel)] = static_cast<std::int32_t>(std::clamp<std::int64_t>(
          v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
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
    if (stats.EventsKnown) {
      scan.Add(seconds[static_cast<size_t>(r - 1)], values);
    } else {
      for (size_t k = 0; k < values.size(); ++k)
        if (values[k]) untimed[k].Add(*values[k], 0);
    }
  }
  if (stats.EventsKnown) {
    TSeriesAlarms found = scan.Finish();
    for (TChannelStats &c : stats.Channels) c.Alarm = found.Channels[static_cast<size_t>(c.Channel)];
    if (alarms.Limits) stats.Events = std::move(found.Events);
  } else {
    for (TChannelStats &c : stats.Channels) c.Alarm.Mkt = untimed[static_cast<size_t>(c.Channel)].Celsius();
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

std::optional<TAlarmLimitSet> LimitsIfAny(const TAlarmLimitSet &limits) {
  if (std::none_of(limits.begin(), limits.end(), [](const TAlarmLimits &l) { return l.Any(); })) return std::nullopt;
  return limits;
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
