#pragma once

// A summary of the records per channel, over the rows as the grid shows them
// (the channels in their shown order, each under its own caption): count,
// lowest and highest with when they first happened, mean, standard
// deviation, and how long the channel spent above and below two limits the
// user may set.

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

struct TChannelStats {
  std::string Name;               // the column's caption, "CH5"
  int Count = 0;                  // cells that hold a temperature
  std::int64_t Min = 0, Max = 0;  // tenths; meaningful when Count > 0
  int MinRow = 0, MaxRow = 0;     // the first record with each
  double Mean = 0;                // degrees
  double StdDev = 0;              // degrees, of the records as a whole (not a sample)
  int Above = 0;                  // records above the upper limit
  int Below = 0;                  // records below the lower limit
};

struct TDataStatistics {
  int Records = 0;
  int StepMinutes = 0;  // between records, 0 when the stamps do not tell
  TStatLimits Limits;
  std::array<TChannelStats, 16> Channels;

  // Minutes spent above or below a limit: each record stands for one step.
  // Empty without that limit or without a known step.
  std::optional<std::int64_t> MinutesAbove(const TChannelStats &c) const;
  std::optional<std::int64_t> MinutesBelow(const TChannelStats &c) const;
};

TDataStatistics ComputeStatistics(const TDataTable &table, int records, const std::vector<int> &columnAtPosition,
                                  const TStatLimits &limits);

// "15/03/2004 10:35:00": the date and time cells of a record.
std::string RecordStampText(const TDataTable &table, int row);

// "12 h 30 min", "45 min", "3 d 2 h 0 min".
std::string DurationText(std::int64_t minutes);
