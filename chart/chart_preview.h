#pragma once

#include "chart/chart_parts.h"
#include "chart/chart_preview_page.h"
#include "chart/printer_setup.h"
#include "runtime/form.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPrinter;
class QPushButton;
class QScrollBar;
class QSpinBox;
class TChart;
class TRadioGroup;

enum TMarginSide { msLeft, msTop, msRight, msBottom };

// The chart's print preview: printer, paper orientation, the four margins
// (by number or by dragging on the page), detail and proportional margins,
// and printing. The margins, the proportional flag and the detail belong to
// the chart, so they stay with it after the dialog closes.
//
// Every handler is public so the dialog can be driven without its modal
// loop: construct it, SetImage, FormShow, then call the handlers.
class TChartPreview : public TForm {
public:
  explicit TChartPreview(QWidget *owner = nullptr);
  ~TChartPreview() override;

  void SetImage(TChart *chart);
  TChart *Image() const { return chart_; }

  // ---- controls
  QWidget *Panel1;
  QLabel *Label1;
  QComboBox *Printers;
  QPushButton *BSetupPrinter;
  QPushButton *BPrint;
  QPushButton *BClose;
  QWidget *Panel2;
  TRadioGroup *Orientation;
  QGroupBox *GBMargins;
  // Each margin edit carries its own up-down arrows (minimum 0, no wrap).
  QSpinBox *SETopMa, *SELeftMa, *SERightMa, *SEBotMa;
  QPushButton *BReset;
  QCheckBox *ShowMargins;
  QGroupBox *ChangeDetailGroup;
  QLabel *LabelMore, *LabelNormal;
  QScrollBar *Resolution;
  QCheckBox *CBProp;
  // Prints the chart's summary table under it.
  QCheckBox *CBSummary;
  TChartPreviewPage *PreviewPage;

  // ---- what the dialog asks the system for; tests replace them.
  // Names of the installed printers (none: printing writes a PDF file).
  std::function<QStringList()> ListPrinters;
  std::function<QString()> DefaultPrinterName;
  // Runs the printer setup dialog from the current choice; true when
  // accepted, with the new choice in `setup`.
  std::function<bool(TPrinterSetup &setup)> RunPrinterSetup;
  // The PDF file to print to when no printer is installed; empty: cancelled.
  std::function<QString()> AskPdfFileName;

  // ---- handlers
  void FormShow();
  void OrientationClick();
  void PrintersChange();
  void BSetupPrinterClick();
  void ResolutionChange();
  void ShowMarginsClick();
  void CBPropClick();
  void CBSummaryClick();
  void BResetClick();
  void BPrintClick();
  void BCloseClick();
  void MarginEditChange(TMarginSide side);

  // ---- state, for the handlers and their tests
  QPrinter &Printer() { return *printer_; }
  bool HasPrinters() const { return hasPrinters_; }
  TPrintMargins OpeningMargins() const { return opening_; }
  // The page in device pixels: the printer's, or the PDF file's when there is
  // no printer, so the preview shows the page that will come out.
  QSize PageSize() const;

protected:
  void showEvent(QShowEvent *e) override;

private:
  void BuildControls();
  void FillPrinters();
  void SelectPrinter(const QString &name);
  void ProportionalRecalc();
  void ShowOrientation();
  void MarginsToControls();
  void UpdateReset();
  void SetPropChecked(bool checked);
  void PageMarginsChanged();
  QSpinBox *Edit(TMarginSide side) const;
  void PrintToPdf();
  void Printed();

  TChart *chart_ = nullptr;
  // The run's current printer, shared by every preview.
  std::unique_ptr<QPrinter> &printer_;
  bool hasPrinters_ = false;
  TPrintMargins opening_;
  bool initialising_ = true;
  bool updatingMargins_ = false;
  bool updatingProp_ = false;
  bool showingOrientation_ = false;
};

// The graph window's "Imprimir": previews `chart` in a modal dialog owned
// by `owner`, then repaints the chart (also when the preview fails).
void ChartPreview(QWidget *owner, TChart &chart);
