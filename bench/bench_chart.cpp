// Drawing the graph window's chart: 16 lines on a 714 x 441 chart, pens of
// width 2 (3 for channel 5), as the user pans and zooms.
#include "chart/chart.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>

namespace {

const QColor kColors[16] = {{255, 0, 0},     {0, 0, 255},   {0, 128, 0},   {255, 255, 0}, {255, 255, 255}, {128, 128, 128},
                            {255, 0, 255},   {128, 255, 255}, {0, 128, 128}, {0, 0, 128},   {128, 0, 0},     {0, 255, 0},
                            {128, 128, 0},   {128, 0, 128}, {192, 192, 192}, {0, 0, 0}};

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

}  // namespace
