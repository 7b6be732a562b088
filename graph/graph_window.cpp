#include "graph/graph_window.h"

#include "chart/chart.h"
#include "data/string_grid.h"
#include "graph/graph_chart.h"
#include "runtime/application.h"
#include "runtime/form_font.h"
#include "runtime/format_settings.h"
#include "runtime/number_format.h"
#include "widgets/ins_col_bit_btn.h"
#include "widgets/ins_colors.h"
#include "widgets/ins_gradient.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include <string_view>

const char *const TForm6::kZoomMessage =
    "Haga un rectángulo con el mouse de izquierda a derecha y de arriba hacia abajo, sobre el lugar deseado.";
const char *const TForm6::kMoveMessage = "Botón derecho del mouse sobre el gráfico.";

namespace {

QColor CaptionColor(int channel) {
  if (channel == 8) return clAqua;   // the light cyan line reads badly as text
  if (channel == 9) return clGreen;  // teal text likewise
  return kGraphSeriesColors[channel - 1];
}

const int kCheckLefts[8] = {11, 100, 190, 280, 370, 460, 550, 640};

}  // namespace

TForm6::TForm6(const TStringGrid &grid, QWidget *parent) : QDialog(parent), grid_(grid) {
  setWindowTitle("GRAFICO DE LOS VALORES DESCARGADOS");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  // 730 x 526 outside; the client area is what the frame leaves of it.
  setFixedSize(722, 492);
  if (QScreen *screen = QGuiApplication::primaryScreen()) move(screen->availableGeometry().center() - rect().center());

  InsGradient1 = new TInsGradient(this);
  InsGradient1->setGeometry(rect());
  InsGradient1->GradSettings().SetStyle(gsHorizontal1);

  Chart1 = new TChart(this);
  Chart1->setObjectName("Chart1");
  Chart1->setGeometry(3, 44, 714, 441);
  ConfigureGraphChart(*Chart1);
  // The readout names the records as the grid shows them.
  Chart1->SetReadoutCursor(true);
  Chart1->OnReadout = [this](int index, double) {
    return GraphReadout(*Chart1, grid_.Table(), grid_.ColumnOrder(), times_, index);
  };
  // What the print preview's "Incluir resumen" puts under the chart.
  Chart1->PrintSummarySource = [this] {
    return GraphSummary(*Chart1, grid_.Table(), grid_.RowCount() - 1, grid_.ColumnOrder());
  };

  MakeGraphChannelBoxes(this, QPoint(0, 0), CheckBox);
  for (int i = 0; i < 16; ++i) {
    const int n = i + 1;
    connect(CheckBox[i], &QCheckBox::clicked, this, [this, n] { RunHandler([&] { CheckBoxClick(n); }); });
  }

  TInsColBitBtn *buttons[4];
  MakeGraphButtons(Chart1, buttons);
  InsColBitBtn1 = buttons[0];
  InsColBitBtn2 = buttons[1];
  InsColBitBtn3 = buttons[2];
  InsColBitBtn4 = buttons[3];
  InsColBitBtn1->OnClick = [this](QObject *) { InsColBitBtn1Click(); };
  InsColBitBtn2->OnClick = [this](QObject *) { InsColBitBtn2Click(); };
  InsColBitBtn3->OnClick = [this](QObject *) { InsColBitBtn3Click(); };
  InsColBitBtn4->OnClick = [this](QObject *) { PrintClicked(); };

  TiempoReal = MakeGraphTimeBox(Chart1);
  connect(TiempoReal, &QCheckBox::clicked, this, [this] { RunHandler([this] { TiempoRealClick(); }); });
}

void TForm6::TiempoRealClick() {
  if (TiempoReal->isChecked()) {
    // Why the times cannot be used, naming the record that stops them.
    QString why;
    if (valuesStop_.Record > 0) {
      why = valuesStop_.Text.trimmed().isEmpty()
                ? QString::fromUtf8("Los valores se detienen en el registro %1: %2 está vacío")
                      .arg(valuesStop_.Record)
                      .arg(valuesStop_.Column)
                : QString::fromUtf8("Los valores se detienen en el registro %1: %2 dice '%3', que no es un número")
                      .arg(valuesStop_.Record)
                      .arg(valuesStop_.Column, valuesStop_.Text);
    } else if (!times_.Known()) {
      why = times_.FirstUnknown() > 0
                ? QString::fromUtf8("El registro %1 no tiene fecha y hora válidas").arg(times_.FirstUnknown())
                : QString::fromUtf8("No hay registros");
    }
    if (!why.isEmpty()) {
      TiempoReal->setChecked(false);
      Message(why + QString::fromUtf8(": el gráfico sigue por número de muestra."));
    }
  }
  SetGraphTimeAxis(*Chart1, TiempoReal->isChecked(), times_);
}

void TForm6::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  // Opening the window activates it. The fill runs once the window is on
  // screen, so a failure's message box stands in front of the window it is
  // about. Refilling on every window-system activation instead would refill
  // again when that very box closes, fail again and open it again, for ever.
  if (!event->spontaneous())
    QTimer::singleShot(0, this, [this] {
      if (isVisible()) RunHandler([this] { FormActivate(); });
    });
}

void TForm6::PrintClicked() {
  RunHandler([this] { InsColBitBtn4Click(); });
  // Back from the preview, this window is the active one again and refills
  // its lines, also when the preview failed.
  RunHandler([this] { FormActivate(); });
}

void TForm6::FormActivate() {
  FormatSettings().DecimalSeparator = ',';
  FormatSettings().ThousandSeparator = '.';
  // The grid holds the header row and then the N records.
  const int records = grid_.RowCount() - 1;
  // Other records (another file opened, another download) open unzoomed: a
  // zoom into the last ones' range would show an empty chart.
  const std::uint64_t data = GraphDataFingerprint(grid_.Table(), records);
  if (data != shownData_ && !Chart1->ScalesRestored()) Chart1->UndoZoom();
  shownData_ = data;
  // The records may be others now: their times are read again, before the
  // values, so that "Tiempo real" can tell a record without its time from
  // one whose values stop the refill.
  times_ = TGraphTimes(grid_.Table(), records, grid_.ColumnOrder());
  valuesStop_ = TValuesStop();
  for (int i = 1; i <= 16; ++i) {
    TLineSeries &s = Chart1->Series(i - 1);
    s.Clear();
    for (int r = 1; r <= records; ++r) {
      const std::string_view cell = grid_.CellsAtPosition(i + 2, r);
      double value = 0;
      if (!TryStrToFloat(cell, value)) {
        const std::string_view column = grid_.CellsAtPosition(i + 2, 0);
        valuesStop_ = {
            r,
            column.empty() ? QString("CH%1").arg(i) : QString::fromUtf8(column.data(), static_cast<int>(column.size())),
            QString::fromUtf8(cell.data(), static_cast<int>(cell.size()))};
        // Half-filled lines stay on sample numbers.
        TiempoReal->setChecked(false);
        SetGraphTimeAxis(*Chart1, false, times_);
        value = StrToFloat(cell);  // raises the conversion's own message
      }
      s.Add(value, QString(), s.SeriesColor());
    }
  }
  if (!times_.Known()) TiempoReal->setChecked(false);
  SetGraphTimeAxis(*Chart1, TiempoReal->isChecked(), times_);
}

void TForm6::CheckBoxClick(int n) {
  if (n < 1 || n > 16) return;
  Chart1->Series(n - 1).SetActive(CheckBox[n - 1]->isChecked());
}

void TForm6::InsColBitBtn1Click() { Chart1->CopyToClipboardBitmap(); }

void TForm6::InsColBitBtn2Click() { Message(QString::fromUtf8(kZoomMessage)); }

void TForm6::InsColBitBtn3Click() { Message(QString::fromUtf8(kMoveMessage)); }

void TForm6::InsColBitBtn4Click() {
  // The chart is repainted after the preview, also when the preview failed.
  struct TRepaint {
    TChart *chart;
    ~TRepaint() { chart->Invalidate(); }
  } repaint{Chart1};
  if (PrintPreview) PrintPreview(this, *Chart1);
}

void TForm6::Message(const QString &text) {
  if (ShowMessage) {
    ShowMessage(*this, text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(ApplicationTitle()), text, QMessageBox::Ok, this);
  box.exec();
}

void MakeGraphChannelBoxes(QWidget *parent, const QPoint &origin, QCheckBox *boxes[16]) {
  const QFont boxFont = FormFont("Arial", 8, true);
  for (int i = 0; i < 16; ++i) {
    QCheckBox *box = new QCheckBox(QString("CANAL%1").arg(i + 1), parent);
    box->setFont(boxFont);
    QPalette pal = box->palette();
    pal.setColor(QPalette::WindowText, CaptionColor(i + 1));
    box->setPalette(pal);
    box->setChecked(true);
    box->move(origin + QPoint(kCheckLefts[i % 8], i < 8 ? 5 : 25));
    box->adjustSize();
    boxes[i] = box;
  }
}

void MakeGraphButtons(TChart *chart, TInsColBitBtn *buttons[4]) {
  const int lefts[4] = {64, 484, 556, 632};
  for (int i = 0; i < 4; ++i) {
    TInsColBitBtn *b = new TInsColBitBtn(chart);  // the buttons sit on the chart
    ApplyGraphButtonLook(*b, i);
    b->GradBtnFace().SetColorFrom(QColor(240, 240, 240));
    b->GradBtnFace().SetColorTo(QColor(105, 105, 105));
    b->GradBtnFace().SetVisible(true);
    b->ButtonBevel().SetWidth(4);
    b->setGeometry(lefts[i], 8, 60, 23);
    buttons[i] = b;
  }
}

QCheckBox *MakeGraphTimeBox(TChart *chart) {
  auto *box = new QCheckBox(QStringLiteral("Tiempo real"), chart);
  box->setFont(FormFont("Arial", 8, true));
  QPalette pal = box->palette();
  pal.setColor(QPalette::WindowText, clTeal);
  box->setPalette(pal);
  box->adjustSize();
  box->move(chart->width() - box->width() - 14, chart->height() - box->height() - 12);
  return box;
}
