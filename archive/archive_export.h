#pragma once

// A range of the history written out as the data window exports a download:
// the program's text file, the CSV or the workbook (data/data_export.h), read
// from the archive a slice at a time so that a year of readings never sits
// in memory as one table.

#include "archive/archive.h"
#include "data/data_export.h"
#include "data/data_statistics.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// The text file's lines of `slice`, byte for byte as the data window saves
// those records (each cell and its two blanks, CR LF), appended to `out`;
// `decimal` is the program's decimal mark.
void AppendTextLines(std::string &out, const std::vector<TArchiveRecord> &slice, char decimal);

// Called now and then with the records written so far and the range's total;
// returning false cancels.
using TArchiveProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

// Writes the logger's records from `from` to `to` (both included) to `path`
// in `format`, atomically as every save of the program is. Returns the
// records written, or nothing when `progress` cancelled: then no file is
// made and one already at `path` is left as it was. Raises EArchiveError
// for the archive's failures, EInOutError for the file's, and Exception for
// a range a workbook cannot hold.
std::optional<std::int64_t> ExportArchiveRange(TArchive &archive, const std::string &logger, const TStamp &from,
                                               const TStamp &to, const std::string &path, TExportFormat format,
                                               TCsvStyle style, const TStatLimits &limits,
                                               const TArchiveProgress &progress = TArchiveProgress());
