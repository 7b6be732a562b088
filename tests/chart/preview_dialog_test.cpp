#include "chart/chart.h"
#include "chart/chart_preview.h"
#include "chart/chart_print.h"
#include "runtime/exceptions.h"
#include "runtime/radio_group.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMouseEvent>
#include <QPageSize>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>

namespace {

// The dialog on a machine without printers, so every run sees the same
// page; driven through its handlers, never through its modal loop.
struct PreviewDialog : ::testing::Test {
  // Each test starts from no printer chosen yet, as a fresh run does.
  struct Fresh {
    Fresh() { CurrentPrinter().reset(); }
  } fresh;
  TChart chart;
  TChartPreview dialog;

  void SetUp() override {
    chart.resize(714, 441);
    dialog.ListPrinters = [] { return QStringList(); };
    dialog.SetImage(&chart);
  }
  void Open() { dialog.FormShow(); }
  void Type(QSpinBox *edit, int value) { edit->setValue(value); }  // fires the change handler
  TPrintMargins Margins() { return chart.PrintMargins(); }
};

TEST_F(PreviewDialog, ControlsAndCaption) {
  EXPECT_EQ(dialog.windowTitle(), "Chart Print Preview");
  EXPECT_EQ(dialog.Orientation->title(), "Paper Orientation:");
  EXPECT_EQ(dialog.Orientation->Item(0), "P&ortrait");
  EXPECT_EQ(dialog.Orientation->Item(1), "&Landscape");
  EXPECT_EQ(dialog.BReset->text(), "Reset &Margins");
  EXPECT_FALSE(dialog.BReset->isEnabled());
  EXPECT_EQ(dialog.ShowMargins->text(), "&View Margins");
  EXPECT_TRUE(dialog.ShowMargins->isChecked());
  EXPECT_EQ(dialog.CBProp->text(), "Proportional");
  EXPECT_EQ(dialog.Resolution->minimum(), -100);
  EXPECT_EQ(dialog.Resolution->maximum(), 0);
  EXPECT_EQ(dialog.BClose->text(), "Close");
  EXPECT_EQ(dialog.BPrint->text(), "&Print");
  EXPECT_EQ(dialog.BSetupPrinter->text(), "Printer &Setup...");
  EXPECT_EQ(dialog.GBMargins->title(), "Margins (%)");
  EXPECT_EQ(dialog.SETopMa->minimum(), 0);
  EXPECT_FALSE(dialog.SETopMa->wrapping());
}

TEST_F(PreviewDialog, OpeningSelectsLandscapeAndTakesTheChartSettings) {
  dialog.Printer().setPageOrientation(QPageLayout::Portrait);
  dialog.Orientation->SetItemIndex(0);
  chart.SetPrintProportional(false);
  chart.SetPrintResolution(-40);
  TPrintMargins m;
  m.Left = 5, m.Top = 6, m.Right = 7, m.Bottom = 8;
  chart.SetPrintMargins(m);
  Open();
  EXPECT_EQ(dialog.Orientation->ItemIndex(), 1);
  EXPECT_EQ(dialog.Printer().pageLayout().orientation(), QPageLayout::Landscape);
  EXPECT_FALSE(dialog.CBProp->isChecked());
  EXPECT_EQ(dialog.Resolution->value(), -40);
  EXPECT_EQ(Margins(), m);  // not proportional: kept as they were
  EXPECT_EQ(dialog.OpeningMargins(), m);
  EXPECT_EQ(dialog.SELeftMa->value(), 5);
  EXPECT_EQ(dialog.SETopMa->value(), 6);
  EXPECT_EQ(dialog.SERightMa->value(), 7);
  EXPECT_EQ(dialog.SEBotMa->value(), 8);
  EXPECT_FALSE(dialog.BReset->isEnabled());
}

TEST_F(PreviewDialog, NoPrinterPageIsThePdfFilesPageTurnedToTheOrientation) {
  Open();
  EXPECT_FALSE(dialog.HasPrinters());
  EXPECT_FALSE(dialog.Printers->isEnabled());
  EXPECT_EQ(dialog.Printer().outputFormat(), QPrinter::PdfFormat);
  const QSize page = dialog.PageSize();
  EXPECT_EQ(page, QSize(dialog.Printer().width(), dialog.Printer().height()));
  const QSizeF sheet = dialog.Printer().pageLayout().fullRectPoints().size();
  EXPECT_NEAR(double(page.width()) / page.height(), sheet.width() / sheet.height(), 0.01);
  EXPECT_GT(page.width(), page.height());
  EXPECT_EQ(dialog.PreviewPage->PageSize(), page);
  dialog.Orientation->SetItemIndex(0);  // the user clicks "Portrait"
  EXPECT_EQ(dialog.PageSize(), page.transposed());
  EXPECT_EQ(dialog.PreviewPage->PageSize(), page.transposed());
}

TEST_F(PreviewDialog, ProportionalMarginsFollowTheOrientation) {
  Open();
  const QSize page = dialog.PageSize();
  const TPrintMargins landscape = Margins();
  const int dpi = dialog.Printer().logicalDpiX();
  EXPECT_EQ(landscape, ProportionalMargins(chart.size(), page, dpi, dpi));
  EXPECT_EQ(landscape.Left, 15);
  dialog.Orientation->SetItemIndex(0);
  const TPrintMargins portrait = Margins();
  EXPECT_EQ(portrait, ProportionalMargins(chart.size(), page.transposed(), dpi, dpi));
  EXPECT_GT(portrait.Top, landscape.Top);
  // The new ones are the opening ones now: nothing to reset.
  EXPECT_EQ(dialog.OpeningMargins(), portrait);
  EXPECT_FALSE(dialog.BReset->isEnabled());
  EXPECT_EQ(dialog.SETopMa->value(), portrait.Top);
}

TEST_F(PreviewDialog, MarginsThatLeaveNoRoomAreRefused) {
  chart.SetPrintProportional(false);
  Open();
  Type(dialog.SEBotMa, 40);
  ASSERT_EQ(Margins().Bottom, 40);
  Type(dialog.SETopMa, 60);
  EXPECT_EQ(Margins().Top, 15);
  EXPECT_EQ(dialog.SETopMa->value(), 15);
  Type(dialog.SETopMa, 59);
  EXPECT_EQ(Margins().Top, 59);
  Type(dialog.SELeftMa, 85);
  EXPECT_EQ(dialog.SELeftMa->value(), 15);
  EXPECT_EQ(Margins().Left, 15);
}

TEST_F(PreviewDialog, ResetIsEnabledExactlyWhileMarginsDifferFromTheOpeningOnes) {
  Open();
  const TPrintMargins opening = Margins();
  Type(dialog.SELeftMa, 20);
  EXPECT_TRUE(dialog.BReset->isEnabled());
  Type(dialog.SELeftMa, opening.Left);
  EXPECT_FALSE(dialog.BReset->isEnabled());
  Type(dialog.SERightMa, 3);
  EXPECT_TRUE(dialog.BReset->isEnabled());
  dialog.BReset->click();
  EXPECT_EQ(Margins(), opening);
  EXPECT_EQ(dialog.SERightMa->value(), opening.Right);
  EXPECT_FALSE(dialog.BReset->isEnabled());
}

TEST_F(PreviewDialog, AMarginSetByHandSwitchesProportionalOffAndStaysForPrinting) {
  Open();
  ASSERT_TRUE(dialog.CBProp->isChecked());
  Type(dialog.SELeftMa, 25);
  EXPECT_FALSE(chart.PrintProportional());
  EXPECT_FALSE(dialog.CBProp->isChecked());
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  ChartPrinterRect(chart, printer);
  EXPECT_EQ(Margins().Left, 25);
  // Switched on again, the proportional ones come back.
  dialog.CBProp->setChecked(true);
  EXPECT_TRUE(chart.PrintProportional());
  EXPECT_EQ(Margins().Left, 15);
}

TEST_F(PreviewDialog, DraggingOnThePageUpdatesTheEditsAndSwitchesProportionalOff) {
  dialog.resize(551, 383);
  dialog.show();  // runs FormShow as opening does
  QApplication::processEvents();
  TChartPreviewPage &page = *dialog.PreviewPage;
  const QRect c = page.ChartRect();
  auto mouse = [&](QEvent::Type type, QPoint at) {
    QMouseEvent e(type, QPointF(at), page.mapToGlobal(QPointF(at)),
                  type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&page, &e);
  };
  const QPoint from(c.left() - 1, c.center().y());
  mouse(QEvent::MouseButtonPress, from);
  mouse(QEvent::MouseMove, from + QPoint(40, 0));
  mouse(QEvent::MouseButtonRelease, from + QPoint(40, 0));
  EXPECT_GT(Margins().Left, 15);
  EXPECT_EQ(dialog.SELeftMa->value(), Margins().Left);
  EXPECT_FALSE(dialog.CBProp->isChecked());
  EXPECT_FALSE(chart.PrintProportional());
  EXPECT_TRUE(dialog.BReset->isEnabled());
  dialog.BClose->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(PreviewDialog, DetailAndViewMarginsReachChartAndPage) {
  Open();
  dialog.Resolution->setValue(-100);
  EXPECT_EQ(chart.PrintResolution(), -100);
  dialog.ShowMargins->setChecked(false);
  EXPECT_FALSE(dialog.PreviewPage->ShowMargins());
}

TEST_F(PreviewDialog, PrinterSetupChoosesPaperAndOrientationAndTheRunKeepsThem) {
  Open();
  TPrinterSetup asked;
  dialog.RunPrinterSetup = [&](TPrinterSetup &s) {
    asked = s;
    s.Paper = QPageSize(QPageSize::A5);
    s.Orientation = QPageLayout::Portrait;
    return true;
  };
  dialog.BSetupPrinter->click();
  EXPECT_EQ(asked.Orientation, QPageLayout::Landscape);  // it starts from what the preview has
  EXPECT_TRUE(asked.Printer.isEmpty());                  // the PDF file
  EXPECT_EQ(dialog.Orientation->ItemIndex(), 0);
  EXPECT_TRUE(dialog.Printer().pageLayout().pageSize().isEquivalentTo(QPageSize(QPageSize::A5)));
  EXPECT_LE(dialog.PageSize().width(), dialog.PageSize().height());
  // Cancelled: nothing changes.
  dialog.RunPrinterSetup = [](TPrinterSetup &s) {
    s.Orientation = QPageLayout::Landscape;
    return false;
  };
  const TPrintMargins before = Margins();
  dialog.BSetupPrinter->click();
  EXPECT_EQ(dialog.Orientation->ItemIndex(), 0);
  EXPECT_EQ(Margins(), before);

  // The next preview of the run starts from that paper, turned to landscape
  // as every opening does.
  TChartPreview next;
  next.ListPrinters = [] { return QStringList(); };
  next.SetImage(&chart);
  next.FormShow();
  EXPECT_TRUE(next.Printer().pageLayout().pageSize().isEquivalentTo(QPageSize(QPageSize::A5)));
  EXPECT_EQ(next.Orientation->ItemIndex(), 1);
}

TEST(PrinterSetupDialog, SetsUpPrinterPaperAndOrientationWithoutPrinting) {
  TPrinterSetup current;
  current.Paper = QPageSize(QPageSize::Letter);
  TPrinterSetupDialog pdf({}, current);
  EXPECT_EQ(pdf.windowTitle(), "Printer Setup");
  EXPECT_FALSE(pdf.Name->isEnabled());
  EXPECT_EQ(pdf.OK->text(), "OK");
  for (QPushButton *b : pdf.findChildren<QPushButton *>())
    EXPECT_FALSE(b->text().contains("Print")) << b->text().toStdString();
  EXPECT_EQ(pdf.Size->currentText(), QPageSize(QPageSize::Letter).name());
  EXPECT_TRUE(pdf.Landscape->isChecked());
  pdf.Size->setCurrentIndex(pdf.Size->findText(QPageSize(QPageSize::A3).name()));
  pdf.Portrait->setChecked(true);
  const TPrinterSetup chosen = pdf.Setup();
  EXPECT_TRUE(chosen.Printer.isEmpty());
  EXPECT_TRUE(chosen.Paper.isEquivalentTo(QPageSize(QPageSize::A3)));
  EXPECT_EQ(chosen.Orientation, QPageLayout::Portrait);

  // A size the list lacks is offered as it is rather than swapped silently.
  current.Paper = QPageSize(QSizeF(100, 150), QPageSize::Millimeter);
  TPrinterSetupDialog custom({}, current);
  EXPECT_TRUE(custom.Setup().Paper.isEquivalentTo(current.Paper));
}

// A sheet known by several names is shown by the one it was chosen by, also
// when the setup is opened again.
TEST_F(PreviewDialog, PrinterSetupKeepsThePapersOwnName) {
  Open();
  for (const QPageSize &paper : {QPageSize(QSizeF(8.5, 11), QPageSize::Inch, "US Letter"), QPageSize(QPageSize::A4)}) {
    dialog.RunPrinterSetup = [&](TPrinterSetup &s) {  // chosen and accepted
      s.Paper = paper;
      return true;
    };
    dialog.BSetupPrinterClick();
    QString shown;
    dialog.RunPrinterSetup = [&](TPrinterSetup &s) {  // opened again
      shown = TPrinterSetupDialog({}, s).Size->currentText();
      return false;
    };
    dialog.BSetupPrinterClick();
    EXPECT_EQ(shown.toStdString(), paper.name().toStdString());
  }
}

TEST_F(PreviewDialog, APrinterThatVanishedFromTheSystemIsReportedNotReplaced) {
  // The list names printers the system no longer has: printing to some other
  // printer instead would be a silent surprise.
  TChartPreview d;
  d.ListPrinters = [] { return QStringList{"Desaparecida A", "Desaparecida B"}; };
  d.DefaultPrinterName = [] { return QString("Desaparecida B"); };
  d.SetImage(&chart);
  try {
    d.FormShow();
    FAIL() << "no failure reported";
  } catch (const Exception &e) {
    EXPECT_NE(e.Message().find("Desaparecida B"), std::string::npos) << e.Message();
  }
  EXPECT_EQ(d.Printers->count(), 2);
}

TEST(ChartPreviewFunction, ClosingTheDialogRepaintsTheChart) {
  TChart chart;
  chart.resize(300, 200);
  // The modal loop ends as soon as it starts, as a user pressing Close.
  bool closed = false;
  QTimer::singleShot(0, [&] {
    for (QWidget *w : QApplication::topLevelWidgets())
      if (auto *d = dynamic_cast<TChartPreview *>(w); d && d->isVisible()) {
        closed = true;
        d->BClose->click();
      }
  });
  ChartPreview(nullptr, chart);
  EXPECT_TRUE(closed);
  // The dialog is gone.
  for (QWidget *w : QApplication::topLevelWidgets()) EXPECT_EQ(dynamic_cast<TChartPreview *>(w), nullptr);
}

}  // namespace
