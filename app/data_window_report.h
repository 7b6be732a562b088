#pragma once

// "INFORME" of the data window: the records it shows (a download or an
// opened file) as the PDF report, with what the history archive knows of
// the logger they came from.

#include "alarms/alarm_rules.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

class QWidget;
class TForm5;

struct TDataReportSource {
  std::string Port;                 // where the download came from
  std::int64_t DownloadPcTime = 0;  // when it was received (seconds since 1970 UTC)
  std::string ArchiveAddress;       // empty: the archive the settings name
};

// The report of `window`'s records, channels `shown` (by their own
// number), written to `path`. A download's logger is the one the archive
// remembers on its port (else the port's name), whose limits and
// acknowledgements go in; an opened file's logger is not known. Raises
// Exception with the reason, changing nothing, when there is nothing to
// report or the archive cannot be read.
void WriteDataWindowReport(TForm5 &window, const std::array<bool, kAlarmChannels> &shown,
                           const TDataReportSource &source, const std::string &path);

// Asks where the report goes; empty when the user cancelled.
std::string AskReportFileName(QWidget *owner);
