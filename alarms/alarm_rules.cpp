#include "alarms/alarm_rules.h"

#include <algorithm>
#include <cmath>

namespace {

std::string Degrees(std::int32_t tenths) {
  const bool negative = tenths < 0;
  const std::int64_t magnitude = negative ? -static_cast<std::int64_t>(tenths) : tenths;
  return (negative ? "-" : "") + std::to_string(magnitude / 10) + "," + std::to_string(magnitude % 10);
}

bool BeyondHigh(const TAlarmLimits &l, std::int32_t v) { return l.High && v > *l.High; }
bool BeyondLow(const TAlarmLimits &l, std::int32_t v) { return l.Low && v < *l.Low; }

// Back inside by the hysteresis, in 64 bits so a limit near the ends of the
// range cannot wrap.
bool BackInside(const TAlarmLimits &l, TAlarmKind kind, std::int32_t v) {
  if (kind == TAlarmKind::High)
    return static_cast<std::int64_t>(v) <= static_cast<std::int64_t>(*l.High) - l.Hysteresis;
  return static_cast<std::int64_t>(v) >= static_cast<std::int64_t>(*l.Low) + l.Hysteresis;
}

bool MoreExtreme(TAlarmKind kind, std::int32_t v, std::int32_t extreme) {
  return kind == TAlarmKind::High ? v > extreme : v < extreme;
}

}  // namespace

std::string AlarmLimitsProblem(const TAlarmLimits &limits) {
  if (limits.Low && limits.High && *limits.Low > *limits.High)
    return "el límite inferior (" + Degrees(*limits.Low) + " °C) está por encima del superior (" +
           Degrees(*limits.High) + " °C)";
  if (limits.DelayMinutes < 0)
    return "el retardo no puede ser negativo (" + std::to_string(limits.DelayMinutes) + " min)";
  if (limits.Hysteresis < 0) return "la histéresis no puede ser negativa (" + Degrees(limits.Hysteresis) + " °C)";
  if (limits.Low && limits.High &&
      static_cast<std::int64_t>(limits.Hysteresis) > static_cast<std::int64_t>(*limits.High) - *limits.Low)
    return "la histéresis (" + Degrees(limits.Hysteresis) + " °C) es mayor que la banda entre los límites (" +
           Degrees(*limits.Low) + " a " + Degrees(*limits.High) + " °C)";
  return std::string();
}

const char *AlarmKindWord(TAlarmKind kind) { return kind == TAlarmKind::High ? "alta" : "baja"; }

TAlarmEvaluator::TAlarmEvaluator(const TAlarmLimitSet &limits) : Limits_(limits) {}

TAlarmEvent TAlarmEvaluator::EventOf(int channel, const TExcursion &e) const {
  TAlarmEvent event;
  event.Channel = channel;
  event.Kind = e.Kind;
  event.Start = e.Start;
  event.Seconds = e.Last - e.Start;
  event.Extreme = e.Extreme;
  event.ExtremeAt = e.ExtremeAt;
  return event;
}

std::vector<TAlarmEvaluator::TChange> TAlarmEvaluator::Feed(std::int64_t seconds, const TAlarmValues &values) {
  std::vector<TChange> changes;
  for (int k = 0; k < kAlarmChannels; ++k) {
    const TAlarmLimits &limits = Limits_[static_cast<size_t>(k)];
    const auto &value = values[static_cast<size_t>(k)];
    if (!value || !limits.Any()) continue;
    auto &seen = LastSeen_[static_cast<size_t>(k)];
    if (seen && seconds < *seen) continue;
    seen = seconds;
    const std::int32_t v = *value;
    TExcursion &e = Now_[static_cast<size_t>(k)];
    const std::int64_t delay = static_cast<std::int64_t>(limits.DelayMinutes) * 60;
    if (e.On) {
      e.Last = seconds;
      if (BackInside(limits, e.Kind, v)) {
        e.On = false;
        if (e.Alarm || seconds - e.Start >= delay) {
          TAlarmEvent event = EventOf(k, e);
          if (!e.Alarm) changes.push_back({event, true});
          event.End = seconds;
          changes.push_back({event, false});
        }
        e.Alarm = false;
      } else {
        if (MoreExtreme(e.Kind, v, e.Extreme)) {
          e.Extreme = v;
          e.ExtremeAt = seconds;
        }
        if (!e.Alarm && seconds - e.Start >= delay) {
          e.Alarm = true;
          changes.push_back({EventOf(k, e), true});
        }
        continue;
      }
    }
    // Inside (or just back): a reading beyond either limit begins another.
    const bool high = BeyondHigh(limits, v);
    if (!high && !BeyondLow(limits, v)) continue;
    e = TExcursion();
    e.On = true;
    e.Kind = high ? TAlarmKind::High : TAlarmKind::Low;
    e.Start = e.Last = e.ExtremeAt = seconds;
    e.Extreme = v;
    if (delay == 0) {
      e.Alarm = true;
      changes.push_back({EventOf(k, e), true});
    }
  }
  return changes;
}

std::optional<TAlarmEvent> TAlarmEvaluator::Active(int channel) const {
  if (channel < 0 || channel >= kAlarmChannels) return std::nullopt;
  const TExcursion &e = Now_[static_cast<size_t>(channel)];
  if (!e.On || !e.Alarm) return std::nullopt;
  return EventOf(channel, e);
}

std::vector<TAlarmEvent> TAlarmEvaluator::OpenAt(std::int64_t endSeconds) const {
  std::vector<TAlarmEvent> open;
  for (int k = 0; k < kAlarmChannels; ++k) {
    const TExcursion &e = Now_[static_cast<size_t>(k)];
    if (!e.On) continue;
    const std::int64_t end = endSeconds > e.Last ? endSeconds : e.Last;
    if (!e.Alarm && end - e.Start < static_cast<std::int64_t>(Limits_[static_cast<size_t>(k)].DelayMinutes) * 60)
      continue;
    TAlarmEvent event = EventOf(k, e);
    event.Seconds = end - e.Start;
    open.push_back(event);
  }
  return open;
}

std::string ActivationEnergyProblem(double kilojoulesPerMole) {
  if (!(kilojoulesPerMole >= 1 && kilojoulesPerMole <= 1000))
    return "la energía de activación debe estar entre 1 y 1000 kJ/mol";
  return std::string();
}

TMktAccumulator::TMktAccumulator(double kilojoulesPerMole) : EaOverR_(kilojoulesPerMole * 1000.0 / kGasConstant) {}

void TMktAccumulator::Add(std::int32_t tenths, double weightSeconds) {
  // A reading at or below absolute zero is no temperature: it cannot age
  // anything, and the formula has no value for it.
  if (tenths < -2731 || !(weightSeconds >= 0)) return;
  if (Slots_.empty()) Slots_.resize(kSlots);
  TSlot &slot = Slots_[static_cast<std::uint32_t>(tenths) % kSlots];
  if (slot.Count && slot.Tenths != tenths) {
    Fold(Sums_, slot);
    slot = TSlot();
  }
  slot.Tenths = tenths;
  ++slot.Count;
  slot.Weight += weightSeconds;
}

void TMktAccumulator::Fold(TSums &sums, const TSlot &slot) const {
  const double kelvin = slot.Tenths / 10.0 + 273.15;
  const double exponent = -EaOverR_ / kelvin;
  // The sums are kept relative to the largest exponent seen, so a reading
  // far hotter than the rest cannot overflow them.
  if (!sums.Started || exponent > sums.Shift) {
    const double rescale = sums.Started ? std::exp(sums.Shift - exponent) : 0.0;
    sums.Sum *= rescale;
    sums.Unweighted *= rescale;
    sums.Shift = exponent;
    sums.Started = true;
  }
  const double term = std::exp(exponent - sums.Shift);
  sums.Sum += slot.Weight * term;
  sums.Weight += slot.Weight;
  sums.Unweighted += static_cast<double>(slot.Count) * term;
  sums.Count += slot.Count;
}

std::optional<double> TMktAccumulator::Celsius() const {
  TSums sums = Sums_;
  for (const TSlot &slot : Slots_)
    if (slot.Count) Fold(sums, slot);
  if (!sums.Started) return std::nullopt;
  // Readings that stand for no time (one alone, or all at one instant)
  // count alike.
  const double mean = sums.Weight > 0 ? sums.Sum / sums.Weight : sums.Unweighted / static_cast<double>(sums.Count);
  if (!(mean > 0)) return std::nullopt;
  return -EaOverR_ / (std::log(mean) + sums.Shift) - 273.15;
}

TSeriesAlarmScan::TSeriesAlarmScan(const TAlarmLimitSet &limits, double kilojoulesPerMole) : Evaluator_(limits) {
  for (auto &m : Mkt_) m = TMktAccumulator(kilojoulesPerMole);
  AnyLimits_ = std::any_of(limits.begin(), limits.end(), [](const TAlarmLimits &l) { return l.Any(); });
}

void TSeriesAlarmScan::Take(std::int64_t seconds, const TAlarmValues &values, std::int64_t weight) {
  for (int k = 0; k < kAlarmChannels; ++k)
    if (values[static_cast<size_t>(k)])
      Mkt_[static_cast<size_t>(k)].Add(*values[static_cast<size_t>(k)], static_cast<double>(weight));
  if (!AnyLimits_) return;
  for (const TAlarmEvaluator::TChange &change : Evaluator_.Feed(seconds, values)) {
    if (!change.Started) Count(change.Event);
  }
}

void TSeriesAlarmScan::Count(const TAlarmEvent &event) {
  Result_.Events.push_back(event);
  TChannelAlarmFigures &figures = Result_.Channels[static_cast<size_t>(event.Channel)];
  if (event.Kind == TAlarmKind::High) {
    ++figures.HighEvents;
    figures.SecondsAbove += event.Seconds;
  } else {
    ++figures.LowEvents;
    figures.SecondsBelow += event.Seconds;
  }
}

void TSeriesAlarmScan::Add(std::int64_t seconds, const TAlarmValues &values) {
  if (HasPending_) {
    // A reading earlier than the one before stands for no time.
    const std::int64_t step = seconds > PendingAt_ ? seconds - PendingAt_ : 0;
    Take(PendingAt_, Pending_, step);
    LastStep_ = step;
  }
  Pending_ = values;
  PendingAt_ = seconds;
  HasPending_ = true;
}

TSeriesAlarms TSeriesAlarmScan::Finish() {
  if (HasPending_) {
    Take(PendingAt_, Pending_, LastStep_);
    HasPending_ = false;
    for (const TAlarmEvent &event : Evaluator_.OpenAt(PendingAt_ + LastStep_)) Count(event);
  }
  std::stable_sort(Result_.Events.begin(), Result_.Events.end(),
                   [](const TAlarmEvent &a, const TAlarmEvent &b) { return a.Start < b.Start; });
  for (int k = 0; k < kAlarmChannels; ++k)
    Result_.Channels[static_cast<size_t>(k)].Mkt = Mkt_[static_cast<size_t>(k)].Celsius();
  return Result_;
}
