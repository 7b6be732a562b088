#include "graph/graph_chart.h"

#include "data/data_statistics.h"
#include "data/data_table.h"
#include "data/record_values.h"
#include "runtime/form_font.h"
#include "widgets/ins_colors.h"

#include <cstdio>

const QColor kGraphSeriesColors[16] = {
    clRed,  clBlue, clGreen,  clYellow, clWhite, clGray,   clFuchsia, QColor(128, 255, 255),
    clTeal, clNavy, clMaroon, clLime,   clOlive, clPurple, clSilver,  clBlack};

const char *const kSampleAxisTitle = "Muestra número: (tiempo)";
const char *const kTimeAxisTitle = "Fecha y hora";
const char *const kNotMonotonic = " (tiempo no monótono)";

namespace {

std::string_view CellAt(const TDataTable &table, const std::vector<int> &order, int position, int row) {
  const int column = position >= 0 && position < static_cast<int>(order.size()) ? order[position] : position;
  return table.Cells(column, row);
}

}  // namespace

void ConfigureGraphChart(TChart &c) {
  c.SetColor(clBlue);
  c.Gradient().SetVisible(true);
  c.Gradient().SetStartColor(clWhite);
  c.Gradient().SetEndColor(clSilver);
  c.Gradient().SetDirection(gdTopBottom);
  c.SetBevelInner(bvLowered);
  c.SetBevelWidth(3);
  c.SetBorderWidth(2);
  c.SetBorderStyle(bsSingle);
  c.BackWall().SetColor(clWhite);
  c.BackWall().SetBrushStyle(Qt::NoBrush);
  c.Title().SetText({"TEMPERATURA VERSUS TIEMPO"});
  c.Title().SetFont(FormFont("Arial", 10, true));
  c.Title().SetFontColor(clBlue);
  c.BottomAxis().SetIncrement(1);
  c.BottomAxis().SetLabelStyle(talValue);
  c.BottomAxis().SetAxisValuesFormat("##.##.##");
  c.BottomAxis().Title().SetCaption(QString::fromUtf8(kSampleAxisTitle));
  c.BottomAxis().Title().SetFont(FormFont("Arial", 10, true));
  c.BottomAxis().Title().SetFontColor(clTeal);
  c.LeftAxis().SetStartPosition(2);
  c.LeftAxis().SetEndPosition(97);
  c.LeftAxis().Title().SetCaption(QString::fromUtf8("° C"));
  c.LeftAxis().Title().SetFont(FormFont("Arial", 14, true));
  c.LeftAxis().Title().SetFontColor(clTeal);
  c.TopAxis().SetVisible(false);
  c.RightAxis().SetVisible(false);
  c.SetAnimatedZoom(false);
  // The legend, the point markers and the marks are there but hidden.
  c.Legend().SetVisible(false);
  c.Legend().Frame().SetVisible(false);
  c.Legend().SetResizeChart(false);
  for (int i = 0; i < 16; ++i) {
    TLineSeries &s = c.AddSeries();
    s.SetTitle(QString("Series%1").arg(i + 1));
    s.SetSeriesColor(kGraphSeriesColors[i]);
    s.LinePen().SetWidth(i == 4 ? 3 : 2);
    s.Pointer().SetVisible(false);
    s.Pointer().SetStyle(psRectangle);
    s.Marks().SetVisible(false);
  }
}

TGraphTimes::TGraphTimes(const TDataTable &table, int records, const std::vector<int> &order) {
  std::vector<double> times;
  times.reserve(static_cast<size_t>(std::max(0, records)));
  known_ = records > 0;
  for (int r = 1; r <= records && known_; ++r) {
    double t = 0;
    known_ = ParseRecordTime(CellAt(table, order, 1, r), CellAt(table, order, 2, r), t);
    if (!known_) firstUnknown_ = r;
    times.push_back(t);
  }
  if (!known_) times.clear();
  times_ = std::make_shared<TRecordTimes>(std::move(times));
}

std::uint64_t GraphDataFingerprint(const TDataTable &table, int records) {
  // FNV-1a over every cell with its length, so that no two tables run into
  // one by moving text between neighbouring cells.
  std::uint64_t h = 14695981039346656037ull;
  auto mix = [&h](unsigned char byte) {
    h ^= byte;
    h *= 1099511628211ull;
  };
  auto mixNumber = [&mix](std::uint64_t n) {
    for (int i = 0; i < 8; ++i) mix(static_cast<unsigned char>(n >> (8 * i)));
  };
  mixNumber(static_cast<std::uint64_t>(std::max(0, records)));
  for (int r = 1; r <= records; ++r)
    for (int c = 1; c <= 18; ++c) {
      const std::string_view cell = table.Cells(c, r);
      mixNumber(cell.size());
      for (char ch : cell) mix(static_cast<unsigned char>(ch));
    }
  return h;
}

void SetGraphTimeAxis(TChart &c, bool on, const TGraphTimes &times) {
  TChartAxis &axis = c.BottomAxis();
  if (!on || !times.Known()) {
    axis.SetLabelSource({});
    axis.Title().SetCaption(QString::fromUtf8(kSampleAxisTitle));
    return;
  }
  const std::shared_ptr<const TRecordTimes> shared = times.Shared();
  axis.SetLabelSource(
      [shared](double lo, double hi, int size, int separation, const std::function<int(const std::string &)> &width) {
        return RecordTimeTicks(*shared, lo, hi, size, separation, width);
      });
  QString title = QString::fromUtf8(kTimeAxisTitle);
  if (!times.Records().Monotonic()) title += QString::fromUtf8(kNotMonotonic);
  axis.Title().SetCaption(title);
}

std::vector<TChart::TReadoutLine> GraphReadout(TChart &c, const TDataTable &table, const std::vector<int> &order,
                                               const TGraphTimes &times, int index) {
  std::vector<TChart::TReadoutLine> lines;
  const int row = index + 1;
  lines.push_back({QString::fromUtf8("Muestra %1").arg(row), QColor()});
  if (times.Known() && index >= 0 && index < times.Records().Count())
    lines.push_back({QString::fromStdString(FormatDateTime(times.Records().Time(index))), QColor()});
  for (int i = 0; i < 16 && i < c.SeriesCount(); ++i) {
    if (!c.Series(i).Active()) continue;
    const std::string_view cell = CellAt(table, order, i + 3, row);
    lines.push_back(
        {QString("CANAL%1: %2").arg(i + 1).arg(QString::fromUtf8(cell.data(), static_cast<int>(cell.size()))),
         c.Series(i).SeriesColor()});
  }
  return lines;
}

TPrintSummary GraphSummary(TChart &c, const TDataTable &table, int records, const std::vector<int> &order) {
  TPrintSummary summary;
  const TShownColumns shown = ShownColumns(order);
  const TDerivedStart start = DeriveStart(table, records, shown.Date, shown.Time);
  const std::string startText =
      start.Known ? ProgramDateText(start.Start) + " " + ProgramTimeText(start.Start) : std::string("desconocido");
  summary.Heading << QString::fromStdString(
      "Inicio: " + startText + "   Intervalo: " + (start.Known ? start.RateText : std::string("desconocido")) +
      "   Registros: " + std::to_string(std::max(0, records)));
  summary.Columns = {"Canal", QString::fromUtf8("Mínimo"), "Fecha y hora", QString::fromUtf8("Máximo"), "Fecha y hora",
                     "Media"};
  const TDataStatistics stats = ComputeStatistics(table, records, order, TStatLimits());
  auto when = [&](int row) {
    // The date and time where the grid shows them, as the records' own.
    std::string text(CellAt(table, order, 1, row));
    const std::string_view time = CellAt(table, order, 2, row);
    if (!text.empty() && !time.empty()) text += ' ';
    return QString::fromStdString(text.append(time));
  };
  for (int i = 0; i < 16 && i < c.SeriesCount(); ++i) {
    if (!c.Series(i).Active()) continue;
    const TChannelStats &ch = stats.Channels[static_cast<size_t>(i)];
    QString name = QString("CANAL%1").arg(i + 1);
    // A column dragged to another place is named too: its line is this one.
    if (!ch.Name.empty() && ch.Name != "CH" + std::to_string(i + 1))
      name += " (" + QString::fromStdString(ch.Name) + ")";
    QStringList row{name};
    if (ch.Count == 0) {
      row << "-"
          << ""
          << "-"
          << ""
          << "-";
    } else {
      char mean[32];
      std::snprintf(mean, sizeof mean, "%.1f", ch.Mean);
      std::string meanText = mean;
      if (const size_t dot = meanText.find('.'); dot != std::string::npos) meanText[dot] = ',';
      row << QString::fromStdString(TenthsText(ch.Min)) << when(ch.MinRow) << QString::fromStdString(TenthsText(ch.Max))
          << when(ch.MaxRow) << QString::fromStdString(meanText);
    }
    summary.Rows.push_back(row);
    summary.RowColors.push_back(c.Series(i).SeriesColor());
  }
  return summary;
}
