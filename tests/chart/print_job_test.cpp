#include "chart/chart.h"
#include "chart/chart_preview.h"
#include "chart/chart_print.h"
#include "runtime/exceptions.h"
#include "runtime/radio_group.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTransform>

#include <algorithm>
#include <stdexcept>

namespace {

const QString kQueue = QStringLiteral("TalvexPDF");

// A chart whose whole panel is one flat colour, so its place on a printed
// page is easy to measure.
void FlatChart(TChart &chart) {
  chart.resize(714, 441);
  chart.SetColor(QColor(255, 255, 0));
  chart.SetBevelOuter(bvNone);
  chart.SetPrintProportional(false);
  TPrintMargins m;
  m.Left = 10, m.Top = 20, m.Right = 30, m.Bottom = 15;
  chart.SetPrintMargins(m);
  TLineSeries &s = chart.AddSeries();
  s.SetSeriesColor(Qt::red);
  for (int i = 0; i < 50; ++i) s.Add(i % 7, QString(), Qt::red);
}

// The first page of a PDF as an image, through pdftoppm; null when the tool
// is missing or the file is not a PDF.
QImage PdfPage(const QString &pdf, const QString &dir, int dpi = 40) {
  if (QStandardPaths::findExecutable("pdftoppm").isEmpty()) return QImage();
  const QString base = dir + "/page";
  QFile::remove(base + ".png");
  QProcess tool;
  tool.setProcessChannelMode(QProcess::MergedChannels);  // its font warnings are of no interest
  tool.start("pdftoppm", {"-r", QString::number(dpi), "-png", "-singlefile", pdf, base});
  if (!tool.waitForFinished(60000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
    return QImage();
  return QImage(base + ".png");
}

// Where the non-white ink of a page lies, as fractions of the page.
QRectF InkBox(const QImage &img) {
  int l = img.width(), t = img.height(), r = -1, b = -1;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const QColor c = img.pixelColor(x, y);
      if (c.red() > 235 && c.green() > 235 && c.blue() > 235) continue;
      l = std::min(l, x), r = std::max(r, x), t = std::min(t, y), b = std::max(b, y);
    }
  if (r < 0) return QRectF();
  return QRectF(double(l) / img.width(), double(t) / img.height(), double(r - l + 1) / img.width(),
                double(b - t + 1) / img.height());
}

// Where the chart should be, as fractions of the whole sheet: the margins
// are taken inside the printable area the printer gives.
QRectF ExpectedBox(const QPrinter &printer, const TPrintMargins &m) {
  const QRectF full = printer.pageLayout().fullRectPoints();
  const QRectF paint = printer.pageLayout().paintRectPoints();
  const double l = paint.left() + paint.width() * m.Left / 100.0;
  const double r = paint.left() + paint.width() * (100 - m.Right) / 100.0;
  const double t = paint.top() + paint.height() * m.Top / 100.0;
  const double b = paint.top() + paint.height() * (100 - m.Bottom) / 100.0;
  return QRectF(l / full.width(), t / full.height(), (r - l) / full.width(), (b - t) / full.height());
}

void ExpectSameBox(const QRectF &got, const QRectF &want) {
  constexpr double tol = 0.02;
  EXPECT_NEAR(got.left(), want.left(), tol);
  EXPECT_NEAR(got.top(), want.top(), tol);
  EXPECT_NEAR(got.right(), want.right(), tol);
  EXPECT_NEAR(got.bottom(), want.bottom(), tol);
}

bool IsYellow(const QColor &c) { return c.red() > 200 && c.green() > 200 && c.blue() < 80; }

TEST(PrintToPdfFile, TheChartLandsInsideTheMargins) {
  QTemporaryDir dir;
  TChart chart;
  FlatChart(chart);
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setPageOrientation(QPageLayout::Landscape);
  printer.setOutputFileName(dir.filePath("grafico.pdf"));
  PrintChart(chart, printer);
  EXPECT_FALSE(chart.Printing());
  QFile f(dir.filePath("grafico.pdf"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(f.read(5).startsWith("%PDF"));
  const QImage page = PdfPage(f.fileName(), dir.path());
  if (page.isNull()) GTEST_SKIP() << "pdftoppm is not installed (poppler-utils): the page cannot be looked at";
  EXPECT_GT(page.width(), page.height());  // landscape
  ExpectSameBox(InkBox(page), ExpectedBox(printer, chart.PrintMargins()));
  const QRectF box = InkBox(page);
  EXPECT_TRUE(
      IsYellow(page.pixelColor(int((box.left() + 0.01) * page.width()), int((box.top() + 0.01) * page.height()))));
}

TEST(RunPrintJob, AFailingDrawingLeavesNoPageBehind) {
  QTemporaryDir dir;
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(dir.filePath("roto.pdf"));
  // Fails at once: the job never starts.
  EXPECT_THROW(RunPrintJob(printer, "roto", [](QPainter &) { throw Exception("sin tinta"); }), Exception);
  EXPECT_FALSE(QFile::exists(dir.filePath("roto.pdf")));
  // Fails only on the page itself: the job is given up and nothing that
  // looks finished stays.
  int calls = 0;
  try {
    RunPrintJob(printer, "roto", [&](QPainter &p) {
      p.drawLine(0, 0, 100, 100);
      if (++calls == 2) throw Exception("sin papel");
    });
    FAIL() << "the failure was swallowed";
  } catch (const Exception &e) {
    EXPECT_EQ(e.Message(), "sin papel");
  }
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(QFile::exists(dir.filePath("roto.pdf")));
}

TEST(RunPrintJob, AFileThatCannotBeWrittenIsReported) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName("/nonexistent-folder/x.pdf");
  try {
    RunPrintJob(printer, "x", [](QPainter &) {});
    FAIL() << "reported as printed";
  } catch (const Exception &e) {
    EXPECT_NE(e.Message().find("/nonexistent-folder/x.pdf"), std::string::npos) << e.Message();
  }
}

// The dialog on a machine without printers writes the PDF file the user names.
TEST(PreviewWithoutPrinter, PrintWritesTheNamedPdf) {
  CurrentPrinter().reset();
  QTemporaryDir dir;
  TChart chart;
  FlatChart(chart);
  TChartPreview dialog;
  dialog.ListPrinters = [] { return QStringList(); };
  dialog.SetImage(&chart);
  dialog.FormShow();
  // Cancelled: nothing written, nothing reported.
  dialog.AskPdfFileName = [] { return QString(); };
  dialog.BPrintClick();
  EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());

  dialog.AskPdfFileName = [&] { return dir.filePath("informe"); };
  dialog.BPrintClick();
  const QString pdf = dir.filePath("informe.pdf");
  ASSERT_TRUE(QFile::exists(pdf));
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);  // the hourglass is gone
  const QImage page = PdfPage(pdf, dir.path());
  if (page.isNull()) GTEST_SKIP() << "pdftoppm is not installed (poppler-utils)";
  ExpectSameBox(InkBox(page), ExpectedBox(dialog.Printer(), chart.PrintMargins()));
}

// Without a printer the preview shows the PDF's own page: printing moves no
// margin, lights no "Reset Margins", and the chart lands on the PDF where
// the preview put it, with proportional margins and with typed ones.
TEST(PreviewWithoutPrinter, ThePdfIsThePageThePreviewShows) {
  CurrentPrinter().reset();
  QTemporaryDir dir;
  TChart chart;
  FlatChart(chart);
  chart.SetPrintProportional(true);
  TChartPreview dialog;
  dialog.ListPrinters = [] { return QStringList(); };
  dialog.SetImage(&chart);
  dialog.PreviewPage->resize(440, 345);
  dialog.FormShow();
  auto fractions = [&] {
    const QRectF paper = dialog.PreviewPage->PaperRect(), c = dialog.PreviewPage->ChartRect();
    return QRectF((c.left() - paper.left()) / paper.width(), (c.top() - paper.top()) / paper.height(),
                  c.width() / paper.width(), c.height() / paper.height());
  };
  int run = 0;
  auto printAndCompare = [&] {
    const TPrintMargins before = chart.PrintMargins();
    const bool reset = dialog.BReset->isEnabled();
    const QRectF shown = fractions();
    const QRect paper = dialog.PreviewPage->PaperRect();
    QString pdf = dir.filePath(QString("pagina%1.pdf").arg(++run));
    dialog.AskPdfFileName = [&] { return pdf; };
    dialog.BPrintClick();
    EXPECT_EQ(chart.PrintMargins(), before);
    EXPECT_EQ(dialog.BReset->isEnabled(), reset);
    EXPECT_EQ(dialog.PreviewPage->PaperRect(), paper);
    const QImage page = PdfPage(pdf, dir.path());
    if (page.isNull()) return;
    EXPECT_NEAR(double(page.width()) / page.height(), double(paper.width()) / paper.height(), 0.02);
    ExpectSameBox(InkBox(page), shown);
  };
  ASSERT_FALSE(dialog.BReset->isEnabled());
  printAndCompare();
  dialog.SELeftMa->setValue(25);
  dialog.SEBotMa->setValue(30);
  printAndCompare();
  if (QStandardPaths::findExecutable("pdftoppm").isEmpty()) GTEST_SKIP() << "pdftoppm is not installed (poppler-utils)";
}

TEST(PreviewWithoutPrinter, AFailedPrintIsReportedAndTheHourglassGoes) {
  CurrentPrinter().reset();
  TChart chart;
  FlatChart(chart);
  TChartPreview dialog;
  dialog.ListPrinters = [] { return QStringList(); };
  dialog.SetImage(&chart);
  dialog.FormShow();
  dialog.AskPdfFileName = [] { return QString("/nonexistent-folder/informe.pdf"); };
  EXPECT_THROW(dialog.BPrintClick(), Exception);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(chart.Printing());
}

// ---- the real print queue (CUPS with its PDF printer)

// Where cups-pdf puts what it prints for us: the submitting user's ~/PDF, or
// its spool folder for users it does not know.
QStringList CupsPdfFolders() {
  return {QDir::homePath() + "/PDF", "/var/spool/cups-pdf/ANONYMOUS",
          "/var/spool/cups-pdf/" + qEnvironmentVariable("USER")};
}

QString WaitForCupsPdf(const QString &title, int seconds) {
  QElapsedTimer clock;
  clock.start();
  QString found;
  qint64 lastSize = -1;
  while (clock.elapsed() < seconds * 1000) {
    for (const QString &folder : CupsPdfFolders()) {
      const QFileInfoList files = QDir(folder).entryInfoList({title + "*.pdf"}, QDir::Files);
      if (!files.isEmpty()) found = files.first().absoluteFilePath();
    }
    if (!found.isEmpty()) {
      // Finished when its size has settled.
      const qint64 size = QFileInfo(found).size();
      if (size > 0 && size == lastSize) return found;
      lastSize = size;
    }
    QThread::msleep(250);
  }
  return found;
}

TEST(PrintOnCupsQueue, TheJobGoesThroughTheQueueAndComesOutAsAPdf) {
  if (!QPrinterInfo::availablePrinterNames().contains(kQueue))
    GTEST_SKIP() << "no CUPS queue " << kQueue.toStdString()
                 << " (scripts/start-cups.sh brings one up): the real printer is not tested";
  QTemporaryDir dir;
  TChart chart;
  FlatChart(chart);
  const QString title = QStringLiteral("TalvexPrueba%1").arg(QDateTime::currentMSecsSinceEpoch());
  chart.setObjectName(title);

  CurrentPrinter().reset();
  TChartPreview dialog;
  dialog.SetImage(&chart);
  dialog.FormShow();
  ASSERT_TRUE(dialog.HasPrinters());
  const int index = dialog.Printers->findText(kQueue);
  ASSERT_GE(index, 0) << "the queue is not in the printer list";
  dialog.Printers->setCurrentIndex(index);
  dialog.PrintersChange();
  EXPECT_EQ(dialog.Printer().printerName(), kQueue);
  dialog.Orientation->SetItemIndex(1);  // the user picks "Landscape" for this printer
  EXPECT_EQ(dialog.Printer().pageLayout().orientation(), QPageLayout::Landscape);
  dialog.BPrintClick();

  const QString pdf = WaitForCupsPdf(title, 90);
  ASSERT_FALSE(pdf.isEmpty()) << "no PDF came out of the queue in " << CupsPdfFolders().join(", ").toStdString();
  QImage page = PdfPage(pdf, dir.path());
  QFile::remove(pdf);
  if (page.isNull()) GTEST_SKIP() << "pdftoppm is not installed (poppler-utils)";
  // The printer makes a landscape job the way paper takes it: an upright
  // sheet with the picture turned a quarter to the left (the chart's foot on
  // the sheet's right). Turned back, it must be our landscape page.
  if (page.height() > page.width()) page = page.transformed(QTransform().rotate(90));
  ExpectSameBox(InkBox(page), ExpectedBox(dialog.Printer(), chart.PrintMargins()));
}

}  // namespace

namespace {

// The printer and paper chosen in one preview are where the next preview of
// the run starts, whatever the system's default is.
TEST(PrintOnCupsQueue, TheChosenPrinterAndPaperStayForTheRun) {
  if (!QPrinterInfo::availablePrinterNames().contains(kQueue)) GTEST_SKIP() << "no CUPS queue " << kQueue.toStdString();
  CurrentPrinter().reset();
  TChart chart;
  FlatChart(chart);
  {
    TChartPreview first;
    first.DefaultPrinterName = [] { return QString(); };
    first.SetImage(&chart);
    first.FormShow();
    first.Printers->setCurrentIndex(first.Printers->findText(kQueue));
    first.PrintersChange();
    first.RunPrinterSetup = [](TPrinterSetup &s) {
      s.Paper = QPageSize(QPageSize::A5);
      return true;
    };
    first.BSetupPrinterClick();
  }
  TChartPreview next;
  next.DefaultPrinterName = [] { return QString("otra"); };
  next.SetImage(&chart);
  next.FormShow();
  EXPECT_EQ(next.Printer().printerName(), kQueue);
  EXPECT_EQ(next.Printers->currentText(), kQueue);
  EXPECT_TRUE(next.Printer().pageLayout().pageSize().isEquivalentTo(QPageSize(QPageSize::A5)));
}

}  // namespace

namespace {

QString PdfText(const QString &pdf) {
  if (QStandardPaths::findExecutable("pdftotext").isEmpty()) return QString();
  QProcess tool;
  tool.start("pdftotext", {"-layout", pdf, "-"});
  if (!tool.waitForFinished(60000) || tool.exitCode() != 0) return QString();
  return QString::fromUtf8(tool.readAllStandardOutput());
}

// "Incluir resumen": the table goes under the chart on the page and in the
// PDF, the proportional margins make room for it, and a chart without a
// summary to give cannot ask for one.
TEST(PreviewWithoutPrinter, TheSummaryTableIsPrintedUnderTheChart) {
  CurrentPrinter().reset();
  QTemporaryDir dir;
  TChart chart;
  FlatChart(chart);
  chart.SetPrintProportional(true);
  TChartPreview dialog;
  dialog.ListPrinters = [] { return QStringList(); };
  dialog.SetImage(&chart);
  dialog.FormShow();
  EXPECT_FALSE(dialog.CBSummary->isEnabled());
  EXPECT_EQ(dialog.CBSummary->text(), QString::fromUtf8("Incluir resumen"));

  chart.PrintSummarySource = [] {
    TPrintSummary s;
    s.Heading = {QString::fromUtf8("Inicio: 08/12/2026 10:00:00   Intervalo: 1 minuto   Registros: 3")};
    s.Columns = {"Canal", QString::fromUtf8("Mínimo"), "Fecha y hora", QString::fromUtf8("Máximo"), "Fecha y hora",
                 "Media"};
    s.Rows = {{"CANAL1", "-12,5", "08/12/2026 10:01:00", "31,0", "08/12/2026 10:02:00", "9,3"},
              {"CANAL7", "20,0", "08/12/2026 10:00:00", "20,0", "08/12/2026 10:00:00", "20,0"}};
    s.RowColors = {Qt::red, QColor(255, 0, 255)};
    return s;
  };
  dialog.FormShow();
  ASSERT_TRUE(dialog.CBSummary->isEnabled());
  const TPrintMargins alone = chart.PrintMargins();
  dialog.CBSummary->setChecked(true);
  EXPECT_TRUE(chart.PrintSummary());
  EXPECT_GT(chart.PrintPictureSize().height(), chart.height());
  // The margins give chart and table together their shape on the page.
  EXPECT_NE(chart.PrintMargins(), alone);
  const QRect on = MarginRect(QRect(QPoint(), dialog.PageSize()), chart.PrintMargins());
  const QSize picture = chart.PrintPictureSize();
  EXPECT_NEAR(double(on.width()) / on.height(), double(picture.width()) / picture.height(), 0.03);

  QString pdf = dir.filePath("resumen.pdf");
  dialog.AskPdfFileName = [&] { return pdf; };
  dialog.BPrintClick();
  ASSERT_TRUE(QFile::exists(pdf));
  const QString text = PdfText(pdf);
  if (text.isEmpty()) GTEST_SKIP() << "pdftotext is not installed (poppler-utils)";
  for (const char *want : {"Registros: 3", "Fecha y hora", "CANAL1", "-12,5", "08/12/2026 10:02:00", "CANAL7", "Media"})
    EXPECT_TRUE(text.contains(QString::fromUtf8(want))) << want << "\n" << text.toStdString();
  EXPECT_TRUE(text.contains(QString::fromUtf8("Mínimo"))) << text.toStdString();
  // The table lies under the chart's title.
  EXPECT_LT(text.indexOf("CANAL1"), text.size());
  dialog.CBSummary->setChecked(false);
  EXPECT_EQ(chart.PrintPictureSize(), chart.size());
}

}  // namespace

namespace {

// The preview without a printer shows the sheet itself: its page has the
// PDF sheet's shape, and chart and summary table land where the page shows
// them, every margin at 15 % or more however many rows the table has.
TEST(PreviewWithoutPrinter, WhatThePageShowsIsWhereTheSheetIsPrinted) {
  CurrentPrinter().reset();
  QTemporaryDir dir;
  TChart chart;
  FlatChart(chart);
  chart.SetPrintProportional(true);
  chart.PrintSummarySource = [] {
    TPrintSummary s;
    s.Heading = {QStringLiteral("Inicio: 08/12/2026 10:00:00   Intervalo: 1 minuto   Registros: 3")};
    s.Columns = {"Canal", "Min", "Fecha y hora", "Max", "Fecha y hora", "Media"};
    for (int i = 1; i <= 14; ++i) {  // the rows that brought the margins down to 1 %
      s.Rows.push_back(
          {QString("CANAL%1").arg(i), "-12,5", "08/12/2026 10:01:00", "31,0", "08/12/2026 10:02:00", "9,3"});
      s.RowColors.push_back(Qt::red);
    }
    return s;
  };
  TChartPreview dialog;
  dialog.ListPrinters = [] { return QStringList(); };
  dialog.SetImage(&chart);
  dialog.PreviewPage->resize(1100, 800);  // whole preview pixels cost little here
  dialog.FormShow();
  const QSizeF sheet = dialog.Printer().pageLayout().fullRectPoints().size();
  const QRect paper = dialog.PreviewPage->PaperRect();
  EXPECT_NEAR(double(paper.width()) / paper.height(), sheet.width() / sheet.height(), 0.003);

  for (bool summary : {false, true}) {
    SCOPED_TRACE(summary ? "with the summary" : "the chart alone");
    dialog.CBSummary->setChecked(summary);
    const TPrintMargins m = chart.PrintMargins();
    EXPECT_GE(std::min({m.Left, m.Right, m.Top, m.Bottom}), kProportionalFixedMargin);
    const QRectF c = dialog.PreviewPage->ChartRect();
    const QRectF shown((c.left() - paper.left()) / paper.width(), (c.top() - paper.top()) / paper.height(),
                       c.width() / paper.width(), c.height() / paper.height());
    QString pdf = dir.filePath(summary ? "con.pdf" : "sin.pdf");
    dialog.AskPdfFileName = [&] { return pdf; };
    dialog.BPrintClick();
    const QImage page = PdfPage(pdf, dir.path(), 100);
    if (page.isNull()) GTEST_SKIP() << "pdftoppm is not installed (poppler-utils)";
    const QRectF ink = InkBox(page);
    // The chart's flat panel marks the top and both sides; the table's last
    // line ends a little above the bottom of its room.
    constexpr double tol = 0.004;
    EXPECT_NEAR(ink.left(), shown.left(), tol);
    EXPECT_NEAR(ink.right(), shown.right(), tol);
    EXPECT_NEAR(ink.top(), shown.top(), tol);
    EXPECT_LE(ink.bottom(), shown.bottom() + tol);
    EXPECT_GE(ink.bottom(), shown.bottom() - (summary ? 0.03 : tol));
  }
}

}  // namespace
