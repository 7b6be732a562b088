#include "app/data_window_report.h"

#include "archive/archive.h"
#include "archive/archive_address.h"
#include "archive/archive_error.h"
#include "data/data_statistics.h"
#include "data/data_window.h"
#include "report/report.h"
#include "report/report_sources.h"
#include "runtime/exceptions.h"
#include "runtime/last_folder.h"

#include <QFile>
#include <QFileDialog>

void WriteDataWindowReport(TForm5 &window, const std::array<bool, kAlarmChannels> &shown,
                           const TDataReportSource &source, const std::string &path) {
  const int records = window.RecordCount();
  if (records <= 0) throw Exception("No hay registros: no hay nada que informar.");
  RefuseNothingShown(shown);
  std::string logger, origin;
  TReportArchiveFacts facts;
  if (window.ShowsFile()) {
    origin = FileSourceText(window.FileShown());
  } else {
    origin = DownloadSourceText(source.DownloadPcTime);
    // The logger is known by its port; its limits and whoever acknowledged
    // its events are in the archive. A report without them would say that
    // nothing happened, so one the archive cannot give is not made.
    try {
      TArchive archive(source.ArchiveAddress.empty() ? ConfiguredArchiveAddress() : source.ArchiveAddress);
      logger = archive.LoggerOnPort(source.Port).value_or(source.Port);
      facts.Limits = archive.AlarmLimits(logger);
      facts.Events = archive.AlarmEvents(logger, TStamp{1, 1, 1, 0, 0, 0}, TStamp{9999, 12, 31, 23, 59, 59});
    } catch (const EArchiveError &e) {
      throw Exception("No se pudieron leer los límites de alarma del archivo histórico: " + e.Message() +
                      " El informe no se hizo.");
    }
  }
  const TReport report = ReportFromTable(window.StringGrid1->Table(), records, window.SavedColumnOrder(), shown, logger,
                                         origin, facts, SavedActivationEnergy());
  WriteReportPdf(report, path, ReportPaper());
}

std::string AskReportFileName(QWidget *owner) {
  const QString name = QFileDialog::getSaveFileName(owner, QString::fromUtf8("Guardar el informe"), FileDialogFolder(),
                                                    QStringLiteral("Informe PDF (*.pdf)"));
  if (name.isEmpty()) return std::string();
  RememberFileDialogFolder(name);
  return QFile::encodeName(name.endsWith(".pdf", Qt::CaseInsensitive) ? name : name + ".pdf").toStdString();
}
