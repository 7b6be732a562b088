#pragma once

// The report a user hands over to an auditor or a client: one PDF with the
// recording's particulars, the chart with each channel's alarm limits as
// bands, a table of figures per channel, the alarm events with who
// acknowledged them, and the SHA-256 of the records as the program saves
// them as text, so anyone can tell later whether a data file is the one the
// report was made from.
//
// Made in two steps: the figures are gathered first (report_sources.h, from
// a table or from the archive, on any thread), then drawn (WriteReportPdf,
// on the thread that owns the widgets: the chart is one).

#include "alarms/alarm_rules.h"
#include "archive/archive_alarms.h"

#include <QPageSize>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TRecordTimes;

struct TReportChannel {
  int Channel = 0;                // its own number, 0 to 15
  int Count = 0;                  // readings with a value
  std::int32_t Min = 0, Max = 0;  // tenths, when Count > 0
  std::string MinAt, MaxAt;       // "dd/mm/aaaa hh:mm:ss" of the first reading with each
  double Mean = 0;                // degrees
  TChannelAlarmFigures Alarm;
  TAlarmLimits Limits;
};

struct TReportEvent {
  TAlarmEvent Event;
  std::vector<TAlarmAcknowledgement> Acknowledgements;
};

// The chart's lines: per channel the points to draw. With `Times` the x
// values are record numbers and Times names their instants (a file, whose
// times may go back); without, x is seconds from 1 January 2000.
struct TReportChart {
  std::array<std::vector<double>, kAlarmChannels> X, Y;
  std::shared_ptr<const TRecordTimes> Times;
  std::optional<std::pair<double, double>> Range;  // the bottom axis' ends, seconds; empty: the data's
};

struct TReport {
  std::string Logger;    // empty: not known
  std::string From, To;  // the period: the first and last record's date and time
  std::string Rate;      // "uno cada 15 min", "a intervalos irregulares (...)"
  std::int64_t Records = 0;
  std::string Source;  // where the records came from, in words
  std::array<bool, kAlarmChannels> Shown{};
  double ActivationEnergy = kDefaultActivationEnergy;
  std::vector<TReportChannel> Channels;  // the shown ones, in channel order
  std::vector<TReportEvent> Events;      // of the shown channels, by start
  std::string Sha256;                    // lower-case hex of the records' text
  TReportChart Chart;
};

// The page the report goes on: A4 unless the user chose a printer whose
// paper is another; always upright.
QPageSize ReportPaper();

// Writes the report to `path` on `paper`; replaces a file there only once
// the new one is whole. Raises Exception (EInOutError for the file's
// failures).
void WriteReportPdf(const TReport &report, const std::string &path, const QPageSize &paper = QPageSize(QPageSize::A4));

// What a report says of its records, read back from a PDF without a text
// extractor (its metadata). Empty for a PDF that is not one of ours (or
// not a PDF); raises EInOutError when the file cannot be read.
struct TReportSeal {
  std::string Sha256;
  std::int64_t Records = 0;
};
std::optional<TReportSeal> ReadReportSeal(const std::string &pdfPath);

// "1 h 30 min", "45 s": the length of an event or of time beyond a limit.
std::string SecondsText(std::int64_t seconds);
// Whole-second time on the alarms' clock as "dd/mm/aaaa hh:mm:ss".
std::string AlarmTimeText(std::int64_t seconds);
