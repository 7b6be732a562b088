#include "report/report_sources.h"

#include "chart/time_axis.h"
#include "data/data_statistics.h"
#include "data/record_values.h"
#include "data/text_file_writer.h"
#include "graph/graph_chart.h"
#include "report/sha256.h"
#include "runtime/exceptions.h"
#include "runtime/format_settings.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>
#include <limits>

void CountReportEvents(TReport &report) {
  for (TReportChannel &c : report.Channels) {
    c.Alarm.HighEvents = c.Alarm.LowEvents = 0;
    c.Alarm.SecondsAbove = c.Alarm.SecondsBelow = 0;
    for (const TReportEvent &e : report.Events) {
      if (e.Event.Channel != c.Channel) continue;
      if (e.Event.Kind == TAlarmKind::High) {
        ++c.Alarm.HighEvents;
        c.Alarm.SecondsAbove += e.Event.Seconds;
      } else {
        ++c.Alarm.LowEvents;
        c.Alarm.SecondsBelow += e.Event.Seconds;
      }
    }
  }
}

TReportChannel ReportChannelOf(const TChannelStats &stats, int channel) {
  TReportChannel c;
  c.Channel = channel;
  c.Count = stats.Count;
  c.Min = static_cast<std::int32_t>(stats.Min);
  c.Max = static_cast<std::int32_t>(stats.Max);
  c.Mean = stats.Mean;
  return c;
}

void RefuseNothingShown(const std::array<bool, kAlarmChannels> &shown) {
  if (std::none_of(shown.begin(), shown.end(), [](bool b) { return b; }))
    throw Exception("No hay ningún canal a la vista: el informe lleva solo los canales que se muestran.");
}

std::string DownloadSourceText(std::int64_t pcTimeUtc) {
  const QDateTime at = QDateTime::fromSecsSinceEpoch(pcTimeUtc).toLocalTime();
  return "descarga del " + at.toString("dd/MM/yyyy HH:mm:ss").toStdString() + " (hora de la PC)";
}

std::string FileSourceText(const std::string &path) {
  return "archivo " + QFileInfo(QString::fromStdString(path)).fileName().toStdString();
}

std::string ArchiveSourceText(const std::string &archiveName) { return "archivo histórico " + archiveName; }

std::string RecordsTextSha256(const TDataTable &table, int records, const std::vector<int> &columnOrder) {
  TSha256 hash;
  hash.Add(BuildTextFile(table, records, columnOrder));
  return hash.Hex();
}

TReport ReportFromTable(const TDataTable &table, int records, const std::vector<int> &order,
                        const std::array<bool, kAlarmChannels> &shown, const std::string &logger,
                        const std::string &source, const TReportArchiveFacts &facts, double energy) {
  if (records <= 0) throw Exception("No hay registros: no hay nada que informar.");
  RefuseNothingShown(shown);
  TReport report;
  report.Logger = logger;
  report.Records = records;
  report.Source = source;
  report.Shown = shown;
  report.ActivationEnergy = energy;
  report.Sha256 = RecordsTextSha256(table, records, order);

  // The statistics window's figures, the MKT and the events under the
  // logger's limits included.
  TAlarmOptions options;
  options.Limits = facts.Limits;
  options.ActivationEnergy = energy;
  const TDataStatistics stats = ComputeStatistics(table, records, order, TStatLimits(), options);
  report.Rate = stats.SpacingText();
  report.From = RecordStampText(table, 1);
  report.To = RecordStampText(table, records);

  for (const TChannelStats &s : stats.Channels) {
    const int own = s.Channel;
    if (own < 0 || own >= kAlarmChannels || !shown[static_cast<size_t>(own)]) continue;
    TReportChannel c = ReportChannelOf(s, own);
    if (s.Count > 0) {
      c.MinAt = RecordStampText(table, s.MinRow);
      c.MaxAt = RecordStampText(table, s.MaxRow);
    }
    c.Alarm.Mkt = s.Alarm.Mkt;
    c.Limits = facts.Limits[static_cast<size_t>(own)];
    report.Channels.push_back(c);
  }
  std::sort(report.Channels.begin(), report.Channels.end(),
            [](const TReportChannel &a, const TReportChannel &b) { return a.Channel < b.Channel; });

  for (const TAlarmEvent &e : stats.Events) {
    if (!shown[static_cast<size_t>(e.Channel)]) continue;
    TReportEvent event{e, {}};
    for (const TArchivedAlarmEvent &held : facts.Events)
      if (held.Event.Channel == e.Channel && held.Event.Kind == e.Kind && held.Event.Start == e.Start)
        event.Acknowledgements = held.Acknowledgements;
    report.Events.push_back(std::move(event));
  }
  std::stable_sort(report.Events.begin(), report.Events.end(),
                   [](const TReportEvent &a, const TReportEvent &b) { return a.Event.Start < b.Event.Start; });
  CountReportEvents(report);

  // The chart as the graph window draws it with "Tiempo real": the records
  // by number, named by their own times.
  const TGraphTimes times(table, records, order);
  if (times.Known()) report.Chart.Times = times.Shared();
  for (int k = 0; k < kAlarmChannels; ++k) {
    if (!shown[static_cast<size_t>(k)]) continue;
    std::vector<double> &x = report.Chart.X[static_cast<size_t>(k)];
    std::vector<double> &y = report.Chart.Y[static_cast<size_t>(k)];
    x.reserve(static_cast<size_t>(records));
    y.reserve(static_cast<size_t>(records));
    for (int r = 1; r <= records; ++r) {
      std::int64_t tenths = 0;
      x.push_back(r - 1);
      // A record without this value leaves a gap the line bridges.
      y.push_back(ParseTenths(table.Cells(k + 3, r), tenths) ? static_cast<double>(tenths) / 10
                                                             : std::numeric_limits<double>::quiet_NaN());
    }
  }
  return report;
}
