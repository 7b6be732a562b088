#include "chart/chart_preview.h"

#include "chart/chart.h"
#include "chart/chart_print.h"
#include "runtime/application.h"
#include "runtime/exceptions.h"
#include "runtime/form_font.h"
#include "runtime/radio_group.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

int &Side(TPrintMargins &m, TMarginSide side) {
  switch (side) {
    case msLeft: return m.Left;
    case msTop: return m.Top;
    case msRight: return m.Right;
    case msBottom: break;
  }
  return m.Bottom;
}

TMarginSide Opposite(TMarginSide side) {
  switch (side) {
    case msLeft: return msRight;
    case msRight: return msLeft;
    case msTop: return msBottom;
    case msBottom: break;
  }
  return msTop;
}

// The hourglass for as long as a job is being made, also when it fails.
class TWaitCursor {
public:
  TWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
};

// Flags that keep a handler from answering the dialog's own changes.
class TGuard {
public:
  explicit TGuard(bool &flag) : flag_(flag), was_(flag) { flag_ = true; }
  ~TGuard() { flag_ = was_; }

private:
  bool &flag_;
  bool was_;
};

QString PdfTitle() { return QStringLiteral("Guardar la impresión como PDF"); }

}  // namespace

TChartPreview::TChartPreview(QWidget *owner) : TForm(owner), printer_(CurrentPrinter()) {
  setWindowTitle(QStringLiteral("Chart Print Preview"));
  // The preview's controls were laid out for this face; the desktop's wider
  // one cut "Paper Orientation:" short.
  setFont(FormFont("MS Sans Serif", 8));
  BuildControls();
  SetOuterSize(551, 383);
  CenterOnDesktop();

  ListPrinters = [] { return QPrinterInfo::availablePrinterNames(); };
  DefaultPrinterName = [] { return QPrinterInfo::defaultPrinterName(); };
  RunPrinterSetup = [this](TPrinterSetup &setup) {
    TPrinterSetupDialog dialog(hasPrinters_ && ListPrinters ? ListPrinters() : QStringList(), setup, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    setup = dialog.Setup();
    return true;
  };
  AskPdfFileName = [this] {
    return QFileDialog::getSaveFileName(this, PdfTitle(), QStringLiteral("grafico.pdf"),
                                        QStringLiteral("Documentos PDF (*.pdf)"));
  };
  if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
}

TChartPreview::~TChartPreview() = default;

void TChartPreview::BuildControls() {
  auto *outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);

  Panel1 = new QWidget(this);
  Panel1->setFixedHeight(38);
  Label1 = new QLabel(QStringLiteral("P&rinter:"), Panel1);
  Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  Label1->setGeometry(4, 9, 52, 21);
  Printers = new QComboBox(Panel1);
  Printers->setGeometry(60, 8, 195, 23);
  Label1->setBuddy(Printers);
  BSetupPrinter = new QPushButton(QStringLiteral("Printer &Setup..."), Panel1);
  BSetupPrinter->setGeometry(262, 7, 108, 25);
  BPrint = new QPushButton(QStringLiteral("&Print"), Panel1);
  BPrint->setGeometry(376, 7, 75, 25);
  BClose = new QPushButton(QStringLiteral("Close"), Panel1);
  BClose->setGeometry(457, 7, 75, 25);
  BClose->setDefault(true);
  outer->addWidget(Panel1);

  auto *row = new QHBoxLayout;
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  outer->addLayout(row, 1);

  Panel2 = new QWidget(this);
  Panel2->setFixedWidth(112);
  row->addWidget(Panel2);

  Orientation = new TRadioGroup(Panel2);
  Orientation->setTitle(QStringLiteral("Paper Orientation:"));
  Orientation->setGeometry(4, 2, 104, 62);
  Orientation->SetItems({QStringLiteral("P&ortrait"), QStringLiteral("&Landscape")});
  Orientation->SetItemIndex(1);

  GBMargins = new QGroupBox(QStringLiteral("Margins (%)"), Panel2);
  GBMargins->setGeometry(4, 66, 104, 100);
  auto edit = [&](int x, int y) {
    auto *e = new QSpinBox(GBMargins);
    e->setRange(0, 100);
    e->setWrapping(false);
    e->setValue(0);
    e->setGeometry(x, y, 48, 22);
    return e;
  };
  SETopMa = edit(28, 18);
  SELeftMa = edit(3, 44);
  SERightMa = edit(53, 44);
  SEBotMa = edit(28, 70);

  BReset = new QPushButton(QStringLiteral("Reset &Margins"), Panel2);
  BReset->setGeometry(4, 170, 104, 25);
  BReset->setEnabled(false);

  ShowMargins = new QCheckBox(QStringLiteral("&View Margins"), Panel2);
  ShowMargins->setGeometry(6, 198, 102, 20);
  ShowMargins->setChecked(true);

  ChangeDetailGroup = new QGroupBox(QStringLiteral("Detail:"), Panel2);
  ChangeDetailGroup->setGeometry(4, 220, 104, 56);
  LabelMore = new QLabel(QStringLiteral("More"), ChangeDetailGroup);
  LabelMore->setGeometry(6, 16, 40, 16);
  LabelNormal = new QLabel(QStringLiteral("Normal"), ChangeDetailGroup);
  LabelNormal->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  LabelNormal->setGeometry(50, 16, 48, 16);
  Resolution = new QScrollBar(Qt::Horizontal, ChangeDetailGroup);
  Resolution->setRange(-100, 0);
  Resolution->setPageStep(0);
  Resolution->setSingleStep(1);
  Resolution->setValue(0);
  Resolution->setGeometry(6, 34, 92, 16);

  CBProp = new QCheckBox(QStringLiteral("Proportional"), Panel2);
  CBProp->setGeometry(6, 280, 102, 20);
  CBProp->setChecked(true);

  CBSummary = new QCheckBox(QStringLiteral("Incluir resumen"), Panel2);
  CBSummary->setGeometry(6, 299, 102, 18);  // the last row the panel has
  CBSummary->setEnabled(false);

  PreviewPage = new TChartPreviewPage(this);
  row->addWidget(PreviewPage, 1);

  // Handlers run under the standard handler; those that answer value
  // changes ignore the dialog's own updates through the guard flags.
  auto run = [](const std::function<void()> &f) { return [f](auto &&...) { RunHandler(f); }; };
  connect(Printers, &QComboBox::activated, this, run([this] { PrintersChange(); }));
  connect(BSetupPrinter, &QPushButton::clicked, this, run([this] { BSetupPrinterClick(); }));
  connect(BPrint, &QPushButton::clicked, this, run([this] { BPrintClick(); }));
  connect(BClose, &QPushButton::clicked, this, run([this] { BCloseClick(); }));
  connect(BReset, &QPushButton::clicked, this, run([this] { BResetClick(); }));
  connect(ShowMargins, &QCheckBox::toggled, this, run([this] { ShowMarginsClick(); }));
  connect(CBProp, &QCheckBox::toggled, this, run([this] { CBPropClick(); }));
  connect(CBSummary, &QCheckBox::toggled, this, run([this] { CBSummaryClick(); }));
  connect(Resolution, &QScrollBar::valueChanged, this, run([this] { ResolutionChange(); }));
  connect(SELeftMa, &QSpinBox::valueChanged, this, run([this] { MarginEditChange(msLeft); }));
  connect(SETopMa, &QSpinBox::valueChanged, this, run([this] { MarginEditChange(msTop); }));
  connect(SERightMa, &QSpinBox::valueChanged, this, run([this] { MarginEditChange(msRight); }));
  connect(SEBotMa, &QSpinBox::valueChanged, this, run([this] { MarginEditChange(msBottom); }));
  Orientation->OnClick = [this](QObject *) { OrientationClick(); };
  PreviewPage->OnMarginsChanged = [this](TChartPreviewPage &) { PageMarginsChanged(); };
}

void TChartPreview::SetImage(TChart *chart) {
  chart_ = chart;
  PreviewPage->SetImage(chart);
}

QSpinBox *TChartPreview::Edit(TMarginSide side) const {
  switch (side) {
    case msLeft: return SELeftMa;
    case msTop: return SETopMa;
    case msRight: return SERightMa;
    case msBottom: break;
  }
  return SEBotMa;
}

QSize TChartPreview::PageSize() const { return QSize(printer_->width(), printer_->height()); }

void TChartPreview::showEvent(QShowEvent *e) {
  TForm::showEvent(e);
  RunHandler([this] { FormShow(); });
}

void TChartPreview::FormShow() {
  initialising_ = true;
  while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
  FillPrinters();
  // Every opening starts in landscape, whatever the printer was set to.
  printer_->setPageOrientation(QPageLayout::Landscape);
  if (chart_) {
    SetPropChecked(chart_->PrintProportional());
    Resolution->setValue(chart_->PrintResolution());
    opening_ = chart_->PrintMargins();
    // Only a chart that has a summary to give can print one.
    TGuard guard(updatingProp_);
    CBSummary->setEnabled(static_cast<bool>(chart_->PrintSummarySource));
    CBSummary->setChecked(chart_->PrintSummary());
  }
  ProportionalRecalc();
  initialising_ = false;
}

void TChartPreview::FillPrinters() {
  const QStringList names = ListPrinters ? ListPrinters() : QStringList();
  // The printer chosen earlier in this run stays chosen while it is there.
  const QString current = printer_->outputFormat() == QPrinter::NativeFormat ? printer_->printerName() : QString();
  hasPrinters_ = !names.isEmpty();
  Printers->clear();
  if (!hasPrinters_) {
    // Nothing installed: printing writes a PDF file, and the list says so.
    Printers->addItem(QStringLiteral("(sin impresora: archivo PDF)"));
    Printers->setEnabled(false);
    if (printer_->outputFormat() != QPrinter::PdfFormat) {
      // The file takes the paper the vanished printer had.
      const QPageLayout layout = printer_->pageLayout();
      printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
      printer_->setOutputFormat(QPrinter::PdfFormat);
      printer_->setPageLayout(layout);
    }
    // A file has no edge a printer cannot reach: the page is the whole sheet,
    // as the preview shows it. The run's first printer is a PDF one already
    // (Qt's own choice with nothing installed) and came with the margins of a
    // printer, which made the preview's page a shape the sheet is not.
    printer_->setFullPage(true);
    return;
  }
  Printers->setEnabled(true);
  Printers->addItems(names);
  QString want = current;
  if (!names.contains(want)) want = DefaultPrinterName ? DefaultPrinterName() : QString();
  if (!names.contains(want)) want = names.first();
  if (printer_->outputFormat() != QPrinter::NativeFormat || printer_->printerName() != want) SelectPrinter(want);
  Printers->setCurrentIndex(static_cast<int>(names.indexOf(want)));
}

void TChartPreview::SelectPrinter(const QString &name) {
  // Each printer comes with its own settings, as the system keeps them.
  const QPrinterInfo info = QPrinterInfo::printerInfo(name);
  if (info.isNull()) throw Exception("La impresora \"" + name.toStdString() + "\" ya no está instalada.");
  printer_ = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}

void TChartPreview::ShowOrientation() {
  TGuard guard(showingOrientation_);
  Orientation->SetItemIndex(printer_->pageLayout().orientation() == QPageLayout::Landscape ? 1 : 0);
}

void TChartPreview::SetPropChecked(bool checked) {
  TGuard guard(updatingProp_);
  CBProp->setChecked(checked);
}

void TChartPreview::MarginsToControls() {
  if (!chart_) return;
  // All four at once: one by one, a refusal could see a new top beside an
  // old bottom.
  TGuard guard(updatingMargins_);
  const TPrintMargins m = chart_->PrintMargins();
  SELeftMa->setValue(m.Left);
  SETopMa->setValue(m.Top);
  SERightMa->setValue(m.Right);
  SEBotMa->setValue(m.Bottom);
}

void TChartPreview::UpdateReset() { BReset->setEnabled(chart_ && chart_->PrintMargins() != opening_); }

void TChartPreview::ProportionalRecalc() {
  const QSize page = PageSize();
  if (chart_ && chart_->PrintProportional()) {
    // The same page and resolutions printing will use, so printing finds
    // the margins the preview shows.
    const TPrintMargins m = ChartProportionalMargins(*chart_, page, printer_->logicalDpiX(), printer_->logicalDpiY());
    chart_->SetPrintMargins(m);
    opening_ = m;
  }
  ShowOrientation();
  MarginsToControls();
  UpdateReset();
  PreviewPage->SetPageSize(page);
  PreviewPage->Invalidate();
}

void TChartPreview::OrientationClick() {
  if (showingOrientation_) return;
  printer_->setPageOrientation(Orientation->ItemIndex() == 0 ? QPageLayout::Portrait : QPageLayout::Landscape);
  ProportionalRecalc();
}

void TChartPreview::PrintersChange() {
  if (!hasPrinters_) return;
  const int index = Printers->currentIndex();
  if (index < 0) return;
  SelectPrinter(Printers->itemText(index));
  ShowOrientation();
  OrientationClick();
}

void TChartPreview::BSetupPrinterClick() {
  const QPageLayout layout = printer_->pageLayout();
  TPrinterSetup setup;
  setup.Printer = hasPrinters_ ? printer_->printerName() : QString();
  setup.Paper = layout.pageSize();
  setup.Orientation = layout.orientation();
  if (!RunPrinterSetup || !RunPrinterSetup(setup)) return;
  if (hasPrinters_ && !setup.Printer.isEmpty() && setup.Printer != printer_->printerName())
    SelectPrinter(setup.Printer);
  if (!printer_->setPageSize(setup.Paper))
    throw Exception("La impresora no admite el papel " + setup.Paper.name().toStdString() + ".");
  printer_->setPageOrientation(setup.Orientation);
  FillPrinters();
  // The paper may have changed along with the orientation.
  ProportionalRecalc();
}

void TChartPreview::ResolutionChange() {
  if (!chart_) return;
  chart_->SetPrintResolution(Resolution->value());
  PreviewPage->Invalidate();
}

void TChartPreview::ShowMarginsClick() { PreviewPage->SetShowMargins(ShowMargins->isChecked()); }

void TChartPreview::CBPropClick() {
  if (updatingProp_ || !chart_) return;
  chart_->SetPrintProportional(CBProp->isChecked());
  ProportionalRecalc();
}

void TChartPreview::CBSummaryClick() {
  if (updatingProp_ || !chart_) return;
  chart_->SetPrintSummary(CBSummary->isChecked());
  // The picture changed shape: proportional margins follow it.
  ProportionalRecalc();
}

void TChartPreview::BResetClick() {
  if (!chart_) return;
  chart_->SetPrintMargins(opening_);
  MarginsToControls();
  BReset->setEnabled(false);
  PreviewPage->Invalidate();
}

void TChartPreview::MarginEditChange(TMarginSide side) {
  if (initialising_ || updatingMargins_ || !chart_) return;
  TPrintMargins m = chart_->PrintMargins();
  const int p = Edit(side)->value();
  if (p + Side(m, Opposite(side)) >= 100) {
    // The two would leave no room for the chart: back to what it was.
    TGuard guard(updatingMargins_);
    Edit(side)->setValue(Side(m, side));
    return;
  }
  if (p == Side(m, side)) return;
  Side(m, side) = p;
  chart_->SetPrintMargins(m);
  // A margin set by hand is kept as it is: printing would otherwise work the
  // proportional ones out again and throw it away.
  if (chart_->PrintProportional()) {
    chart_->SetPrintProportional(false);
    SetPropChecked(false);
  }
  PreviewPage->Invalidate();
  UpdateReset();
}

void TChartPreview::PageMarginsChanged() {
  MarginsToControls();
  SetPropChecked(false);
  UpdateReset();
}

void TChartPreview::BPrintClick() {
  if (!chart_) return;
  if (!hasPrinters_) {
    PrintToPdf();
    return;
  }
  {
    TWaitCursor wait;
    PrintChart(*chart_, *printer_, PreviewPage->AsBitmap());
  }
  Printed();
}

void TChartPreview::Printed() {
  // Printing works proportional margins out again, for the page the preview
  // already shows: they are the opening ones, as they were.
  if (chart_->PrintProportional()) opening_ = chart_->PrintMargins();
  MarginsToControls();
  UpdateReset();
  PreviewPage->Invalidate();
}

void TChartPreview::PrintToPdf() {
  QString name = AskPdfFileName ? AskPdfFileName() : QString();
  if (name.isEmpty()) return;  // the user changed their mind
  if (QFileInfo(name).suffix().isEmpty()) name += QStringLiteral(".pdf");
  printer_->setOutputFormat(QPrinter::PdfFormat);
  printer_->setOutputFileName(name);
  {
    TWaitCursor wait;
    PrintChart(*chart_, *printer_, PreviewPage->AsBitmap());
  }
  Printed();
}

void TChartPreview::BCloseClick() { accept(); }

void ChartPreview(QWidget *owner, TChart &chart) {
  struct TRepaint {
    TChart &Chart;
    ~TRepaint() { Chart.Invalidate(); }
  } repaint{chart};
  auto dialog = std::make_unique<TChartPreview>(owner);
  dialog->SetImage(&chart);
  dialog->exec();
}
