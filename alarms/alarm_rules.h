#pragma once

// Alarm limits per channel, the alarm events a series of readings holds, and
// the mean kinetic temperature. Pure logic on whole tenths of a degree and
// whole seconds: no clock, no files, no Qt, so the live window, the
// recorder, a download stored in the archive and a report all find the same
// events in the same readings.
//
// An excursion begins at the first reading beyond a limit (above the high
// one, below the low one; a reading on the limit is inside) and ends at the
// first reading back inside by the hysteresis (at or below high - hysteresis,
// at or above low + hysteresis); readings between the limit and that line
// keep it going, so a value that wavers about the limit makes one event, not
// many. It is an alarm event when it lasted at least the delay: from its
// first reading to the reading that ends it, or, for one still open where
// the readings stop, to the last reading plus the interval that reading
// stands for. A missing value neither starts, keeps nor ends anything.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

constexpr int kAlarmChannels = 16;

struct TAlarmLimits {
  std::optional<std::int32_t> Low, High;  // tenths of a degree; either may be absent
  int DelayMinutes = 0;                   // how long beyond before it counts
  std::int32_t Hysteresis = 5;            // tenths: how far back inside before it ends
  bool Any() const { return Low.has_value() || High.has_value(); }
  bool operator==(const TAlarmLimits &o) const {
    return Low == o.Low && High == o.High && DelayMinutes == o.DelayMinutes && Hysteresis == o.Hysteresis;
  }
  bool operator!=(const TAlarmLimits &o) const { return !(*this == o); }
};
using TAlarmLimitSet = std::array<TAlarmLimits, kAlarmChannels>;

// Empty for sound limits, else why not, in the program's words: limits that
// cross, a negative delay, a negative hysteresis or one wider than the band.
std::string AlarmLimitsProblem(const TAlarmLimits &limits);

enum class TAlarmKind { High, Low };
// "alta", "baja": how the archive, the command line and the recorder's
// command name a kind.
const char *AlarmKindWord(TAlarmKind kind);

struct TAlarmEvent {
  int Channel = 0;  // 0 to 15
  TAlarmKind Kind = TAlarmKind::High;
  std::int64_t Start = 0;           // seconds: the excursion's first reading
  std::optional<std::int64_t> End;  // the reading that ended it; empty while open
  std::int64_t Seconds = 0;         // how long it lasted (an open one: so far)
  std::int32_t Extreme = 0;         // tenths: the highest of a high one, the lowest of a low one
  std::int64_t ExtremeAt = 0;       // its first reading
  bool operator==(const TAlarmEvent &o) const {
    return Channel == o.Channel && Kind == o.Kind && Start == o.Start && End == o.End && Seconds == o.Seconds &&
           Extreme == o.Extreme && ExtremeAt == o.ExtremeAt;
  }
};

using TAlarmValues = std::array<std::optional<std::int32_t>, kAlarmChannels>;

// The rules applied a reading at a time, as live readings come. Times are
// seconds on one clock (the archive's and the data's StampSeconds); a
// reading earlier than the one before it on a channel is ignored there.
class TAlarmEvaluator {
public:
  explicit TAlarmEvaluator(const TAlarmLimitSet &limits = TAlarmLimitSet());

  struct TChange {
    TAlarmEvent Event;
    bool Started = false;  // true: it became an alarm now; false: it ended now
  };
  // One reading of the channels at `seconds`. Returns the alarms that began
  // and ended with it (an excursion that reaches its delay only at the
  // reading that ends it gives both, the start first).
  std::vector<TChange> Feed(std::int64_t seconds, const TAlarmValues &values);

  // The channel's alarm now (its delay reached, not ended), with its extreme
  // so far and Seconds up to the last reading; empty when none.
  std::optional<TAlarmEvent> Active(int channel) const;

  // The events still open when the readings stop at `endSeconds` (the last
  // reading's time plus the interval it stands for), those the delay lets
  // count; nothing changes in the evaluator.
  std::vector<TAlarmEvent> OpenAt(std::int64_t endSeconds) const;

  const TAlarmLimitSet &Limits() const { return Limits_; }

private:
  struct TExcursion {
    bool On = false;
    bool Alarm = false;  // its delay reached
    TAlarmKind Kind = TAlarmKind::High;
    std::int64_t Start = 0, Last = 0;
    std::int32_t Extreme = 0;
    std::int64_t ExtremeAt = 0;
  };
  TAlarmEvent EventOf(int channel, const TExcursion &e) const;

  TAlarmLimitSet Limits_;
  std::array<TExcursion, kAlarmChannels> Now_{};
  std::array<std::optional<std::int64_t>, kAlarmChannels> LastSeen_{};
};

// The mean kinetic temperature: the single temperature that would age a
// product as much as the readings did, Arrhenius-weighted. Each reading
// counts for the time it stands for.
constexpr double kDefaultActivationEnergy = 83.144;  // kJ/mol
constexpr double kGasConstant = 8.314;               // J/(mol·K)
// Empty for an energy the formula cannot use ("la energía de activación
// debe estar entre 1 y 1000 kJ/mol"), else why not.
std::string ActivationEnergyProblem(double kilojoulesPerMole);

class TMktAccumulator {
public:
  explicit TMktAccumulator(double kilojoulesPerMole = kDefaultActivationEnergy);
  void Add(std::int32_t tenths, double weightSeconds);
  // Degrees Celsius; empty when nothing was added. Readings that all stand
  // for no time count alike.
  std::optional<double> Celsius() const;

private:
  struct TSums {
    double Sum = 0, Weight = 0, Unweighted = 0;
    std::int64_t Count = 0;
    double Shift = 0;  // the largest exponent seen, kept out of the sums
    bool Started = false;
  };
  // Readings gathered by value before any exponential is worked out: a
  // channel's temperatures keep to a few hundred tenths for long, so most
  // readings only add to their slot.
  struct TSlot {
    std::int32_t Tenths = 0;
    std::int64_t Count = 0;  // 0: empty
    double Weight = 0;
  };
  static constexpr std::uint32_t kSlots = 256;
  void Fold(TSums &sums, const TSlot &slot) const;

  double EaOverR_ = 0;
  TSums Sums_;
  std::vector<TSlot> Slots_;
};

// Per channel, what a series of readings says about its alarms and its MKT.
struct TChannelAlarmFigures {
  std::optional<double> Mkt;  // degrees Celsius; empty without readings
  int HighEvents = 0, LowEvents = 0;
  std::int64_t SecondsAbove = 0, SecondsBelow = 0;  // the events' total duration, high and low
};

struct TSeriesAlarms {
  std::vector<TAlarmEvent> Events;  // in the order they began, those open at the end of the data included
  std::array<TChannelAlarmFigures, kAlarmChannels> Channels{};
};

// A whole series, a reading at a time, in instant order. Each reading
// stands for the time to the next one, the last for as long as the one
// before it, as the statistics count it; the MKT weighs each reading by that
// time.
class TSeriesAlarmScan {
public:
  explicit TSeriesAlarmScan(const TAlarmLimitSet &limits, double kilojoulesPerMole = kDefaultActivationEnergy);
  void Add(std::int64_t seconds, const TAlarmValues &values);
  TSeriesAlarms Finish();

private:
  void Take(std::int64_t seconds, const TAlarmValues &values, std::int64_t weight);
  void Count(const TAlarmEvent &event);

  TAlarmEvaluator Evaluator_;
  bool AnyLimits_ = false;  // none: only the MKT is asked for
  std::array<TMktAccumulator, kAlarmChannels> Mkt_;
  TSeriesAlarms Result_;
  bool HasPending_ = false;
  std::int64_t PendingAt_ = 0, LastStep_ = 0;
  TAlarmValues Pending_{};
};
