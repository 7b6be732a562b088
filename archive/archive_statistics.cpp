#include "archive/archive_statistics.h"

#include "archive/archive_range_sum.h"

#include <algorithm>
#include <cmath>

TRangeSum::TRangeSum(const TStatLimits &limits, const TAlarmOptions &alarms)
    : Scan_(alarms.Limits.value_or(TAlarmLimitSet()), alarms.ActivationEnergy) {
  Out_.Stats.Limits = limits;
  Out_.Stats.Alarms = alarms;
  for (size_t k = 0; k < Out_.Stats.Channels.size(); ++k) {
    Out_.Stats.Channels[k].Name = "CH" + std::to_string(k + 1);
    Out_.Stats.Channels[k].Channel = static_cast<int>(k);
  }
}

void TRangeSum::Add(const TArchiveRecord &record) {
  TDataStatistics &stats = Out_.Stats;
  const std::int64_t at = StampSeconds(record.Instant);
  if (stats.Records > 0) {
    // Records come in instant order, so no step is ever negative.
    const std::int64_t step = at - PreviousSeconds_;
    if (stats.Records == 1 || step < stats.ShortestStepSeconds) stats.ShortestStepSeconds = step;
    if (stats.Records == 1 || step > stats.LongestStepSeconds) stats.LongestStepSeconds = step;
    for (size_t k = 0; k < stats.Channels.size(); ++k) {
      if (PendingAbove_[k]) stats.Channels[k].AboveSeconds += step;
      if (PendingBelow_[k]) stats.Channels[k].BelowSeconds += step;
    }
    LastStep_ = step;
  } else {
    Out_.First = record.Instant;
  }
  Out_.Last = record.Instant;
  PreviousSeconds_ = at;
  const int row = ++stats.Records;
  if (record.Version > 0 && at != LastVersionedInstant_) {
    ++Out_.InstantsWithVersions;
    LastVersionedInstant_ = at;
  }
  Scan_.Add(at, record.Values);
  const TStatLimits &limits = stats.Limits;
  for (size_t k = 0; k < stats.Channels.size(); ++k) {
    PendingAbove_[k] = PendingBelow_[k] = false;
    if (!record.Values[k]) continue;
    const std::int64_t v = *record.Values[k];
    TChannelStats &c = stats.Channels[k];
    if (c.Count == 0 || v < c.Min) {
      c.Min = v;
      c.MinRow = row;
      Out_.MinAt[k] = record.Instant;
    }
    if (c.Count == 0 || v > c.Max) {
      c.Max = v;
      c.MaxRow = row;
      Out_.MaxAt[k] = record.Instant;
    }
    ++c.Count;
    Sums_[k] += v;
    Squares_[k] += static_cast<__int128>(v) * v;
    if (limits.Upper && v > *limits.Upper) {
      ++c.Above;
      PendingAbove_[k] = true;
    }
    if (limits.Lower && v < *limits.Lower) {
      ++c.Below;
      PendingBelow_[k] = true;
    }
  }
}

TArchiveStatistics TRangeSum::Result() const {
  TArchiveStatistics out = Out_;
  TDataStatistics &stats = out.Stats;
  // The last record stands for as long as the one before it.
  if (stats.Records >= 2) {
    for (size_t k = 0; k < stats.Channels.size(); ++k) {
      if (PendingAbove_[k]) stats.Channels[k].AboveSeconds += LastStep_;
      if (PendingBelow_[k]) stats.Channels[k].BelowSeconds += LastStep_;
    }
  }
  // Records that all share one instant tell no time.
  stats.IntervalsKnown = stats.Records >= 2 && stats.LongestStepSeconds > 0;
  if (stats.IntervalsKnown) {
    stats.Irregular = stats.ShortestStepSeconds != stats.LongestStepSeconds;
    if (!stats.Irregular && stats.ShortestStepSeconds % 60 == 0)
      stats.StepMinutes = static_cast<int>(stats.ShortestStepSeconds / 60);
  } else {
    stats.ShortestStepSeconds = stats.LongestStepSeconds = 0;
    for (TChannelStats &c : stats.Channels) c.AboveSeconds = c.BelowSeconds = 0;
  }
  for (size_t k = 0; k < stats.Channels.size(); ++k) {
    TChannelStats &c = stats.Channels[k];
    if (c.Count == 0) continue;
    // As the data window's statistics reckon them, to the last bit.
    const long double n = c.Count;
    const long double mean = static_cast<long double>(Sums_[k]) / n;
    const long double variance = static_cast<long double>(Squares_[k]) / n - mean * mean;
    c.Mean = static_cast<double>(mean / 10);
    c.StdDev = static_cast<double>(std::sqrt(variance > 0 ? variance : 0) / 10);
  }
  // Records come in instant order: their events can always be told.
  TSeriesAlarmScan scan = Scan_;
  TSeriesAlarms found = scan.Finish();
  stats.EventsKnown = true;
  if (stats.Alarms.Limits) stats.Events = std::move(found.Events);
  for (size_t k = 0; k < stats.Channels.size(); ++k) {
    TChannelStats &c = stats.Channels[k];
    c.Alarm = found.Channels[k];
  }
  return out;
}

namespace {

// The events the archive holds, each counted in the range's figures for the
// part of it inside the range (the events themselves as the archive has
// them).
void UseStoredEvents(const std::vector<TArchivedAlarmEvent> &events, const TStamp &from, const TStamp &to,
                     TDataStatistics &stats) {
  const std::int64_t first = StampSeconds(from), last = StampSeconds(to);
  std::array<TChannelAlarmFigures, kAlarmChannels> figures{};
  stats.Events.clear();
  for (const TArchivedAlarmEvent &archived : events) {
    const TAlarmEvent &e = archived.Event;
    if (e.Channel < 0 || e.Channel >= kAlarmChannels) continue;
    const std::int64_t end = e.End.value_or(e.Start + e.Seconds);
    const std::int64_t inside = std::max<std::int64_t>(0, std::min(end, last) - std::max(e.Start, first));
    TChannelAlarmFigures &f = figures[static_cast<size_t>(e.Channel)];
    if (e.Kind == TAlarmKind::High) {
      ++f.HighEvents;
      f.SecondsAbove += inside;
    } else {
      ++f.LowEvents;
      f.SecondsBelow += inside;
    }
    stats.Events.push_back(e);
  }
  for (size_t k = 0; k < stats.Channels.size(); ++k) {
    TChannelAlarmFigures &c = stats.Channels[k].Alarm;
    const std::optional<double> mkt = c.Mkt;
    c = figures[k];
    c.Mkt = mkt;
  }
}

}  // namespace

std::optional<TArchiveStatistics> ArchiveStatistics(TArchive &archive, const std::string &logger, const TStamp &from,
                                                    const TStamp &to, const TStatLimits &limits,
                                                    const TAlarmOptions &alarms, const TArchiveProgress &progress) {
  const std::int64_t total = archive.Count(logger, from, to);
  if (progress && !progress(0, total)) return std::nullopt;
  // The archive keeps the events of its own limits, acknowledged ones
  // included, found over the whole history: a range cut out of it is not
  // read again for them.
  const std::optional<TAlarmLimitSet> kept = archive.AlarmLimits(logger);
  const bool stored = alarms.Limits && alarms.Limits == kept;
  TRangeSum sum(limits, alarms);
  std::int64_t done = 0;
  bool cancelled = false;
  archive.ReadRecords(logger, from, to, [&](const std::vector<TArchiveRecord> &slice) {
    for (const TArchiveRecord &r : slice) sum.Add(r);
    done += static_cast<std::int64_t>(slice.size());
    cancelled = progress && !progress(done, std::max(total, done));
    return !cancelled;
  });
  if (cancelled) return std::nullopt;
  TArchiveStatistics out = sum.Result();
  if (stored) UseStoredEvents(archive.AlarmEvents(logger, from, to), from, to, out.Stats);
  return out;
}
