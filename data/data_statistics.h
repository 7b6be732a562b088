#pragma once

// A summary of the records per channel, over the rows as the grid shows them
// (the channels in their shown order, each under its own caption): count,
// lowest and highest with when they first happened, mean, standard
// deviation of the records as a whole (the population's), and how long the channel spent above and below two limits the
// user may set.

#include "alarms/alarm_rules.h"
#include "data/data_table.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Limits in tenths of a degree; none by default.
struct TStatLimits {
  std::optional<std::int64_t> Upper;
  std::optional<std::int64_t> Lower;
};

// What the alarm figures are reckoned with: the logger's limits, when they
// are known (indexed by the channel's own number, CH1 first, whichever
// column shows it), and the activation energy of the MKT.
struct TAlarmOptions {
  std::optional<TAlarmLimitSet> Limits;
  double ActivationEnergy = kDefaultActivationEnergy;  // kJ/mol
};

struct TChannelStats {
  std::string Name;               // the column's caption, "CH5"
  int Channel = 0;                // its own number, 0 to 15, wherever it is shown
  int Count = 0;                  // cells that hold a temperature
  std::int64_t Min = 0, Max = 0;  // tenths; meaningful when Count > 0
  int MinRow = 0, MaxRow = 0;     // the first record with each
  double Mean = 0;                // degrees
  double StdDev = 0;              // degrees, of the records as a whole (not a sample)
  int Above = 0;                  // records above the upper limit
  int Below = 0;                  // records below the lower limit
  std::int64_t AboveSeconds = 0;  // the time those records stand for
  std::int64_t BelowSeconds = 0;
  // The MKT always; the events' count and time only with known limits.
  TChannelAlarmFigures Alarm;
};

struct TDataStatistics {
  int Records = 0;
  // Each record stands for the time to the next one, the last for as long as
  // the one before it: known when every record has a real date and time and
  // none goes back in time. Records joined from downloads at different rates
  // are spaced irregularly, and say so.
  bool IntervalsKnown = false;
  bool Irregular = false;
  std::int64_t ShortestStepSeconds = 0, LongestStepSeconds = 0;
  int StepMinutes = 0;  // the one step of regular records in whole minutes, else 0
  TStatLimits Limits;
  std::array<TChannelStats, 16> Channels;
  TAlarmOptions Alarms;
  // The alarm events the records hold, in the order they began; empty
  // without limits.
  std::vector<TAlarmEvent> Events;
  // Whether the records' times let the events be found at all (real stamps
  // that never go back).
  bool EventsKnown = false;

  // Minutes spent above or below a limit. Empty without that limit or
  // without known intervals.
  std::optional<std::int64_t> MinutesAbove(const TChannelStats &c) const;
  std::optional<std::int64_t> MinutesBelow(const TChannelStats &c) const;
  // Whether the channel's alarm counts mean anything: its logger's limits
  // are known, the channel has one, and the events could be found. When not,
  // they are shown as not applying.
  bool AlarmsApply(const TChannelStats &c) const;
  // "uno cada 5 min", "a intervalos irregulares (de 5 min a 1 h 0 min)",
  // "intervalo desconocido".
  std::string SpacingText() const;
};

TDataStatistics ComputeStatistics(const TDataTable &table, int records, const std::vector<int> &columnAtPosition,
                                  const TStatLimits &limits, const TAlarmOptions &alarms = TAlarmOptions());

// `limits` when some channel has one: a logger without any limit gives no
// alarm figures (they "no aplica"), as when none are known.
std::optional<TAlarmLimitSet> LimitsIfAny(const TAlarmLimitSet &limits);

// The activation energy the user last chose for the MKT (kJ/mol), from the
// user's settings; the default when none was, or it is not one the formula
// takes. The statistics window and talvex-cli share it.
double SavedActivationEnergy();
void SaveActivationEnergy(double kilojoulesPerMole);

// "83,144": an energy as the program writes it, up to three decimals.
std::string ActivationEnergyText(double kilojoulesPerMole);
// An energy typed with a decimal comma or point; raises Exception with
// ActivationEnergyProblem's text for anything the formula cannot take.
double ParseActivationEnergy(const std::string &typed);

// "15/03/2004 10:35:00": the date and time cells of a record.
std::string RecordStampText(const TDataTable &table, int row);

// "12 h 30 min", "45 min", "3 d 2 h 0 min".
std::string DurationText(std::int64_t minutes);
