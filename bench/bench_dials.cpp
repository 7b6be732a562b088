#include "app/program.h"
#include "app/thermometer_window.h"
#include "widgets/ins_meter.h"
#include "widgets/ins_thermometer.h"

#include <benchmark/benchmark.h>
#include <QCoreApplication>
#include <QtTest/QTest>

#include <memory>

namespace {

// Update requests are posted events: delivering them paints exactly what a
// live frame left dirty, without letting the blink service tick in between.
void FlushPaints() { QCoreApplication::sendPostedEvents(); }

// One live frame on the thermometer window: all sixteen channels change and
// the window is painted.
void BM_ThermometerWindowFrame(benchmark::State &state) {
  TProgram program;
  program.CreateAllWindows();  // as after the first paint: the thermometers are fed too
  TForm4 &form = program.Form4();
  form.show();
  (void)QTest::qWaitForWindowExposed(&form);
  FlushPaints();
  for (TInsThermometer *t : form.InsThermometer) t->ResetPaintStats();
  int frame = 0;
  for (auto _ : state) {
    ++frame;
    for (int channel = 1; channel <= 16; ++channel)
      form.ChannelThermometer(channel)->SetValue(float(10 + channel + (frame % 20) * 0.7));
    FlushPaints();
  }
  int whole = 0, columns = 0;
  for (TInsThermometer *t : form.InsThermometer) {
    whole += t->PaintCount();
    columns += t->ColumnPaintCount();
  }
  state.counters["whole_repaints"] = whole;
  state.counters["column_repaints_per_frame"] = double(columns) / double(frame);
}
BENCHMARK(BM_ThermometerWindowFrame)->Unit(benchmark::kMicrosecond);

// The battery meter's value repaint: the needle composed over the kept
// picture of the scale area.
void BM_MeterValueRepaint(benchmark::State &state) {
  QWidget host;
  host.resize(300, 200);
  auto *m = new TInsDB120Meter(&host);
  m->setGeometry(160, 60, 129, 105);
  m->BeginLoading();
  m->SetAutoSize(false);
  m->SetOptions(TInsRMeter::AllOptions().Exclude(TInsRMeter::opName2));
  m->SignalSettings().SetValueFrom(50);
  m->SignalSettings().SetValueTo(100);
  m->BevelInner().SetSpacing(-3);
  m->BevelInner().SetBevelLine(blBoth);
  m->BevelInner().SetWidth(0);
  m->BevelInner().SurfaceGrad().SetVisible(true);
  m->BevelOuter().SetSpacing(3);
  m->BevelOuter().SetWidth(0);
  m->Loaded();
  host.show();
  (void)QTest::qWaitForWindowExposed(&host);
  FlushPaints();
  m->ResetPaintStats();
  int frame = 0;
  for (auto _ : state) {
    ++frame;
    m->SetValue(float(55 + frame % 30));  // 55 .. 84: no blinking
    FlushPaints();
  }
  state.counters["whole_repaints"] = m->PaintCount();
  state.counters["needle_repaints_per_value"] = double(m->NeedlePaintCount()) / double(frame);
}
BENCHMARK(BM_MeterValueRepaint)->Unit(benchmark::kMicrosecond);

}  // namespace
