// The history window's chart: the graph window's look and buttons over a
// range of the archive, drawn from its outline (the first, lowest, highest
// and last reading of every pixel column), asked for again at each zoom.

#include "app/history_window.h"

#include "chart/chart.h"
#include "graph/graph_chart.h"
#include "graph/graph_window.h"
#include "runtime/application.h"
#include "runtime/form_font.h"
#include "widgets/ins_col_bit_btn.h"
#include "widgets/ins_colors.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>

#include <algorithm>
#include <cmath>

namespace {

const int kChartLeft = 318, kChartTop = 112;

QString Text(const std::string &s) { return QString::fromStdString(s); }
QString StampText(const TStamp &s) { return Text(ProgramDateText(s) + " " + ProgramTimeText(s)); }

}  // namespace

void THistoryWindow::BuildChartPart() {
  Chart1 = new TChart(this);
  Chart1->setObjectName("Chart1");
  Chart1->setGeometry(kChartLeft, kChartTop, 714, 441);
  ConfigureGraphChart(*Chart1);
  SetHistoryTimeAxis(*Chart1, true, 0);
  Chart1->SetReadoutCursor(true);
  Chart1->OnReadout = [this](int, double x) { return HistoryReadout(*Chart1, x, versionSeconds_); };
  Chart1->PrintSummarySource = [this] { return RangeSummary(); };
  // A zoom or a pan shows another part of the range: its own outline, as
  // fine as the plot's pixels, replaces the range's.
  Chart1->OnZoom = [this](TChart &c) { AskOutline(c.BottomAxis().Minimum(), c.BottomAxis().Maximum()); };
  Chart1->OnScroll = [this](TChart &c) { AskOutline(c.BottomAxis().Minimum(), c.BottomAxis().Maximum()); };
  // Back to the range: its own outline, kept (a zoom still on its way
  // finds the chart unzoomed and leaves it).
  Chart1->OnUndoZoom = [this](TChart &) { FillHistoryChart(*Chart1, rangeOutline_); };

  MakeGraphChannelBoxes(this, QPoint(kChartLeft - 3, 65), CheckBox);
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
  InsColBitBtn1->OnClick = [this](QObject *) { Chart1->CopyToClipboardBitmap(); };
  InsColBitBtn2->OnClick = [this](QObject *) { Message(QString::fromUtf8(TForm6::kZoomMessage)); };
  InsColBitBtn3->OnClick = [this](QObject *) { Message(QString::fromUtf8(TForm6::kMoveMessage)); };
  InsColBitBtn4->OnClick = [this](QObject *) { RunHandler([this] { PrintClick(); }); };

  TiempoReal = MakeGraphTimeBox(Chart1);
  TiempoReal->setChecked(true);
  TiempoReal->setToolTip(QString::fromUtf8("Sin marcar: horas desde el inicio del rango"));
  connect(TiempoReal, &QCheckBox::clicked, this, [this] { RunHandler([this] { TiempoRealClick(); }); });

  RangeLabel = new QLabel(this);
  RangeLabel->setGeometry(kChartLeft, 560, 440, 24);
  RangeLabel->setFont(FormFont("Arial", 8, true));
  VersionsList = new QComboBox(this);
  VersionsList->setGeometry(kChartLeft + 450, 560, 264, 24);
  VersionsList->setToolTip(QString::fromUtf8(
      "Instantes guardados con más de una versión (el reloj volvió atrás y la memoria se llenó otra vez)"));
  VersionsList->setEnabled(false);
  connect(VersionsList, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
    // The cursor goes to the instant picked, on the first shown line.
    if (index <= 0 || index > static_cast<int>(versions_.size())) return;
    const double at = ChartSeconds(versions_[static_cast<size_t>(index - 1)]);
    for (int k = 0; k < Chart1->SeriesCount(); ++k) {
      TLineSeries &s = Chart1->Series(k);
      if (!s.Active() || s.Count() == 0) continue;
      const double *x = s.XValues().Data();
      const int i = static_cast<int>(std::lower_bound(x, x + s.Count(), at) - x);
      Chart1->SetCursorIndex(std::min(i, s.Count() - 1));
      Chart1->setFocus();
      return;
    }
  });
}

void THistoryWindow::CheckBoxClick(int n) {
  if (n < 1 || n > 16) return;
  Chart1->Series(n - 1).SetActive(CheckBox[n - 1]->isChecked());
}

void THistoryWindow::TiempoRealClick() {
  SetHistoryTimeAxis(*Chart1, TiempoReal->isChecked(), ChartSeconds(range_.From));
  Chart1->Invalidate();
}

void THistoryWindow::PrintClick() {
  struct TRepaint {
    TChart *chart;
    ~TRepaint() { chart->Invalidate(); }
  } repaint{Chart1};
  if (PrintPreview) PrintPreview(this, *Chart1);
}

int THistoryWindow::PlotColumns() { return std::max(1, Chart1->ChartRect().width()); }

void THistoryWindow::DrawRange(const TStamp &from, const TStamp &to, bool retry) {
  range_ = THistoryRange{from, to};
  FromEdit->setDateTime(QDateTime(QDate(from.Year, from.Month, from.Day), QTime(from.Hour, from.Minute, from.Second)));
  ToEdit->setDateTime(QDateTime(QDate(to.Year, to.Month, to.Day), QTime(to.Hour, to.Minute, to.Second)));
  // The range's own scale, whatever its first and last readings are; a
  // zoom goes back to it.
  zoomWorker_.Cancel();
  ++zoomAsked_;
  if (!Chart1->ScalesRestored()) Chart1->UndoZoom();
  Chart1->BottomAxis().SetMinMax(ChartSeconds(from), ChartSeconds(to) + 1);
  SetHistoryTimeAxis(*Chart1, TiempoReal->isChecked(), ChartSeconds(from));
  RangeLabel->setText(QString::fromUtf8("Leyendo %1 a %2...").arg(StampText(from), StampText(to)));
  VersionsList->clear();
  VersionsList->setEnabled(false);

  const std::string logger = logger_;
  const int columns = PlotColumns();
  auto outline = std::make_shared<TArchiveOutline>();
  auto versions = std::make_shared<std::vector<TStamp>>();
  chartWorker_.Start(
      address_,
      [logger, from, to, columns, outline, versions](TArchive &archive, const std::atomic<bool> &cancelled) {
        *outline = archive.Outline(logger, from, to, columns);
        if (!cancelled) *versions = archive.InstantsWithVersions(logger, from, to);
      },
      [this, outline, versions, columns, retry](const std::exception_ptr &failure) {
        if (failure) {
          RangeLabel->clear();
          ShowArchiveFailure(failure);
          return;
        }
        rangeOutline_ = std::move(*outline);
        versions_ = std::move(*versions);
        if (Chart1->ScalesRestored()) FillHistoryChart(*Chart1, rangeOutline_);
        ShowVersions();
        // The readings' own labels may have narrowed or widened the plot:
        // outlined again for the width it has now, once, so that each of
        // its pixel columns is one of the outline's.
        if (Chart1->ScalesRestored() && PlotColumns() != columns && retry) DrawRange(range_.From, range_.To, false);
      });
}

void THistoryWindow::AskOutline(double from, double to) {
  if (logger_.empty() || !(to > from)) return;
  const TStamp first = StampOfChartSeconds(from);
  const TStamp last = StampOfChartSeconds(std::ceil(to));
  const std::string logger = logger_;
  const int columns = PlotColumns();
  auto outline = std::make_shared<TArchiveOutline>();
  const std::uint64_t asked = ++zoomAsked_;
  zoomWorker_.Start(
      address_,
      [logger, first, last, columns, outline](TArchive &archive, const std::atomic<bool> &) {
        *outline = archive.Outline(logger, first, last, columns);
      },
      [this, outline, asked](const std::exception_ptr &failure) {
        if (asked != zoomAsked_) return;  // another zoom, or another range, came since
        if (failure) {
          ShowArchiveFailure(failure);
          return;
        }
        // Unzoomed meanwhile: the range's own outline stays.
        if (!Chart1->ScalesRestored()) FillHistoryChart(*Chart1, *outline);
      });
}

void THistoryWindow::ShowVersions() {
  versionSeconds_.clear();
  VersionsList->clear();
  for (const TStamp &s : versions_) versionSeconds_.insert(static_cast<std::int64_t>(ChartSeconds(s)));
  QString text = QString::fromUtf8("%1 registros de %2 a %3")
                     .arg(rangeOutline_.Records)
                     .arg(StampText(range_.From), StampText(range_.To));
  if (!versions_.empty()) {
    VersionsList->addItem(QString::fromUtf8("Instantes con varias versiones: %1").arg(versions_.size()));
    // A list no one could read through stops at a few thousand.
    const size_t shown = std::min<size_t>(versions_.size(), 5000);
    for (size_t i = 0; i < shown; ++i) VersionsList->addItem(StampText(versions_[i]));
  } else {
    VersionsList->addItem(QString::fromUtf8("Ningún instante con varias versiones"));
  }
  VersionsList->setEnabled(!versions_.empty());
  RangeLabel->setText(text);
}

TPrintSummary THistoryWindow::RangeSummary() {
  TPrintSummary summary;
  summary.Heading << QString::fromUtf8("Registrador: %1   Desde: %2   Hasta: %3   Registros: %4")
                         .arg(Text(logger_), StampText(range_.From), StampText(range_.To))
                         .arg(rangeOutline_.Records);
  summary.Columns = {"Canal", QString::fromUtf8("Mínimo"), "Fecha y hora", QString::fromUtf8("Máximo"), "Fecha y hora"};
  // The outline keeps every column's lowest and highest reading: the
  // range's extremes are among its points.
  for (int k = 0; k < 16 && k < Chart1->SeriesCount(); ++k) {
    if (!Chart1->Series(k).Active()) continue;
    const std::vector<TOutlinePoint> &points = rangeOutline_.Channels[static_cast<size_t>(k)];
    QStringList row{QString("CANAL%1").arg(k + 1)};
    if (points.empty()) {
      row << "-"
          << ""
          << "-"
          << "";
    } else {
      // The first lowest and the first highest, as the statistics name them.
      const auto less = [](const TOutlinePoint &a, const TOutlinePoint &b) { return a.Value < b.Value; };
      const auto low = std::min_element(points.begin(), points.end(), less);
      const auto high = std::max_element(points.begin(), points.end(), less);
      row << Text(TenthsText(low->Value)) << StampText(StampOfChartSeconds(low->Seconds))
          << Text(TenthsText(high->Value)) << StampText(StampOfChartSeconds(high->Seconds));
    }
    summary.Rows.push_back(row);
    summary.RowColors.push_back(Chart1->Series(k).SeriesColor());
  }
  return summary;
}
