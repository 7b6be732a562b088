#include "report/report_sources.h"

#include "archive/archive_export.h"
#include "archive/archive_range_sum.h"
#include "data/text_file_writer.h"
#include "report/sha256.h"
#include "runtime/exceptions.h"
#include "runtime/format_settings.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace {

std::string StampText(const TStamp &s) { return ProgramDateText(s) + " " + ProgramTimeText(s); }

// Seconds of the chart's time axis (from 1 January 2000) on the alarms'
// clock (from the year 1).
std::int64_t ChartEpoch() {
  static const std::int64_t epoch = StampSeconds(TStamp{2000, 1, 1, 0, 0, 0});
  return epoch;
}

// Everything made of the records (their text and its hash, the figures, the
// MKT) is made on a thread of its own, a few slices behind the reading: on
// two cores the reading, the longest part, then waits for nothing. The text
// is the archive export's own, slice by slice.
class TRecordLane {
public:
  TRecordLane(char decimal, std::function<void(const std::vector<TArchiveRecord> &)> figures)
      : decimal_(decimal), figures_(std::move(figures)) {
    std::string header(TEXT_FILE_HEADER);
    header += "\r\n\r\n";
    hash_.Add(header);
    thread_ = std::thread([this] { Run(); });
  }
  ~TRecordLane() { Close(); }
  TRecordLane(const TRecordLane &) = delete;
  TRecordLane &operator=(const TRecordLane &) = delete;

  void Put(std::vector<TArchiveRecord> &&slice) {
    std::unique_lock<std::mutex> lock(mutex_);
    // A few slices ahead at most: memory stays bounded however long the range.
    room_.wait(lock, [this] { return queue_.size() < 4; });
    queue_.push_back(std::move(slice));
    ready_.notify_one();
  }
  // The hash of everything put, in lower-case hex.
  std::string Finish() {
    Close();
    if (failure_) std::rethrow_exception(failure_);
    return hash_.Hex();
  }

private:
  void Close() {
    if (!thread_.joinable()) return;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      closed_ = true;
    }
    ready_.notify_one();
    thread_.join();
  }
  void Run() {
    std::string lines;
    for (;;) {
      std::vector<TArchiveRecord> slice;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return closed_ || !queue_.empty(); });
        if (queue_.empty()) return;
        slice = std::move(queue_.front());
        queue_.pop_front();
      }
      room_.notify_one();
      if (failure_) continue;  // the reading goes on to its end; Finish tells
      try {
        figures_(slice);
        lines.clear();
        AppendTextLines(lines, slice, decimal_);
        hash_.Add(lines);
      } catch (...) {
        failure_ = std::current_exception();
      }
    }
  }

  const char decimal_;
  const std::function<void(const std::vector<TArchiveRecord> &)> figures_;
  TSha256 hash_;
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::deque<std::vector<TArchiveRecord>> queue_;
  bool closed_ = false;
  std::exception_ptr failure_;  // the lane's own thread only, until joined
  std::thread thread_;
};

}  // namespace

TReport ReportFromArchive(TArchive &archive, const std::string &logger, const TStamp &from, const TStamp &to,
                          const std::array<bool, kAlarmChannels> &shown, double energy, int columns) {
  RefuseNothingShown(shown);
  TReport report;
  report.Logger = logger;
  report.Shown = shown;
  report.ActivationEnergy = energy;
  report.Source = ArchiveSourceText(archive.Name());
  const TAlarmLimitSet limits = archive.AlarmLimits(logger);
  // One reading of the range gives the text's hash, the figures and the MKT.
  TRangeSum sum{TStatLimits()};
  // Only the MKT is taken from this pass: the events are the archive's own.
  TSeriesAlarmScan scan(TAlarmLimitSet(), energy);
  TRecordLane lane(FormatSettings().DecimalSeparator, [&](const std::vector<TArchiveRecord> &slice) {
    TAlarmValues values{};
    for (const TArchiveRecord &r : slice) {
      sum.Add(r);
      for (size_t k = 0; k < values.size(); ++k) values[k] = r.Values[k];
      scan.Add(StampSeconds(r.Instant), values);
    }
  });
  archive.ReadRecords(logger, from, to, [&](std::vector<TArchiveRecord> &slice) {
    lane.Put(std::move(slice));
    return true;
  });
  report.Sha256 = lane.Finish();
  const TArchiveStatistics stats = sum.Result();
  if (stats.Stats.Records == 0)
    throw Exception("El archivo histórico no tiene registros de " + logger + " del " + StampText(from) + " al " +
                    StampText(to) + ": no hay nada que informar.");
  const TSeriesAlarms alarms = scan.Finish();
  report.Records = stats.Stats.Records;
  report.Rate = stats.Stats.SpacingText();
  if (stats.First) report.From = StampText(*stats.First);
  if (stats.Last) report.To = StampText(*stats.Last);

  for (int k = 0; k < kAlarmChannels; ++k) {
    if (!shown[static_cast<size_t>(k)]) continue;
    const TChannelStats &s = stats.Stats.Channels[static_cast<size_t>(k)];
    TReportChannel c = ReportChannelOf(s, k);
    if (s.Count > 0) {
      c.MinAt = StampText(stats.MinAt[static_cast<size_t>(k)]);
      c.MaxAt = StampText(stats.MaxAt[static_cast<size_t>(k)]);
    }
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
