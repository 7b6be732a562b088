#pragma once

// talvex-cli report: the PDF report of a saved file or of a range of the
// history archive, and the check of a data file against a report.

#include "cli/cli_options.h"
#include "cli/cli_streams.h"

void CliReport(const TCliOptions &options, TCliStreams &streams);
