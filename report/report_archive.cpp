#include "report/report_sources.h"

#include "archive/archive_export.h"
#include "archive/archive_range_sum.h"
#include "data/text_file_writer.h"
#include "runtime/exceptions.h"
#include "runtime/format_settings.h"

#include <QCryptographicHash>

#include <algorithm>

namespace {

std::string StampText(const TStamp &s) { return ProgramDateText(s) + " " + ProgramTimeText(s); }

// Seconds of the chart's time axis (from 1 January 2000) on the alarms'
// clock (from the year 1).
std::int64_t ChartEpoch() {
  static const std::int64_t epoch = StampSeconds(TStamp{2000, 1, 1, 0, 0, 0});
  return epoch;
}

}  // namespace

TReport ReportFromArchive(TArchive &archive, const std::string &logger, const TStamp &from, const TStamp &to,
                          const std::array<bool, kAlarmChannels> &shown, double energy, int columns) {
  RefuseNothingShown(shown);
  TReport report;
  report.Logger = logger;
  report.Shown = shown;
  report.ActivationEnergy = energy;
  report.Source = ArchiveSourceText(archive.Name());
  const std::int64_t count = archive.Count(logger, from, to);
  if (count == 0)
    throw Exception("El archivo histórico no tiene registros de " + logger + " del " + StampText(from) + " al " +
                    StampText(to) + ": no hay nada que informar.");

  const TAlarmLimitSet limits = archive.AlarmLimits(logger);
  // One reading of the range gives the text's hash, the figures and the MKT.
  QCryptographicHash hash(QCryptographicHash::Sha256);
  std::string header(TEXT_FILE_HEADER);
  header += "\r\n\r\n";
  hash.addData(QByteArrayView(header.data(), static_cast<qsizetype>(header.size())));
  const char decimal = FormatSettings().DecimalSeparator;
  TRangeSum sum{TStatLimits()};
  TSeriesAlarmScan scan(limits, energy);
  std::string lines;
  TAlarmValues values{};
  archive.ReadRecords(logger, from, to, [&](const std::vector<TArchiveRecord> &slice) {
    lines.clear();
    AppendTextLines(lines, slice, decimal);
    hash.addData(QByteArrayView(lines.data(), static_cast<qsizetype>(lines.size())));
    for (const TArchiveRecord &r : slice) {
      sum.Add(r);
      for (size_t k = 0; k < values.size(); ++k) values[k] = r.Values[k];
      scan.Add(StampSeconds(r.Instant), values);
    }
    return true;
  });
  report.Sha256 = hash.result().toHex().toStdString();
  const TArchiveStatistics stats = sum.Result();
  const TSeriesAlarms alarms = scan.Finish();
  report.Records = stats.Stats.Records;
  report.Rate = stats.Stats.SpacingText();
  if (stats.First) report.From = StampText(*stats.First);
  if (stats.Last) report.To = StampText(*stats.Last);

  for (int k = 0; k < kAlarmChannels; ++k) {
    if (!shown[static_cast<size_t>(k)]) continue;
    const TChannelStats &s = stats.Stats.Channels[static_cast<size_t>(k)];
    TReportChannel c;
    c.Channel = k;
    c.Count = s.Count;
    c.Min = static_cast<std::int32_t>(s.Min);
    c.Max = static_cast<std::int32_t>(s.Max);
    if (s.Count > 0) {
      c.MinAt = StampText(stats.MinAt[static_cast<size_t>(k)]);
      c.MaxAt = StampText(stats.MaxAt[static_cast<size_t>(k)]);
    }
    c.Mean = s.Mean;
    c.Alarm.Mkt = alarms.Channels[static_cast<size_t>(k)].Mkt;
    c.Limits = limits[static_cast<size_t>(k)];
    report.Channels.push_back(c);
  }

  // The events as the archive holds them, acknowledgements and all.
  for (TArchivedAlarmEvent &held : archive.AlarmEvents(logger, from, to))
    if (shown[static_cast<size_t>(held.Event.Channel)])
      report.Events.push_back(TReportEvent{held.Event, std::move(held.Acknowledgements)});
  CountReportEvents(report);

  const TArchiveOutline outline = archive.Outline(logger, from, to, std::max(1, columns));
  for (int k = 0; k < kAlarmChannels; ++k) {
    if (!shown[static_cast<size_t>(k)]) continue;
    for (const TOutlinePoint &p : outline.Channels[static_cast<size_t>(k)]) {
      report.Chart.X[static_cast<size_t>(k)].push_back(p.Seconds);
      report.Chart.Y[static_cast<size_t>(k)].push_back(static_cast<double>(p.Value) / 10);
    }
  }
  report.Chart.Range = std::make_pair(static_cast<double>(StampSeconds(from) - ChartEpoch()),
                                      static_cast<double>(StampSeconds(to) + 1 - ChartEpoch()));
  return report;
}
