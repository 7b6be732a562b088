#pragma once

// The statistics of a range of the history, as the data window's
// statistics give them for a download, computed while the records are read
// a slice at a time.

#include "archive/archive.h"
#include "archive/archive_export.h"
#include "data/data_statistics.h"

#include <array>
#include <optional>
#include <string>

struct TArchiveStatistics {
  // Channels named "CH1" to "CH16"; MinRow and MaxRow count the range's
  // records from 1.
  TDataStatistics Stats;
  // When each channel's lowest and highest first happened (meaningful when
  // its Count is above 0), and the range's first and last record.
  std::array<TStamp, 16> MinAt, MaxAt;
  std::optional<TStamp> First, Last;
  // Instants held with more than one version, each counted once.
  std::int64_t InstantsWithVersions = 0;
};

// Returns nothing when `progress` cancelled. Raises EArchiveError. The alarm
// figures count the events the archive keeps when `alarms` holds the
// logger's own limits, else the events the range's readings show under the
// limits given.
std::optional<TArchiveStatistics> ArchiveStatistics(TArchive &archive, const std::string &logger, const TStamp &from,
                                                    const TStamp &to, const TStatLimits &limits,
                                                    const TAlarmOptions &alarms = TAlarmOptions(),
                                                    const TArchiveProgress &progress = TArchiveProgress());
