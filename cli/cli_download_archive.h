#pragma once

// A download talvex-cli received, kept in the history archive through the
// queue the window uses: written to the queue first, then stored, so a
// failure leaves it waiting there for the next program that opens the
// archive.

#include "cli/cli_options.h"
#include "cli/cli_streams.h"
#include "data/data_table.h"

#include <optional>
#include <string>

// Rows 1 to `records` of the decoded table into the archive the options
// name, under --logger (else the name the archive knows for the port, else
// the port's name). Says what was kept on Out; returns the failure's message
// when the archive did not take the download (it then says whether the
// download waits in the queue).
std::optional<std::string> CliArchiveDownload(const TCliOptions &options, const TDataTable &table, int records,
                                              TCliStreams &streams);
