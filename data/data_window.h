#pragma once

#include "data/data_export.h"
#include "data/data_file_reader.h"
#include "data/data_statistics.h"
#include "data/dump_decoder.h"
#include "data/string_grid.h"

#include <QDialog>
#include <QMessageBox>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QFileDialog;
class QLabel;
class QLineEdit;
class QToolButton;
class TInsGradient;
class TForm9;

// The downloaded-data window: start date, start time and rate of the
// recording above the grid of all records. It decodes the main window's dump
// afresh every time it is activated, saves the grid as a text file and opens
// the graph window. It also opens a file saved before (in place of the
// download while the window stays open), exports the grid to a spreadsheet
// and shows its statistics.
class TForm5 : public QDialog {
public:
  // `dump` is the main window's dump text; it is read on every activation and
  // must outlive the window.
  explicit TForm5(const std::string &dump, QWidget *parent = nullptr);
  ~TForm5() override;

  TInsGradient *InsGradient1;
  QLabel *Label7, *Label8, *Label9, *Label10;
  QLineEdit *Edit1;           // start date
  QLineEdit *Edit2;           // start time
  QLineEdit *Edit8;           // rate text
  QToolButton *SpeedButton2;  // "GRAFICAR"
  QToolButton *SpeedButton1;  // "GUARDAR"
  QToolButton *SpeedButton3;  // "ABRIR"
  QToolButton *SpeedButton4;  // "EXPORTAR"
  QToolButton *SpeedButton5;  // "ESTADÍSTICAS"
  QToolButton *SpeedButton6;  // "INFORME"
  TStringGrid *StringGrid1;   // the data table; the graph window reads it
  // The six start fields, as hidden labels holding their integers.
  QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6;
  QFileDialog &SaveDialog1();    // made at first use
  QFileDialog &OpenDialog1();    // made at first use
  QFileDialog &ExportDialog1();  // made at first use
  TForm9 &StatisticsWindow();    // made at first use

  // Opens the graph window modally and returns when it is closed.
  std::function<void()> OnGraph;
  // Makes the PDF report of the records shown ("INFORME"); the program
  // hands it in, as it hands in the graph.
  std::function<void()> OnReport;
  // Told once per download, the first time it decodes whole: the table and
  // its record count. It must not throw.
  std::function<void(const TDataTable &table, int records)> OnDownloadDecoded;
  // The save dialog and the overwrite question. They show the real dialogs;
  // tests put their own answers here. An empty name means the user cancelled.
  std::function<QString(TForm5 &sender)> ExecuteSaveDialog;
  std::function<QMessageBox::StandardButton(TForm5 &sender, const QString &question)> AskQuestion;
  // The open dialog: the chosen file's name, empty when cancelled.
  std::function<QString(TForm5 &sender)> ExecuteOpenDialog;
  // The export dialog: the name, and the format and CSV style chosen.
  struct TExportChoice {
    QString Name;  // empty: cancelled
    TExportFormat Format = TExportFormat::Xlsx;
    TCsvStyle Style = TCsvStyle::Comma;
  };
  std::function<TExportChoice(TForm5 &sender)> ExecuteExportDialog;
  // The alarm limits of the logger the records shown belong to, if known
  // (the program asks its archive; the window knows none). The statistics
  // and the workbook count the alarm events with them.
  std::function<std::optional<TAlarmLimitSet>(const TForm5 &sender)> AlarmLimits;
  // Shows the statistics window modally; tests look at it instead.
  std::function<void(TForm9 &window)> ShowStatistics;
  // The question when the program closes with a download nobody saved:
  // Sí, No or Cancelar (Yes, No, Cancel).
  std::function<QMessageBox::StandardButton(TForm5 &sender, const QString &question)> AskUnsaved;

  // Handlers; the window calls them under the standard exception handler.
  void FormActivate();
  void SpeedButton1Click();  // save
  void SpeedButton2Click();  // graph
  void SpeedButton3Click();  // open a saved file
  void SpeedButton4Click();  // export
  void SpeedButton5Click();  // statistics
  void SpeedButton6Click();  // report

  // The column order GUARDAR writes the records in.
  std::vector<int> SavedColumnOrder() const;

  // Records shown: of the dump as it is now (negative when there are none),
  // or of the opened file.
  int RecordCount() const;

  // Shows the window for opening saved files when there is no download to
  // show: an empty grid, and "ABRIR".
  void ExecWithoutDownload();
  // The file shown instead of the download, if any.
  bool ShowsFile() const { return Opened_.has_value(); }
  const std::string &FileShown() const;

  // A download was received whole (its end mark came).
  bool DownloadEnded() const;
  // A download was received and has been neither saved nor exported.
  bool DownloadUnsaved() const;
  // Whether the program may close now: when a download would be lost, asks
  // whether to save it first (Sí saves it, Cancelar keeps the program open).
  bool CloseQuery();

  // The limits of the statistics (none at first).
  TStatLimits Limits;

protected:
  void showEvent(QShowEvent *event) override;

private:
  struct TOpenedFile {
    std::string Path;
    int Records = 0;
    std::vector<int> ColumnOrder;
    TDerivedStart Start;
  };

  void ShowHeader();
  void ShowFileHeader();
  void GraphClicked();
  void ThenActivate(void (TForm5::*handler)());
  bool SaveShown();
  bool MayWrite(const QString &name);
  TRecordsView Shown() const;
  std::optional<TAlarmLimitSet> ShownAlarmLimits() const;

  const std::string &Dump_;
  QFileDialog *SaveDialog1_ = nullptr;
  QFileDialog *OpenDialog1_ = nullptr;
  QFileDialog *ExportDialog1_ = nullptr;
  TForm9 *StatisticsWindow_ = nullptr;
  TDumpHeader Header_;
  std::optional<TOpenedFile> Opened_;
  bool WithoutDownload_ = false;
  // The dump as it was when last saved or exported.
  std::string SavedDump_;
  // The dump OnDownloadDecoded was last told of.
  std::string DecodedDump_;
};
