#pragma once

// talvex-cli record: the live readings kept in the history archive until
// SIGTERM or Ctrl+C, unattended (the systemd unit runs it). The line is
// opened again by itself when the device goes and comes back, and what the
// logger's memory holds of the time nobody listened is downloaded into the
// archive at start and after each reconnection.

#include "cli/cli_options.h"
#include "cli/cli_streams.h"

#include <cstdint>
#include <optional>

struct TArchiveRecord;

// Whether the logger's memory may hold records the archive lacks: its newest
// record falls within one logging step before the logger's clock `now`, so
// an archive that holds a record from the memory in that step is up to date.
// `newestHeld` is the archive's newest record that came from the memory;
// `rateMinutes` 0 when the rate is unknown (then only an empty memory is
// known to hold nothing new).
bool MemoryMayHoldNewer(std::int64_t memoryRecords, int rateMinutes, std::int64_t loggerNowSeconds,
                        const std::optional<std::int64_t> &newestHeldSeconds);

// The log's status line: readings kept and the last one.
std::string RecordStatusText(std::int64_t kept, const std::optional<TArchiveRecord> &last);

void CliRecord(const TCliOptions &options, TCliStreams &streams);
