#pragma once

// The statistics of a range gathered a record at a time, for the export's
// workbook and for ArchiveStatistics alike: the same figures the data
// window's statistics give for the same records, without their table.

#include "archive/archive.h"
#include "archive/archive_statistics.h"

#include <array>
#include <cstdint>

class TRangeSum {
public:
  // The MKT with `alarms`' activation energy; the events under its limits
  // when given.
  explicit TRangeSum(const TStatLimits &limits, const TAlarmOptions &alarms = TAlarmOptions());
  // The next record, in instant order.
  void Add(const TArchiveRecord &record);
  // The figures of every record added so far.
  TArchiveStatistics Result() const;

private:
  TArchiveStatistics Out_;
  std::int64_t Sums_[16] = {};
  __int128 Squares_[16] = {};
  // The time a record stands for is known only when the next one comes, so
  // the channels the last record had beyond a limit wait for it.
  std::array<bool, 16> PendingAbove_{}, PendingBelow_{};
  std::int64_t PreviousSeconds_ = 0;
  std::int64_t LastStep_ = 0;
  std::int64_t LastVersionedInstant_ = -1;
  TSeriesAlarmScan Scan_;
};
