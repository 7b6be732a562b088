#include "cli/cli_report.h"

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "chart/chart_print.h"
#include "cli/cli_archive.h"
#include "cli/cli_archive_range.h"
#include "cli/cli_errors.h"
#include "cli/cli_files.h"
#include "data/data_statistics.h"
#include "report/report.h"
#include "report/report_sources.h"
#include "runtime/format_settings.h"

#include <ostream>

namespace {

std::array<bool, kAlarmChannels> ShownChannels(const TCliOptions &o) {
  std::array<bool, kAlarmChannels> shown{};
  for (int k = 0; k < kAlarmChannels; ++k) shown[static_cast<size_t>(k)] = o.Channels.empty();
  for (int channel : o.Channels) shown[static_cast<size_t>(channel - 1)] = true;
  return shown;
}

void Write(const TReport &report, const std::string &path) {
  try {
    WriteReportPdf(report, path, QPageSize(QPageSize::A4));
  } catch (const Exception &e) {
    throw ECliFailure(exFileError, e.Message());
  }
}

// What the archive knows of the file's logger, when the user named it.
TReportArchiveFacts ArchiveFacts(const TCliOptions &o) {
  TReportArchiveFacts facts;
  if (o.Logger.empty()) return facts;
  const std::unique_ptr<TArchive> archive = CliOpenArchive(o);
  try {
    facts.Limits = archive->AlarmLimits(o.Logger);
    facts.Events = archive->AlarmEvents(o.Logger, TStamp{1, 1, 1, 0, 0, 0}, TStamp{9999, 12, 31, 23, 59, 59});
  } catch (const EArchiveError &e) {
    throw ECliFailure(exFailure, e.Message());
  }
  return facts;
}

void Verify(const TCliOptions &o, TCliStreams &streams) {
  std::optional<TReportSeal> seal;
  try {
    seal = ReadReportSeal(o.Report);
  } catch (const Exception &e) {
    throw ECliFailure(exFileError, e.Message() + ".");
  }
  if (!seal)
    throw ECliFailure(exFileError, "\"" + o.Report + "\" no es un informe de TALVEX: no lleva la huella de sus datos.");
  const TOpenedData data = ReadForCli(o.Input);
  // The records as "convert" saves them as text: the bytes the report's
  // hash was taken of.
  const std::string hash = RecordsTextSha256(data.Table, data.Records, ChannelsInOwnOrder(data.ColumnOrder));
  if (hash != seal->Sha256)
    throw ECliFailure(exReportMismatch, "Los datos de " + o.Input + " NO coinciden con el informe " + o.Report +
                                            ": SHA-256 " + hash + " en lugar de " + seal->Sha256 + " (" +
                                            std::to_string(data.Records) + " registros; el informe dice " +
                                            std::to_string(seal->Records) + ").");
  streams.Out << "Los datos de " << o.Input << " coinciden con el informe " << o.Report << " (" << data.Records
              << " registros, SHA-256 " << hash << ").\n";
}

}  // namespace

void CliReport(const TCliOptions &o, TCliStreams &streams) {
  // The report's texts as the program writes them: decimal comma.
  FormatSettings().DecimalSeparator = ',';
  FormatSettings().ThousandSeparator = '.';
  if (o.Verify) {
    Verify(o, streams);
    return;
  }
  CheckOutputFile(o.Output, o.Force);
  TReport report;
  if (o.Archive) {
    const std::unique_ptr<TArchive> archive = CliOpenArchive(o);
    try {
      report = ReportFromArchive(*archive, o.Logger, CliRangeFrom(o), CliRangeTo(o), ShownChannels(o),
                                 o.ActivationEnergy.value_or(SavedActivationEnergy()));
    } catch (const EArchiveError &e) {
      throw ECliFailure(exFailure, e.Message());
    }
  } else {
    const TOpenedData data = ReadForCli(o.Input);
    // In the order "convert" saves them as text: the bytes hashed.
    report =
        ReportFromTable(data.Table, data.Records, ChannelsInOwnOrder(data.ColumnOrder), ShownChannels(o), o.Logger,
                        FileSourceText(o.Input), ArchiveFacts(o), o.ActivationEnergy.value_or(SavedActivationEnergy()));
  }
  Write(report, o.Output);
  streams.Out << "Informe de " << report.Records << " registros"
              << (report.Logger.empty() ? std::string() : " de " + report.Logger) << " en " << o.Output
              << " (SHA-256 de los registros " << report.Sha256 << ").\n";
}
