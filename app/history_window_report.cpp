// "INFORME" of the history window: the range and the channels shown as the
// PDF report. The archive is read on the task thread like the statistics;
// the pages are drawn back on the window's thread, where the chart lives.

#include "app/history_window.h"

#include "archive/archive_export.h"
#include "data/data_statistics.h"
#include "report/report.h"
#include "report/report_sources.h"
#include "runtime/application.h"
#include "runtime/exceptions.h"
#include "runtime/last_folder.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QPushButton>

void THistoryWindow::BuildReportPart() {
  // Right of "VER", at the chart's right edge: nothing else was there.
  ReportButton = new QPushButton(QStringLiteral("INFORME"), this);
  ReportButton->setGeometry(931, 7, 100, 26);
  ReportButton->setToolTip(QString::fromUtf8(
      "El rango y los canales a la vista como informe PDF: gráfico con los límites de alarma, cifras por canal, "
      "eventos y la huella de los datos"));
  connect(ReportButton, &QPushButton::clicked, this, [this] { RunHandler([this] { ReportClick(); }); });
}

void THistoryWindow::ReportClick() {
  if (logger_.empty() || range_.From == TStamp()) throw Exception("Elija un registrador y un rango.");
  std::string path;
  if (AskReportFile) {
    path = AskReportFile();
  } else {
    const QString name = QFileDialog::getSaveFileName(this, QString::fromUtf8("Guardar el informe"), FileDialogFolder(),
                                                      QStringLiteral("Informe PDF (*.pdf)"));
    if (!name.isEmpty()) {
      RememberFileDialogFolder(name);
      path = QFile::encodeName(name.endsWith(".pdf", Qt::CaseInsensitive) ? name : name + ".pdf").toStdString();
    }
  }
  if (!path.empty()) ReportTo(path);
}

void THistoryWindow::ReportTo(const std::string &path) {
  if (logger_.empty() || range_.From == TStamp()) throw Exception("Elija un registrador y un rango.");
  std::array<bool, kAlarmChannels> shown{};
  for (int k = 0; k < kAlarmChannels; ++k) shown[static_cast<size_t>(k)] = CheckBox[k]->isChecked();
  RefuseNothingShown(shown);
  const std::string logger = logger_;
  const THistoryRange range = range_;
  const double energy = SavedActivationEnergy();
  auto report = std::make_shared<TReport>();
  StartTask(
      QStringLiteral("Informe"),
      [logger, range, shown, energy, report](TArchive &archive, const TArchiveProgress &, const TCancel &) {
        *report = ReportFromArchive(archive, logger, range.From, range.To, shown, energy);
      },
      [this, report, path] {
        WriteReportPdf(*report, path, ReportPaper());
        Report(QString::fromStdString("Informe de " + std::to_string(report->Records) + " registros en " + path +
                                      " (SHA-256 de los registros " + report->Sha256 + ")."));
      });
}
