#pragma once

// Where a report's figures come from: the records of a table (a download or
// an opened file, as the data window holds them) or a range of the archive.
// Both raise Exception with a message the user can act on when there is
// nothing to report; neither draws anything, so they may run on any thread.

#include "archive/archive.h"
#include "data/data_statistics.h"
#include "report/report.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class TDataTable;

// "descarga del 08/12/2026 16:22:00 (hora de la PC)", "archivo datos.txt",
// "archivo histórico /ruta/archivo.sqlite".
std::string DownloadSourceText(std::int64_t pcTimeUtc);
std::string FileSourceText(const std::string &path);
std::string ArchiveSourceText(const std::string &archiveName);

// What the archive adds to a table's report when the logger is known: its
// limits, and the acknowledgements of the events it holds.
struct TReportArchiveFacts {
  TAlarmLimitSet Limits{};
  std::vector<TArchivedAlarmEvent> Events;
};

// Rows 1 to `records` of `table`; `columnOrder` as the text file is saved
// with it (the bytes hashed are those the program saves for these records).
// `shown` picks the channels by their own number. Events are found in the
// records with `facts.Limits`; one the archive holds (same channel, kind and
// start) brings its acknowledgements.
TReport ReportFromTable(const TDataTable &table, int records, const std::vector<int> &columnOrder,
                        const std::array<bool, kAlarmChannels> &shown, const std::string &logger,
                        const std::string &source, const TReportArchiveFacts &facts,
                        double activationEnergy = kDefaultActivationEnergy);

// The logger's records from `from` to `to`, both included, read once: the
// figures, the text's hash and MKT as they go, the chart from the range's
// outline on `columns` pixel columns, limits and events with their
// acknowledgements from the archive.
TReport ReportFromArchive(TArchive &archive, const std::string &logger, const TStamp &from, const TStamp &to,
                          const std::array<bool, kAlarmChannels> &shown,
                          double activationEnergy = kDefaultActivationEnergy, int columns = 2000);

// Each shown channel's share of the report's events: how many, high and
// low, and how long beyond its limits.
void CountReportEvents(TReport &report);
// A channel's row of the report from its statistics: count, lowest, highest
// and mean (when they happened is the caller's, who knows the records).
TReportChannel ReportChannelOf(const TChannelStats &stats, int channel);
// Refuses a report of no channel at all.
void RefuseNothingShown(const std::array<bool, kAlarmChannels> &shown);

// The SHA-256 of the text the program saves for rows 1 to `records` in
// `columnOrder` (lower-case hex).
std::string RecordsTextSha256(const TDataTable &table, int records, const std::vector<int> &columnOrder);
