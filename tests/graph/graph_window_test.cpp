#include "graph/graph_window.h"

#include "chart/chart.h"
#include "chart/chart_preview.h"
#include "chart/chart_print.h"
#include "data/string_grid.h"
#include "runtime/application.h"
#include "runtime/exceptions.h"
#include "runtime/format_settings.h"
#include "widgets/ins_col_bit_btn.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QMouseEvent>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

// The data window's grid with `records` rows of 16 channel values:
// channel c of record r holds c + r / 10 (written with the decimal comma).
struct GraphWindow : ::testing::Test {
  TStringGrid grid{nullptr, 19, 1};
  std::unique_ptr<TForm6> form;

  void SetUp() override { form = std::make_unique<TForm6>(grid); }
  void TearDown() override {
    FormatSettings() = TFormatSettings();
    SetExceptionPresenter(nullptr);
  }

  void Fill(int records, double offset = 0) {
    grid.SetRowCount(records + 1);
    for (int r = 1; r <= records; ++r) {
      grid.SetCells(0, r, std::to_string(r));
      for (int c = 1; c <= 16; ++c) {
        std::string v = std::to_string(c + offset + r / 10.0);
        v = v.substr(0, v.find('.') + 2);
        v[v.find('.')] = ',';
        grid.SetCells(c + 2, r, v);
      }
    }
  }
  TLineSeries &Series(int channel) { return form->Chart1->Series(channel - 1); }
};

TEST_F(GraphWindow, ActivationFillsEachChannelInSampleOrder) {
  Fill(3);
  grid.SetCells(7, 2, "-50,0");  // channel 5, record 2
  form->FormActivate();
  for (int c = 1; c <= 16; ++c) {
    ASSERT_EQ(Series(c).Count(), 3) << c;
    EXPECT_EQ(Series(c).XValues()[0], 0);
    EXPECT_EQ(Series(c).XValues()[2], 2);
    EXPECT_EQ(Series(c).ValueColor(1), Series(c).SeriesColor());
  }
  EXPECT_DOUBLE_EQ(Series(1).YValues()[0], 1.1);
  EXPECT_DOUBLE_EQ(Series(16).YValues()[2], 16.3);
  EXPECT_DOUBLE_EQ(Series(5).YValues()[1], -50);
  EXPECT_EQ(FormatSettings().DecimalSeparator, ',');
}

TEST_F(GraphWindow, EveryActivationStartsAfresh) {
  Fill(5);
  form->FormActivate();
  Fill(2, 100);
  form->FormActivate();
  EXPECT_EQ(Series(7).Count(), 2);
  EXPECT_DOUBLE_EQ(Series(7).YValues()[1], 107.2);
}

TEST_F(GraphWindow, NoRecordsDrawNoLines) {
  form->FormActivate();
  for (int c = 1; c <= 16; ++c) EXPECT_EQ(Series(c).Count(), 0);
  EXPECT_FALSE(form->Chart1->RenderImage().isNull());
}

TEST_F(GraphWindow, AHiddenChannelStaysHiddenAcrossRefills) {
  Fill(4);
  form->FormActivate();
  form->CheckBox[4]->setChecked(false);
  form->CheckBoxClick(5);
  EXPECT_FALSE(Series(5).Active());
  form->FormActivate();
  EXPECT_FALSE(Series(5).Active());
  EXPECT_FALSE(form->CheckBox[4]->isChecked());
  EXPECT_EQ(Series(5).Count(), 4);  // hidden, not emptied
  form->CheckBox[4]->setChecked(true);
  form->CheckBoxClick(5);
  EXPECT_TRUE(Series(5).Active());
  EXPECT_EQ(Series(5).Count(), 4);
  EXPECT_TRUE(Series(4).Active());
}

TEST_F(GraphWindow, ClickingABoxGoesThroughItsHandler) {
  Fill(2);
  form->FormActivate();
  form->CheckBox[11]->click();
  EXPECT_FALSE(Series(12).Active());
  form->CheckBox[11]->click();
  EXPECT_TRUE(Series(12).Active());
}

TEST_F(GraphWindow, AFailedConversionLeavesWhatWasFilledSoFar) {
  Fill(3, 50);
  form->FormActivate();  // a previous good fill
  Fill(3);
  grid.SetCells(5, 2, "");  // channel 3, record 2: an empty cell
  try {
    form->FormActivate();
    FAIL() << "the empty cell was taken for a number";
  } catch (const EConvertError &e) {
    EXPECT_EQ(e.Message(), "'' is not a valid floating point value");
  }
  EXPECT_EQ(Series(1).Count(), 3);
  EXPECT_EQ(Series(2).Count(), 3);
  ASSERT_EQ(Series(3).Count(), 1);  // the point before the failure
  EXPECT_DOUBLE_EQ(Series(3).YValues()[0], 3.1);
  ASSERT_EQ(Series(4).Count(), 3);  // still the previous fill
  EXPECT_DOUBLE_EQ(Series(4).YValues()[0], 54.1);
}

TEST_F(GraphWindow, AFailedFillIsShownOnceAndTheWindowStaysUsable) {
  Fill(2);
  grid.SetCells(3, 1, "abc");
  std::vector<std::string> shown;
  SetExceptionPresenter([&](const std::string &, const std::string &message) { shown.push_back(message); });
  form->show();
  QApplication::processEvents();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "'abc' is not a valid floating point value");
  EXPECT_EQ(Series(1).Count(), 0);

  // The message box closing hands the activation back to the window: that
  // must not refill, fail and show the box again.
  for (int i = 0; i < 3; ++i) {
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(form.get(), &activate);
    QApplication::processEvents();
  }
  EXPECT_EQ(shown.size(), 1u);

  // Back from the print preview the lines are refilled from the grid as it
  // is now.
  grid.SetCells(3, 1, "7,5");
  form->PrintPreview = [](QWidget *, TChart &) {};
  form->InsColBitBtn4->OnClick(form->InsColBitBtn4);
  EXPECT_EQ(shown.size(), 1u);
  ASSERT_EQ(Series(1).Count(), 2);
  EXPECT_DOUBLE_EQ(Series(1).YValues()[0], 7.5);
  form->hide();
}

TEST_F(GraphWindow, CellsAreReadByTheColumnPositionShown) {
  Fill(2);
  grid.MoveColumn(3, 4);  // the user dragged CH1 one place to the right
  form->FormActivate();
  EXPECT_DOUBLE_EQ(Series(1).YValues()[0], 2.1);  // what now stands where CH1 was
  EXPECT_DOUBLE_EQ(Series(2).YValues()[0], 1.1);
}

// A refill of the same records keeps the user's zoom (or pan); other records
// open unzoomed, whatever fixed the scales before.
TEST_F(GraphWindow, AZoomLastsWhileTheRecordsStayTheSame) {
  TChart &chart = *form->Chart1;
  auto zoom = [&] { chart.ZoomRect(QRect(QPoint(150, 150), QPoint(400, 300))); };
  auto pan = [&] {  // a drag with the right button
    chart.ScreenLayout();
    for (auto [type, x] : {std::pair{QEvent::MouseButtonPress, 300}, std::pair{QEvent::MouseMove, 340},
                           std::pair{QEvent::MouseButtonRelease, 340}}) {
      QMouseEvent e(type, QPointF(x, 200), chart.mapToGlobal(QPointF(x, 200)),
                    type == QEvent::MouseMove ? Qt::NoButton : Qt::RightButton,
                    type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::RightButton, Qt::NoModifier);
      QApplication::sendEvent(&chart, &e);
    }
    ASSERT_FALSE(chart.ScalesRestored());
  };
  const struct {
    const char *what;
    std::function<void()> fix;
    std::function<void()> change;
    bool kept;
  } cases[] = {
      {"zoom, same records", zoom, [] {}, true},
      {"zoom, a column dragged", zoom, [&] { grid.MoveColumn(3, 4); }, true},
      {"zoom, other values", zoom, [&] { Fill(50, 100); }, false},
      {"pan, another time", pan, [&] { grid.SetCells(2, 7, "10:00:00"); }, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    grid.ResetColumnOrder();
    Fill(50);
    form->FormActivate();
    chart.UndoZoom();
    c.fix();
    const double lo = chart.BottomAxis().Minimum(), hi = chart.BottomAxis().Maximum();
    form->FormActivate();  // as after a message box
    c.change();
    form->FormActivate();
    EXPECT_EQ(chart.ScalesRestored(), !c.kept);
    EXPECT_EQ(chart.BottomAxis().Automatic(), !c.kept);
    if (c.kept) {
      EXPECT_EQ(chart.BottomAxis().Minimum(), lo);
      EXPECT_EQ(chart.BottomAxis().Maximum(), hi);
    } else {
      chart.ScreenLayout();
      EXPECT_EQ(chart.BottomAxis().IMinimum(), 0);  // the whole of the new records
    }
  }
}

TEST_F(GraphWindow, ButtonsShowTheirMessagesCopyAndPreview) {
  Fill(3);
  form->FormActivate();
  std::vector<QString> messages;
  form->ShowMessage = [&](TForm6 &, const QString &text) { messages.push_back(text); };
  form->InsColBitBtn2Click();
  form->InsColBitBtn3Click();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], QString::fromUtf8("Haga un rectángulo con el mouse de izquierda a derecha y de arriba hacia "
                                           "abajo, sobre el lugar deseado."));
  EXPECT_EQ(messages[1], QString::fromUtf8("Botón derecho del mouse sobre el gráfico."));

  form->InsColBitBtn1Click();
  EXPECT_EQ(QApplication::clipboard()->image().size(), QSize(714, 441));

  QWidget *owner = nullptr;
  TChart *previewed = nullptr;
  form->PrintPreview = [&](QWidget *o, TChart &chart) {
    owner = o;
    previewed = &chart;
    throw Exception("sin impresora");
  };
  EXPECT_THROW(form->InsColBitBtn4Click(), Exception);
  EXPECT_EQ(owner, form.get());
  EXPECT_EQ(previewed, form->Chart1);
}

TEST_F(GraphWindow, LooksAsTheFormSays) {
  EXPECT_EQ(form->windowTitle(), "GRAFICO DE LOS VALORES DESCARGADOS");
  EXPECT_EQ(form->Chart1->geometry(), QRect(3, 44, 714, 441));
  EXPECT_EQ(form->CheckBox[7]->text(), "CANAL8");
  EXPECT_EQ(form->CheckBox[7]->palette().color(QPalette::WindowText), QColor(0, 255, 255));
  EXPECT_EQ(form->CheckBox[8]->pos().y(), 25);
  EXPECT_EQ(Series(5).LinePen().Width(), 3);
  EXPECT_EQ(Series(8).SeriesColor(), QColor(128, 255, 255));
  EXPECT_EQ(form->InsColBitBtn4->parentWidget(), form->Chart1);
  EXPECT_EQ(form->InsColBitBtn4->geometry(), QRect(632, 8, 60, 23));
  EXPECT_EQ(form->InsColBitBtn1->TextOff(), "Copiar");
}

}  // namespace

namespace {

// Records a minute apart from 8 December 2026 10:00, in the grid's date and
// time columns; `back` sets the clock back an hour at that record.
void Stamp(TStringGrid &grid, int records, int back = 0) {
  int minute = 0;
  for (int r = 1; r <= records; ++r, ++minute) {
    if (r == back) minute -= 60;
    const int total = 10 * 60 + minute;
    char date[32], time[32];
    std::snprintf(date, sizeof date, "%02d/12/2026", 8 + total / 1440);
    std::snprintf(time, sizeof time, "%02d:%02d:00", (total / 60) % 24, total % 60);
    grid.SetCells(1, r, date);
    grid.SetCells(2, r, time);
  }
}

TEST_F(GraphWindow, TiempoRealPutsTheRecordsTimesOnTheBottomAxis) {
  Fill(120);
  Stamp(grid, 120);
  form->FormActivate();
  TChartAxis &axis = form->Chart1->BottomAxis();
  EXPECT_FALSE(form->TiempoReal->isChecked());  // sample numbers, as the window always opened
  EXPECT_FALSE(axis.LabelSource());
  form->TiempoReal->click();
  ASSERT_TRUE(axis.LabelSource());
  EXPECT_EQ(axis.Title().Caption(), "Fecha y hora");
  const TAxisTicks &ticks = form->Chart1->ScreenLayout().Ticks[apBottom];
  ASSERT_GE(ticks.Texts.size(), 3u);
  EXPECT_EQ(ticks.Texts.front(), "10:00");  // two hours: hh:mm on round times
  // A refill keeps the axis the user chose; off again, sample numbers.
  form->FormActivate();
  EXPECT_TRUE(axis.LabelSource());
  form->TiempoReal->click();
  EXPECT_FALSE(axis.LabelSource());
  EXPECT_EQ(axis.Title().Caption(), QString::fromUtf8("Muestra número: (tiempo)"));

  // The clock set back in the middle: the line keeps the records' order and
  // the title says why the times do not run forward.
  Stamp(grid, 120, 60);
  form->FormActivate();
  form->TiempoReal->click();
  EXPECT_EQ(axis.Title().Caption(), QString::fromUtf8("Fecha y hora (tiempo no monótono)"));
  EXPECT_DOUBLE_EQ(Series(1).XValues()[60], 60);  // drawn in record order

  // Records without their times (a rate the decoding did not know): a
  // message, and the axis stays on sample numbers.
  form->TiempoReal->click();
  grid.SetCells(2, 7, "");
  form->FormActivate();
  std::vector<QString> messages;
  form->ShowMessage = [&](TForm6 &, const QString &text) { messages.push_back(text); };
  form->TiempoReal->click();
  EXPECT_FALSE(form->TiempoReal->isChecked());
  EXPECT_FALSE(axis.LabelSource());
  ASSERT_EQ(messages.size(), 1u);
}

// "Tiempo real" refused names the record that stops it: a value that is not
// a number or a record without its time.
TEST_F(GraphWindow, TiempoRealRefusedNamesTheRecordThatStopsIt) {
  const struct {
    int col, row;
    const char *text;
    const char *says;
  } cases[] = {
      {5, 7, "", "Los valores se detienen en el registro 7: CH3 está vacío"},
      {18, 9, "12,x", "Los valores se detienen en el registro 9: CH16 dice '12,x', que no es un número"},
      {2, 4, "25:00:00", "El registro 4 no tiene fecha y hora válidas"},
  };
  std::vector<QString> messages;
  form->ShowMessage = [&](TForm6 &, const QString &text) { messages.push_back(text); };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.says);
    Fill(12);
    Stamp(grid, 12);
    for (int col = 3; col <= 18; ++col) grid.SetCells(col, 0, "CH" + std::to_string(col - 2));
    grid.SetCells(c.col, c.row, c.text);
    try {
      form->FormActivate();
    } catch (const EConvertError &) {
      EXPECT_GE(c.col, 3);  // only a value stops the refill
    }
    messages.clear();
    form->TiempoReal->click();
    EXPECT_FALSE(form->TiempoReal->isChecked());
    EXPECT_FALSE(form->Chart1->BottomAxis().LabelSource());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QString::fromUtf8(c.says) + QString::fromUtf8(": el gráfico sigue por número de muestra."));
  }
}

// The readout names the record, its date and time, and the shown channels'
// cells exactly as the grid shows them, in their lines' colours.
TEST_F(GraphWindow, ReadoutGivesTheGridsCellsForTheRecordUnderThePointer) {
  Fill(30);
  Stamp(grid, 30);
  grid.SetCells(4, 12, "-50,0");
  form->FormActivate();
  form->CheckBox[3]->click();  // CANAL4 hidden
  TChart &chart = *form->Chart1;
  ASSERT_TRUE(chart.ReadoutCursor());
  const std::vector<TChart::TReadoutLine> lines = chart.OnReadout(11, 11.0);
  ASSERT_EQ(lines.size(), 2u + 15u);
  EXPECT_EQ(lines[0].Text, "Muestra 12");
  EXPECT_EQ(lines[1].Text, "08/12/2026 10:11:00");
  EXPECT_EQ(lines[2].Text, "CANAL1: " + QString::fromStdString(std::string(grid.Cells(3, 12))));
  EXPECT_EQ(lines[3].Text, "CANAL2: -50,0");
  EXPECT_EQ(lines[3].Color, Series(2).SeriesColor());
  EXPECT_EQ(lines[4].Text.left(7), "CANAL3:");
  EXPECT_EQ(lines[5].Text.left(7), "CANAL5:");  // the hidden one is left out
  // A column dragged elsewhere is read where it is shown, as the lines are.
  grid.MoveColumn(3, 4);
  form->FormActivate();
  EXPECT_EQ(chart.OnReadout(11, 11.0)[2].Text, "CANAL1: -50,0");
}

}  // namespace

namespace {

// "Incluir resumen" from the graph: the shown channels' lowest and highest
// values with when they happened and their means, over the grid's records,
// printed under the chart into the PDF (read back with pdftotext).
TEST_F(GraphWindow, ThePrintedSummaryGivesTheShownChannelsExtremesFromTheGrid) {
  Fill(30);
  Stamp(grid, 30);
  grid.SetCells(3, 17, "-12,5");  // CH1's lowest, at 10:16
  grid.SetCells(9, 4, "55,0");    // CH7's highest, at 10:03
  form->FormActivate();
  form->CheckBox[1]->click();  // CANAL2 hidden
  TChart &chart = *form->Chart1;
  ASSERT_TRUE(chart.PrintSummarySource);
  const TPrintSummary s = chart.PrintSummarySource();
  EXPECT_EQ(s.Heading.value(0), "Inicio: 08/12/2026 09:59:00   Intervalo: CADA 1 MINUTO   Registros: 30");
  ASSERT_EQ(s.Rows.size(), 15u);
  EXPECT_EQ(s.Rows[0], (QStringList{"CANAL1", "-12,5", "08/12/2026 10:16:00", "4,0", "08/12/2026 10:29:00", "2,0"}));
  EXPECT_EQ(s.Rows[5].value(0), "CANAL7");  // CANAL2 left out
  EXPECT_EQ(s.Rows[5].value(3), "55,0");
  EXPECT_EQ(s.Rows[5].value(4), "08/12/2026 10:03:00");
  EXPECT_EQ(s.RowColors[5], Series(7).SeriesColor());

  if (QStandardPaths::findExecutable("pdftotext").isEmpty())
    GTEST_SKIP() << "pdftotext is not installed (poppler-utils)";
  QTemporaryDir dir;
  CurrentPrinter().reset();
  TChartPreview preview;
  preview.ListPrinters = [] { return QStringList(); };
  preview.SetImage(&chart);
  preview.FormShow();
  preview.CBSummary->setChecked(true);
  preview.AskPdfFileName = [&] { return dir.filePath("informe.pdf"); };
  preview.BPrintClick();
  QProcess tool;
  tool.start("pdftotext", {"-layout", dir.filePath("informe.pdf"), "-"});
  ASSERT_TRUE(tool.waitForFinished(60000));
  const QString text = QString::fromUtf8(tool.readAllStandardOutput());
  for (const char *want :
       {"Registros: 30", "CANAL1", "-12,5", "08/12/2026 10:16:00", "CANAL7", "55,0", "TEMPERATURA VERSUS TIEMPO"})
    EXPECT_TRUE(text.contains(QString::fromUtf8(want))) << want << "\n" << text.toStdString();
  EXPECT_FALSE(text.contains("CANAL2 ")) << text.toStdString();
  chart.SetPrintSummary(false);
}

}  // namespace
