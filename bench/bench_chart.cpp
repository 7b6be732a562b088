// Drawing the graph window's chart: 16 lines on a 714 x 441 chart, pens of
// width 2 (3 for channel 5), as the user pans and zooms.
#include "chart/chart.h"
#include "chart/time_axis.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

const QColor kColors[16] = {{255, 0, 0},     {0, 0, 255},     {0, 128, 0},     {255, 255, 0},
                            {255, 255, 255}, {128, 128, 128}, {255, 0, 255},   {128, 255, 255},
                            {0, 128, 128},   {0, 0, 128},     {128, 0, 0},     {0, 255, 0},
                            {128, 128, 0},   {128, 0, 128},   {192, 192, 192}, {0, 0, 0}};

std::unique_ptr<TChart> MakeChart(int points) {
  auto chart = std::make_unique<TChart>();
  chart->resize(714, 441);
  chart->SetColor(QColor(0, 0, 255));
  chart->Gradient().SetVisible(true);
  chart->Gradient().SetEndColor(QColor(192, 192, 192));
  chart->SetBevelInner(bvLowered);
  chart->SetBevelWidth(3);
  chart->SetBorderWidth(2);
  chart->SetBorderStyle(bsSingle);
  chart->BackWall().SetBrushStyle(Qt::NoBrush);
  chart->Title().SetText({"TEMPERATURA VERSUS TIEMPO"});
  chart->Title().SetFont(QFont("Arial", 10, QFont::Bold));
  chart->BottomAxis().SetIncrement(1);
  chart->BottomAxis().SetAxisValuesFormat("##.##.##");
  chart->BottomAxis().Title().SetCaption("Muestra numero: (tiempo)");
  chart->LeftAxis().SetStartPosition(2);
  chart->LeftAxis().SetEndPosition(97);
  chart->LeftAxis().Title().SetCaption("C");
  chart->TopAxis().SetVisible(false);
  chart->RightAxis().SetVisible(false);
  std::mt19937 rng(42);
  std::normal_distribution<double> noise(0, 0.3);
  for (int c = 0; c < 16; ++c) {
    TLineSeries &s = chart->AddSeries();
    s.SetSeriesColor(kColors[c]);
    s.LinePen().SetWidth(c == 4 ? 3 : 2);
    // A million points are added without a colour of their own (no colour
    // list); the window's 2000 carry the series colour like the window's.
    const bool withColor = points <= 100000;
    double drift = 0;
    for (int i = 0; i < points; ++i) {
      drift += noise(rng) * 0.05;
      const double y = 20 + 2 * c + 6 * std::sin(i * 6.283 / points * (2 + c % 3)) + drift + noise(rng);
      if (withColor) s.Add(y, QString(), kColors[c]);
      else s.Add(y);
    }
  }
  return chart;
}

void FullRepaint(benchmark::State &state) {
  auto chart = MakeChart(static_cast<int>(state.range(0)));
  QImage img(chart->size(), QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter p(&img);
    chart->Draw(p, img.rect(), 1.0);
  }
}
BENCHMARK(FullRepaint)->Arg(2000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// Records a minute apart from 8 December 2026, as a logger writes them.
TAxisLabelSource MinuteRecords(int count) {
  std::vector<double> times(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) times[static_cast<size_t>(i)] = CivilSeconds(2026, 12, 8, 10, 0, 0) + 60.0 * i;
  auto shared = std::make_shared<TRecordTimes>(std::move(times));
  return
      [shared](double lo, double hi, int size, int separation, const std::function<int(const std::string &)> &width) {
        return RecordTimeTicks(*shared, lo, hi, size, separation, width);
      };
}

// The same repaint with the bottom axis showing the records' date-times.
void FullRepaintTimeAxis(benchmark::State &state) {
  auto chart = MakeChart(static_cast<int>(state.range(0)));
  chart->BottomAxis().SetLabelSource(MinuteRecords(static_cast<int>(state.range(0))));
  QImage img(chart->size(), QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter p(&img);
    chart->Draw(p, img.rect(), 1.0);
  }
}
BENCHMARK(FullRepaintTimeAxis)->Arg(2000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// Choosing the round times for a span of state.range(0) seconds over 1,000
// records on a 610-pixel axis, label widths from a real font: what a layout
// of the time axis asks for.
void TimeTicks(benchmark::State &state) {
  const QFontMetrics fm(QFont("Arial", 8));
  std::vector<double> times(1000);
  const double pace = static_cast<double>(state.range(0)) / 999;
  for (size_t i = 0; i < times.size(); ++i) times[i] = CivilSeconds(2026, 12, 8, 10, 0, 7.5) + pace * i;
  const TRecordTimes records(std::move(times));
  const auto width = [&](const std::string &text) { return fm.horizontalAdvance(QString::fromStdString(text)); };
  for (auto _ : state) {
    const TAxisTicks t = RecordTimeTicks(records, 0, 999, 610, 10, width);
    benchmark::DoNotOptimize(t.Values.data());
  }
}
BENCHMARK(TimeTicks)
    ->Arg(60)
    ->Arg(3600)
    ->Arg(86400)
    ->Arg(30 * 86400)
    ->Arg(365 * 86400)
    ->Arg(3650 * 86400)
    ->Unit(benchmark::kMicrosecond);

// The panel, titles, axes and grid alone (every line hidden): what a repaint
// costs before the first line.
void FrameOnly(benchmark::State &state) {
  auto chart = MakeChart(2000);
  for (int c = 0; c < 16; ++c) chart->Series(c).SetActive(false);
  QImage img(chart->size(), QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter p(&img);
    chart->Draw(p, img.rect(), 1.0);
  }
}
BENCHMARK(FrameOnly)->Unit(benchmark::kMillisecond);

// The plain way for comparison: the same chart, each line one drawPolyline
// of every point with the wide pen.
void PlainPolylineRepaint(benchmark::State &state) {
  auto chart = MakeChart(static_cast<int>(state.range(0)));
  // Hidden lines still give the axes their ranges when all are hidden.
  for (int c = 0; c < 16; ++c) chart->Series(c).SetActive(false);
  const TChartLayout layout = chart->ScreenLayout();
  const TAxisMap &h = layout.Maps[apBottom], &v = layout.Maps[apLeft];
  QImage img(chart->size(), QImage::Format_RGB32);
  std::vector<QPoint> pts;
  for (auto _ : state) {
    QPainter p(&img);
    chart->Draw(p, img.rect(), 1.0);
    p.setClipRect(layout.ChartRect);
    for (int c = 0; c < 16; ++c) {
      TLineSeries &s = chart->Series(c);
      pts.clear();
      for (int i = 0; i < s.Count(); ++i) pts.emplace_back(h.Pixel(s.XValues()[i]), v.Pixel(s.YValues()[i]));
      p.setPen(QPen(s.SeriesColor(), s.LinePen().Width()));
      p.drawPolyline(pts.data(), static_cast<int>(pts.size()));
    }
  }
}
BENCHMARK(PlainPolylineRepaint)->Arg(2000)->Unit(benchmark::kMillisecond);

void SendMouse(TChart &chart, QEvent::Type type, Qt::MouseButton button, QPoint at) {
  QMouseEvent e(type, QPointF(at), chart.mapToGlobal(QPointF(at)), type == QEvent::MouseMove ? Qt::NoButton : button,
                type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button), Qt::NoModifier);
  QApplication::sendEvent(&chart, &e);
}

// One step of a right-button pan: the move handler, the new picture and its
// copy to the window.
void PanStep(benchmark::State &state) {
  auto chart = MakeChart(static_cast<int>(state.range(0)));
  chart->show();
  chart->ZoomRect(QRect(QPoint(200, 100), QPoint(500, 350)));
  QImage screen(chart->size(), QImage::Format_RGB32);  // stands for the window
  chart->render(&screen);
  SendMouse(*chart, QEvent::MouseButtonPress, Qt::RightButton, {350, 200});
  int dx = 3;
  QPoint at(350, 200);
  for (auto _ : state) {
    at.rx() += dx;
    if (at.x() > 450 || at.x() < 250) dx = -dx;
    SendMouse(*chart, QEvent::MouseMove, Qt::RightButton, at);
    chart->render(&screen);
  }
  SendMouse(*chart, QEvent::MouseButtonRelease, Qt::RightButton, at);
}
BENCHMARK(PanStep)->Arg(2000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// One step of the zoom rectangle: the band moves over the cached picture.
void RubberBandStep(benchmark::State &state) {
  auto chart = MakeChart(2000);
  chart->show();
  QImage screen(chart->size(), QImage::Format_RGB32);
  chart->render(&screen);
  SendMouse(*chart, QEvent::MouseButtonPress, Qt::LeftButton, {150, 100});
  int i = 0;
  for (auto _ : state) {
    SendMouse(*chart, QEvent::MouseMove, Qt::LeftButton, {300 + i % 200, 250 + i % 100});
    chart->render(&screen);
    ++i;
  }
  SendMouse(*chart, QEvent::MouseButtonRelease, Qt::LeftButton, {155, 105});
}
BENCHMARK(RubberBandStep)->Unit(benchmark::kMillisecond);

// One step of the readout cursor over 16 lines of state.range(0) points: the
// move handler and the window's picture, the cursor over the cached chart.
void CursorStep(benchmark::State &state) {
  auto chart = MakeChart(static_cast<int>(state.range(0)));
  chart->SetReadoutCursor(true);
  chart->OnReadout = [&](int index, double) {
    std::vector<TChart::TReadoutLine> lines{{QString("Muestra %1").arg(index + 1), QColor()}};
    for (int c = 0; c < 16; ++c)
      lines.push_back(
          {QString("CANAL%1: %2").arg(c + 1).arg(chart->Series(c).YValues()[index], 0, 'f', 1), kColors[c]});
    return lines;
  };
  chart->show();
  QImage screen(chart->size(), QImage::Format_RGB32);
  chart->render(&screen);
  const QRect r = chart->ChartRect();
  int i = 0;
  for (auto _ : state) {
    SendMouse(*chart, QEvent::MouseMove, Qt::NoButton, {r.left() + 5 + (i * 7) % (r.width() - 10), r.center().y()});
    // What the window system asks for: the rectangles the step changed.
    chart->render(&screen, QPoint(), QRegion(chart->CursorRect().adjusted(-20, 0, 20, 0)));
    ++i;
  }
}
BENCHMARK(CursorStep)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
