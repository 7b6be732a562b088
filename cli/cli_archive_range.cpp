#include "cli/cli_archive_range.h"

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "archive/archive_export.h"
#include "archive/archive_statistics.h"
#include "cli/cli_archive.h"
#include "cli/cli_errors.h"
#include "cli/cli_files.h"
#include "cli/cli_link.h"
#include "runtime/format_settings.h"

#include <QElapsedTimer>

#include <map>
#include <ostream>

namespace {

std::string StampText(const TStamp &s) { return ProgramDateText(s) + " " + ProgramTimeText(s); }

// Records read so far on one rewritten line of the terminal, a few times a
// second; Ctrl+C answered between slices.
class TRangeProgress {
public:
  TRangeProgress(TCliStreams &streams, const char *doing) : Streams_(streams), Doing_(doing) { Clock_.start(); }
  ~TRangeProgress() { End(); }
  TRangeProgress(const TRangeProgress &) = delete;
  TRangeProgress &operator=(const TRangeProgress &) = delete;

  void End() {
    if (Shown_) Streams_.Err << '\n' << std::flush;
    Shown_ = false;
  }
  bool operator()(std::int64_t done, std::int64_t total) {
    if (CliInterruptRequested()) return false;
    if (Streams_.ErrIsTerminal && (!Shown_ || Clock_.elapsed() >= 200 || done == total)) {
      Clock_.restart();
      Shown_ = true;
      Streams_.Err << '\r' << Doing_ << ": " << done << " de " << total << " registros   " << std::flush;
    }
    return true;
  }
  TArchiveProgress Callback() {
    return [this](std::int64_t done, std::int64_t total) { return (*this)(done, total); };
  }

private:
  TCliStreams &Streams_;
  const char *Doing_;
  QElapsedTimer Clock_;
  bool Shown_ = false;
};

[[noreturn]] void Interrupted(const std::string &what) { throw ECliFailure(exInterrupted, "Interrumpido: " + what); }

std::string JsonStamp(const std::optional<TStamp> &stamp) {
  return stamp ? JsonString(IsoText(*stamp)) : std::string("null");
}

}  // namespace

TStamp CliRangeFrom(const TCliOptions &o) { return o.From ? *o.From : TStamp{1, 1, 1, 0, 0, 0}; }
TStamp CliRangeTo(const TCliOptions &o) { return o.To ? *o.To : TStamp{9999, 12, 31, 23, 59, 59}; }

std::string CliRangeText(const TCliOptions &o) {
  if (o.From && o.To) return "del " + StampText(*o.From) + " al " + StampText(*o.To);
  if (o.From) return "desde el " + StampText(*o.From);
  if (o.To) return "hasta el " + StampText(*o.To);
  return "todo lo guardado";
}

void CliArchiveExport(const TCliOptions &o, TCliStreams &streams) {
  CheckOutputFile(o.Output, o.Force);
  // The text file's values in the program's own texts, as "GUARDAR" writes them.
  ApplyProgramFormats();
  const std::unique_ptr<TArchive> archive = CliOpenArchive(o);
  std::optional<std::int64_t> written;
  try {
    TRangeProgress progress(streams, "Exportando");
    written = ExportArchiveRange(*archive, o.Logger, CliRangeFrom(o), CliRangeTo(o), o.Output, ExportFormatOf(o.Output),
                                 CliCsvStyle(o), CliLimits(o), progress.Callback());
  } catch (const EArchiveError &e) {
    throw ECliFailure(exFailure, e.Message());
  }
  if (!written) Interrupted("no se escribió \"" + o.Output + "\".");
  streams.Out << "Exportados " << *written << " registros de " << o.Logger << " (" << CliRangeText(o) << ") a "
              << o.Output << ".\n";
  streams.Out.flush();
}

void CliArchiveStats(const TCliOptions &o, TCliStreams &streams) {
  ApplyProgramFormats();
  const std::unique_ptr<TArchive> archive = CliOpenArchive(o);
  std::optional<TArchiveStatistics> stats;
  try {
    TRangeProgress progress(streams, "Leyendo");
    // The logger's own limits: the events are the ones the archive keeps.
    TAlarmOptions alarms = CliAlarmOptions(o);
    alarms.Limits = LimitsIfAny(archive->AlarmLimits(o.Logger));
    stats = ArchiveStatistics(*archive, o.Logger, CliRangeFrom(o), CliRangeTo(o), CliLimits(o), alarms,
                              progress.Callback());
  } catch (const EArchiveError &e) {
    throw ECliFailure(exFailure, e.Message());
  }
  if (!stats) Interrupted("estadísticas sin terminar.");
  // Where each channel's lowest and highest first happened, by the record
  // they count.
  std::map<int, TStamp> at;
  for (size_t k = 0; k < stats->Stats.Channels.size(); ++k) {
    const TChannelStats &c = stats->Stats.Channels[k];
    if (c.Count == 0) continue;
    at[c.MinRow] = stats->MinAt[k];
    at[c.MaxRow] = stats->MaxAt[k];
  }
  const TStampOfRow stampOf = [&at](int row) {
    TRecordStamp stamp;
    const auto found = at.find(row);
    if (found == at.end()) return stamp;
    stamp.Real = true;
    stamp.Stamp = found->second;
    stamp.Text = StampText(found->second);
    return stamp;
  };
  if (o.Json) {
    // The keys of "stats", "archivo" naming the archive, then the range.
    std::string json = StatisticsJson(archive->Name(), stampOf, stats->Stats);
    json.pop_back();
    json += ",\"registrador\":" + JsonString(o.Logger) + ",\"desde\":" + JsonStamp(o.From) +
            ",\"hasta\":" + JsonStamp(o.To) + ",\"primero\":" + JsonStamp(stats->First) +
            ",\"ultimo\":" + JsonStamp(stats->Last) +
            ",\"instantes_con_versiones\":" + std::to_string(stats->InstantsWithVersions) + "}";
    streams.Out << json << '\n';
  } else {
    streams.Out << "Archivo histórico: " << archive->Name() << '\n';
    streams.Out << "Rango: " << CliRangeText(o);
    if (stats->First)
      streams.Out << "; primer registro " << StampText(*stats->First) << ", último " << StampText(*stats->Last);
    streams.Out << ".\n";
    if (stats->InstantsWithVersions > 0)
      streams.Out << stats->InstantsWithVersions
                  << (stats->InstantsWithVersions == 1 ? " fecha y hora guardada" : " fechas y horas guardadas")
                  << " con más de una versión (registros de la misma fecha y hora con otros valores).\n";
    streams.Out << StatisticsText(o.Logger, stampOf, stats->Stats);
  }
  streams.Out.flush();
}
