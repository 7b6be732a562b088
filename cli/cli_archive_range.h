#pragma once

// talvex-cli's commands on a range of the history: its records written out
// as the data window exports a download, and its statistics.

#include "cli/cli_options.h"
#include "cli/cli_streams.h"
#include "data/record_values.h"

#include <string>

// The range the options name: without --from, from the first record ever;
// without --to, to the last.
TStamp CliRangeFrom(const TCliOptions &options);
TStamp CliRangeTo(const TCliOptions &options);
// "del 01/03/2026 00:00:00 al 31/03/2026 23:59:59", "desde el ...", "hasta
// el ...", "todo lo guardado".
std::string CliRangeText(const TCliOptions &options);

// Ctrl+C stops either: the export then writes nothing (an existing file stays
// as it was) and ends with exInterrupted.
void CliArchiveExport(const TCliOptions &options, TCliStreams &streams);
void CliArchiveStats(const TCliOptions &options, TCliStreams &streams);
