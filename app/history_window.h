#pragma once

// "HISTORIAL": the history archive seen from the window program. The
// loggers it holds, any range of one of them drawn as the graph window
// draws a download (the same lines, zoom, pan, readout, copy and print),
// its statistics, its export, old files brought in, and where the archive
// lives. Every reading and writing of the archive runs on a thread of its
// own with an archive of its own (app/history_worker.h): the window stays
// responsive however large the history is.

#include "app/history_chart.h"
#include "app/history_worker.h"
#include "archive/archive.h"
#include "data/data_export.h"
#include "data/data_statistics.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <atomic>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class TChart;
class TForm9;
class TInsColBitBtn;
class TInsGradient;

class THistoryWindow : public QDialog {
public:
  explicit THistoryWindow(QWidget *parent = nullptr);
  ~THistoryWindow() override;

  TInsGradient *InsGradient1;
  // Where the archive lives.
  QLineEdit *ArchiveEdit;      // the address kept in the settings
  QPushButton *ArchiveBrowse;  // "Examinar..."
  QPushButton *ArchiveApply;   // "Usar"
  QLabel *ArchiveNote;         // the archive in use, or why it cannot be used
  // The loggers it holds.
  QTreeWidget *LoggerList;  // name, port, records, first, last
  QLineEdit *NewName;
  QPushButton *RenameButton;  // "Cambiar nombre"
  // The range.
  QDateTimeEdit *FromEdit, *ToEdit;
  QPushButton *ShowButton;  // "VER"
  QPushButton *DayButton, *WeekButton, *MonthButton, *AllButton;
  // "Seguir": the range keeps its width and ends at the newest reading, so
  // readings being recorded show as they come.
  QCheckBox *Seguir;
  // The chart, as the graph window has it.
  TChart *Chart1;
  QCheckBox *CheckBox[16];       // "CANAL1" ... "CANAL16"
  TInsColBitBtn *InsColBitBtn1;  // "Copiar"
  TInsColBitBtn *InsColBitBtn2;  // "Zoom"
  TInsColBitBtn *InsColBitBtn3;  // "Mover"
  TInsColBitBtn *InsColBitBtn4;  // "Imprimir"
  QCheckBox *TiempoReal;
  QLabel *RangeLabel;       // records drawn and instants with several versions
  QComboBox *VersionsList;  // those instants; picking one puts the cursor there
  // What is done with the range, and with old files.
  QPushButton *StatsButton;   // "ESTADÍSTICAS"
  QPushButton *ExportButton;  // "EXPORTAR"
  QPushButton *ReportButton;  // "INFORME": the range shown as a PDF report
  QComboBox *ImportLogger;    // the logger imported files go to; a new name may be typed
  QPushButton *ImportButton;  // "IMPORTAR"
  QProgressBar *Progress;
  QPushButton *CancelButton;   // "Cancelar"
  QPlainTextEdit *TaskReport;  // what the last export or import did

  // Handlers, public so that tests drive them as the clicks would.
  void FormActivate();  // the archive in use and its loggers, read again
  // A download or a batch of readings went into the archive: the loggers
  // are read again (while the window shows), and a followed range moves on.
  void ArchiveChanged();
  void SelectLogger(const std::string &name);
  void SpanClick(THistorySpan span);
  void ShowButtonClick();  // draws FromEdit to ToEdit
  void RenameButtonClick();
  void ArchiveApplyClick();
  void StatsButtonClick();
  void ExportTo(const std::string &path, TExportFormat format, TCsvStyle style);
  void ReportTo(const std::string &path);  // the report of the range and channels shown
  void ImportFiles(const QStringList &files, const std::string &logger);
  void CancelButtonClick();
  void TiempoRealClick();
  void CheckBoxClick(int n);

  // What the window shows now.
  const std::string &Address() const { return address_; }
  const std::vector<TArchivedLogger> &Loggers() const { return loggers_; }
  const std::string &Logger() const { return logger_; }
  const THistoryRange &Range() const { return range_; }
  const TArchiveOutline &RangeOutline() const { return rangeOutline_; }
  const std::vector<TStamp> &InstantsWithVersions() const { return versions_; }
  bool Busy() const;
  // The statistics window of the range, once opened.
  TForm9 *StatisticsWindow() const { return stats_.get(); }
  TStatLimits &Limits() { return limits_; }

  // The print preview, handed in by the program as it hands the graph
  // window's.
  std::function<void(QWidget *owner, TChart &chart)> PrintPreview;
  // Shows a plain message; tests put their own here. Empty: a message box.
  std::function<void(const QString &text)> ShowMessage;
  // The file dialogs; tests put their own here. Empty: Qt's.
  std::function<QStringList()> AskImportFiles;
  std::function<bool(std::string &path, TExportFormat &format, TCsvStyle &style)> AskExportFile;
  std::function<QString()> AskArchiveFile;
  // The report's file name; empty: cancelled. Empty function: Qt's dialog.
  std::function<std::string()> AskReportFile;

  // Held on a job's thread before it opens its archive (tests).
  void SetOnJobThread(const std::function<void()> &hold);

protected:
  void showEvent(QShowEvent *event) override;

private:
  void BuildArchivePart();
  void BuildRangePart();
  void BuildChartPart();
  void BuildTaskPart();
  void Message(const QString &text);
  void ReadLoggers();
  void ShowArchiveInUse(const std::string &name, bool readOnly);
  void ShowArchiveFailure(const std::exception_ptr &failure);
  void ShowLoggers();
  void ShowLoggerDetails();
  void DrawRange(const TStamp &from, const TStamp &to, bool retry = true);
  void AskOutline(double from, double to);
  void ShowRangeOutline();
  void ShowVersions();
  int PlotColumns();
  using TCancel = std::atomic<bool>;
  using TTaskWork = std::function<void(TArchive &, const std::function<bool(std::int64_t, std::int64_t)> &progress,
                                       const TCancel &cancelled)>;
  void StartTask(const QString &what, TTaskWork work, const std::function<void()> &then);
  void TaskEnded(const std::exception_ptr &failure, const std::function<void()> &then);
  void Report(const QString &text);
  void ExportClick();
  void BuildReportPart();
  void ReportClick();
  void ImportClick();
  void ArchiveBrowseClick();
  void PrintClick();
  TPrintSummary RangeSummary();

  std::string address_;
  std::string archiveName_;
  std::string failureShown_;
  std::vector<TArchivedLogger> loggers_;
  std::string logger_;
  std::string select_;  // the logger to show once the list is read again
  THistoryRange range_;
  TArchiveOutline rangeOutline_;
  std::vector<TStamp> versions_;
  std::set<std::int64_t> versionSeconds_;
  // Counts the zooms asked for and the ranges drawn: a zoom's outline is
  // shown only while it is the last thing asked for.
  std::uint64_t zoomAsked_ = 0;
  TStatLimits limits_;
  std::unique_ptr<TForm9> stats_;
  // Set while a task runs; read by the task's own thread.
  std::shared_ptr<std::atomic<std::int64_t>> done_, total_;

  // One worker for the list and the renames, one for the range's outline,
  // one for a zoom's, one for the long tasks (statistics, export, import):
  // a long export never holds back the chart, and a zoom never takes the
  // place of the range it zooms into.
  THistoryWorker listWorker_, chartWorker_, zoomWorker_, taskWorker_;
  class QTimer *progressTimer_ = nullptr;
};
