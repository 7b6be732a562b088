#pragma once

// The commands of talvex-cli that work on saved files, without a logger:
// convert and stats; and the saving of a download in the format its name
// asks for, shared with download.

#include "cli/cli_options.h"
#include "cli/cli_streams.h"
#include "data/data_export.h"
#include "data/data_file_reader.h"
#include "data/data_statistics.h"

#include <functional>
#include <string>

void CliConvert(const TCliOptions &options, TCliStreams &streams);

// Reads a saved file; one that does not read fails with exFileError, naming
// the line and column.
TOpenedData ReadForCli(const std::string &path);
void CliStats(const TCliOptions &options, TCliStreams &streams);

// The limits and CSV style the options ask for.
TStatLimits CliLimits(const TCliOptions &options);
TCsvStyle CliCsvStyle(const TCliOptions &options);
// The MKT's activation energy the options ask for (else the user's own); no
// limits.
TAlarmOptions CliAlarmOptions(const TCliOptions &options);

// Saves records to options.Output as its extension says (.csv, .xlsx, else
// the program's text file).
void CliSaveRecords(const TCliOptions &options, const TRecordsView &view);

// The statistics as text lines (the program's decimal comma) and as one JSON
// object (plain JSON numbers, ISO 8601 stamps, null for what is unknown).
std::string StatisticsText(const std::string &name, const TDataTable &table, const TDataStatistics &stats);
std::string StatisticsJson(const std::string &name, const TDataTable &table, const TDataStatistics &stats);
// The same where the records are not in a table: `stampOf` gives the stamp
// of a channel's MinRow or MaxRow.
using TStampOfRow = std::function<TRecordStamp(int row)>;
std::string StatisticsText(const std::string &name, const TStampOfRow &stampOf, const TDataStatistics &stats);
std::string StatisticsJson(const std::string &name, const TStampOfRow &stampOf, const TDataStatistics &stats);
// A text as a JSON string, quotes included.
std::string JsonString(const std::string &text);
