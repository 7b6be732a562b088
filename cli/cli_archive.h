#pragma once

// talvex-cli's commands on the history archive: saved files brought into it,
// and what it holds, logger by logger.

#include "cli/cli_options.h"
#include "cli/cli_streams.h"

#include <memory>
#include <string>
#include <utility>

class TArchive;

// The archive the options name: --db, else the TALVEX_DB environment
// variable, else the history window's setting, else empty (the user's own
// archive).
std::string CliArchiveAddress(const TCliOptions &options);

// The archive the options name, opened; one that cannot be opened fails
// with exFailure, naming it and why.
std::unique_ptr<TArchive> CliOpenArchive(const TCliOptions &options);

// Every file read and stored under options.Logger as a file's import; a file
// that does not read or cannot be kept is told on Err and the rest still go
// in. Fails with exFileError at the end when any file did not go in.
void CliArchiveImport(const TCliOptions &options, TCliStreams &streams);
void CliArchiveList(const TCliOptions &options, TCliStreams &streams);
