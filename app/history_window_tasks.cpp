// The history window's long tasks: the range's statistics, its export and
// old files brought in. One at a time, on a thread of its own, with a
// progress bar and "Cancelar"; the chart and the list stay usable.

#include "app/history_window.h"

#include "archive/archive_error.h"
#include "archive/archive_export.h"
#include "archive/archive_import.h"
#include "archive/archive_statistics.h"
#include "data/statistics_window.h"
#include "runtime/application.h"
#include "runtime/exceptions.h"
#include "runtime/form_font.h"
#include "runtime/last_folder.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

QString Text(const std::string &s) { return QString::fromStdString(s); }
std::string StampText(const TStamp &s) { return ProgramDateText(s) + " " + ProgramTimeText(s); }

const char *const kXlsxFilter = "Libro de Excel (*.xlsx)";
const char *const kCommaFilter = "CSV, separador coma y punto decimal (*.csv)";
const char *const kSemicolonFilter = "CSV, separador punto y coma y coma decimal (*.csv)";
const char *const kTextFilter = "Archivo de texto del programa (*.txt)";

}  // namespace

void THistoryWindow::BuildTaskPart() {
  auto *label = new QLabel(QString::fromUtf8("Importar en:"), this);
  label->setFont(FormFont("Arial", 8, true));
  label->setGeometry(8, 364, 190, 18);
  ImportLogger = new QComboBox(this);
  ImportLogger->setEditable(true);
  ImportLogger->setGeometry(8, 382, 190, 24);
  ImportLogger->setToolTip(QString::fromUtf8("El registrador al que van los archivos; un nombre nuevo lo crea"));
  ImportButton = new QPushButton(QStringLiteral("IMPORTAR"), this);
  ImportButton->setGeometry(204, 381, 96, 26);
  ImportButton->setToolTip(QString::fromUtf8("Archivos de texto y CSV guardados, al archivo histórico"));
  StatsButton = new QPushButton(QString::fromUtf8("ESTADÍSTICAS"), this);
  StatsButton->setGeometry(8, 416, 140, 26);
  StatsButton->setToolTip(QString::fromUtf8("Mínimo, máximo, media y tiempo fuera de límites del rango"));
  ExportButton = new QPushButton(QStringLiteral("EXPORTAR"), this);
  ExportButton->setGeometry(160, 416, 140, 26);
  ExportButton->setToolTip(QString::fromUtf8("El rango a una hoja de cálculo (XLSX o CSV) o a un archivo de texto"));
  Progress = new QProgressBar(this);
  Progress->setGeometry(8, 450, 200, 24);
  Progress->setRange(0, 1000);
  Progress->setValue(0);
  Progress->setEnabled(false);
  CancelButton = new QPushButton(QStringLiteral("Cancelar"), this);
  CancelButton->setGeometry(214, 449, 86, 26);
  CancelButton->setEnabled(false);
  TaskReport = new QPlainTextEdit(this);
  TaskReport->setGeometry(8, 482, 292, 102);
  TaskReport->setReadOnly(true);
  TaskReport->setFont(FormFont("Arial", 8));
  TaskReport->setPlaceholderText(QString::fromUtf8("Lo que hicieron la exportación y la importación"));

  progressTimer_ = new QTimer(this);
  progressTimer_->setInterval(100);
  connect(progressTimer_, &QTimer::timeout, this, [this] {
    if (!done_ || !total_) return;
    const std::int64_t total = total_->load(), done = done_->load();
    Progress->setValue(total > 0 ? static_cast<int>(std::min<std::int64_t>(done, total) * 1000 / total) : 0);
  });

  connect(ImportButton, &QPushButton::clicked, this, [this] { RunHandler([this] { ImportClick(); }); });
  connect(StatsButton, &QPushButton::clicked, this, [this] { RunHandler([this] { StatsButtonClick(); }); });
  connect(ExportButton, &QPushButton::clicked, this, [this] { RunHandler([this] { ExportClick(); }); });
  connect(CancelButton, &QPushButton::clicked, this, [this] { RunHandler([this] { CancelButtonClick(); }); });
}

void THistoryWindow::Report(const QString &text) { TaskReport->appendPlainText(text); }

void THistoryWindow::StartTask(const QString &what, TTaskWork work, const std::function<void()> &then) {
  if (taskWorker_.Busy()) throw Exception("Espere a que termine lo que está en curso, o cancélelo.");
  auto done = done_ = std::make_shared<std::atomic<std::int64_t>>(0);
  auto total = total_ = std::make_shared<std::atomic<std::int64_t>>(0);
  for (QPushButton *b : {StatsButton, ExportButton, ImportButton, ReportButton}) b->setEnabled(false);
  CancelButton->setEnabled(true);
  Progress->setEnabled(true);
  Progress->setValue(0);
  Progress->setFormat(what + " %p%");
  progressTimer_->start();
  // The progress goes through two counters the bar reads every 100 ms: a
  // call per slice would flood the window.
  taskWorker_.Start(
      address_,
      [work = std::move(work), done, total](TArchive &archive, const TCancel &cancelled) {
        work(
            archive,
            [&cancelled, done, total](std::int64_t d, std::int64_t t) {
              done->store(d);
              total->store(t);
              return !cancelled.load();
            },
            cancelled);
      },
      [this, then](const std::exception_ptr &failure) { TaskEnded(failure, then); });
}

void THistoryWindow::TaskEnded(const std::exception_ptr &failure, const std::function<void()> &then) {
  progressTimer_->stop();
  for (QPushButton *b : {StatsButton, ExportButton, ImportButton, ReportButton}) b->setEnabled(true);
  CancelButton->setEnabled(false);
  Progress->setEnabled(false);
  if (failure) {
    Progress->setValue(0);
    try {
      std::rethrow_exception(failure);
    } catch (const EArchiveError &e) {
      Report(Text(Exception::VisibleText(e.Message())));
      // An archive that would not open is the archive's matter too.
      ShowArchiveFailure(failure);
    } catch (const std::exception &e) {
      Report(Text(Exception::VisibleText(e.what())));
    }
    return;
  }
  Progress->setValue(1000);
  if (then) then();
}

void THistoryWindow::CancelButtonClick() {
  if (!taskWorker_.Busy()) return;
  taskWorker_.Cancel();
  CancelButton->setEnabled(false);
  Report(QString::fromUtf8("Cancelando..."));
}

void THistoryWindow::StatsButtonClick() {
  if (logger_.empty() || range_.From == TStamp()) throw Exception("Elija un registrador y un rango.");
  if (!stats_) {
    stats_ = std::make_unique<TForm9>(limits_, this);
    // New limits are figures of the same range computed again.
    stats_->OnCalculate = [this] { StatsButtonClick(); };
    // The range is said before the figures: the line takes the window's width.
    stats_->Label1->setGeometry(8, 8, 810, 16);
  }
  const std::string logger = logger_;
  const THistoryRange range = range_;
  const TStatLimits limits = limits_;
  const double energy = stats_->ActivationEnergy();
  auto result = std::make_shared<std::optional<TArchiveStatistics>>();
  StartTask(
      QString::fromUtf8("Estadísticas"),
      [logger, range, limits, energy, result](TArchive &archive, const TArchiveProgress &progress, const TCancel &) {
        // The logger's own limits, so the events counted are the ones the
        // archive keeps (acknowledged ones included).
        TAlarmOptions alarms;
        alarms.ActivationEnergy = energy;
        alarms.Limits = LimitsIfAny(archive.AlarmLimits(logger));
        *result = ArchiveStatistics(archive, logger, range.From, range.To, limits, alarms, progress);
      },
      [this, logger, range, result] {
        if (!*result) {
          Report(QString::fromUtf8("Estadísticas canceladas."));
          return;
        }
        const TArchiveStatistics &s = **result;
        TStatisticsFigures figures;
        figures.Heading = logger + ", de " + StampText(range.From) + " a " + StampText(range.To) + ": ";
        figures.Stats = s.Stats;
        for (size_t k = 0; k < 16; ++k) {
          if (s.Stats.Channels[k].Count == 0) continue;
          figures.MinAt[k] = StampText(s.MinAt[k]);
          figures.MaxAt[k] = StampText(s.MaxAt[k]);
        }
        stats_->ShowFigures(figures);
        stats_->show();
        stats_->raise();
        stats_->activateWindow();
      });
}

void THistoryWindow::ExportClick() {
  if (logger_.empty() || range_.From == TStamp()) throw Exception("Elija un registrador y un rango.");
  std::string path;
  TExportFormat format = TExportFormat::Xlsx;
  TCsvStyle style = LocaleCsvStyle();
  if (AskExportFile) {
    if (!AskExportFile(path, format, style)) return;
  } else {
    QFileDialog dialog(this, QString::fromUtf8("Exportar el rango"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDirectory(FileDialogFolder());
    const bool semicolon = LocaleCsvStyle() == TCsvStyle::Semicolon;
    dialog.setNameFilters(
        {QString::fromUtf8(kXlsxFilter), QString::fromUtf8(semicolon ? kSemicolonFilter : kCommaFilter),
         QString::fromUtf8(semicolon ? kCommaFilter : kSemicolonFilter), QString::fromUtf8(kTextFilter)});
    dialog.setDefaultSuffix(QStringLiteral("xlsx"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString &filter) {
      dialog.setDefaultSuffix(filter == QString::fromUtf8(kXlsxFilter)   ? "xlsx"
                              : filter == QString::fromUtf8(kTextFilter) ? "txt"
                                                                         : "csv");
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString name = dialog.selectedFiles().first();
    RememberFileDialogFolder(name);
    path = QFile::encodeName(name).toStdString();
    const QString filter = dialog.selectedNameFilter();
    format = filter == QString::fromUtf8(kXlsxFilter)   ? TExportFormat::Xlsx
             : filter == QString::fromUtf8(kTextFilter) ? TExportFormat::Text
                                                        : TExportFormat::Csv;
    // A name with its own extension is written as it says.
    if (ExportFormatOf(path) != TExportFormat::Text) format = ExportFormatOf(path);
    if (filter == QString::fromUtf8(kSemicolonFilter)) style = TCsvStyle::Semicolon;
    if (filter == QString::fromUtf8(kCommaFilter)) style = TCsvStyle::Comma;
  }
  ExportTo(path, format, style);
}

void THistoryWindow::ExportTo(const std::string &path, TExportFormat format, TCsvStyle style) {
  if (logger_.empty() || range_.From == TStamp()) throw Exception("Elija un registrador y un rango.");
  const std::string logger = logger_;
  const THistoryRange range = range_;
  const TStatLimits limits = limits_;
  auto written = std::make_shared<std::optional<std::int64_t>>();
  StartTask(
      QStringLiteral("Exportando"),
      [logger, range, path, format, style, limits, written](TArchive &archive, const TArchiveProgress &progress,
                                                            const TCancel &) {
        *written = ExportArchiveRange(archive, logger, range.From, range.To, path, format, style, limits, progress);
      },
      [this, path, written] {
        if (!*written) {
          Report(QString::fromUtf8("Exportación cancelada: %1 no se escribió.").arg(Text(path)));
          return;
        }
        Report(QString::fromUtf8("Exportados %1 registros a %2.").arg(**written).arg(Text(path)));
      });
}

void THistoryWindow::ImportClick() {
  const std::string logger = ImportLogger->currentText().trimmed().toStdString();
  if (logger.empty()) throw Exception("Elija o escriba el registrador al que importar los archivos.");
  QStringList files;
  if (AskImportFiles) {
    files = AskImportFiles();
  } else {
    files = QFileDialog::getOpenFileNames(this, QString::fromUtf8("Importar datos guardados"), FileDialogFolder(),
                                          QString::fromUtf8("Datos guardados (*.txt *.csv *.TXT *.CSV);;Todos los "
                                                            "archivos (*)"));
    if (!files.isEmpty()) RememberFileDialogFolder(files.first());
  }
  if (files.isEmpty()) return;
  ImportFiles(files, logger);
}

void THistoryWindow::ImportFiles(const QStringList &files, const std::string &logger) {
  if (logger.empty()) throw Exception("Elija o escriba el registrador al que importar los archivos.");
  std::vector<std::string> paths;
  for (const QString &f : files) paths.push_back(QFile::encodeName(f).toStdString());
  auto imports = std::make_shared<std::vector<TFileImport>>();
  StartTask(
      QStringLiteral("Importando"),
      [logger, paths, imports](TArchive &archive, const TArchiveProgress &progress, const TCancel &cancelled) {
        const auto total = static_cast<std::int64_t>(paths.size());
        progress(0, total);
        // Each file is a transaction of its own: a cancel stops between
        // files, and what went in before stays in.
        for (const std::string &path : paths) {
          if (cancelled) break;
          imports->push_back(ImportFile(archive, logger, path));
          progress(static_cast<std::int64_t>(imports->size()), total);
        }
      },
      [this, logger, paths, imports] {
        int failed = 0;
        for (const TFileImport &i : *imports) {
          if (!i.Stored) ++failed;
          Report(Text(Exception::VisibleText(ImportReport(i))));
        }
        if (imports->size() < paths.size())
          Report(QString::fromUtf8("Importación cancelada: %1 de %2 archivos no se leyeron.")
                     .arg(paths.size() - imports->size())
                     .arg(paths.size()));
        else if (failed > 0)
          Report(QString::fromUtf8("%1 de %2 archivos no se guardaron; los demás, sí.").arg(failed).arg(paths.size()));
        // The new records, or a new logger, show at once.
        select_ = logger;
        FormActivate();
      });
}
