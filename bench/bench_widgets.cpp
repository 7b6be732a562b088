#include "runtime/form_font.h"
#include "runtime/format_settings.h"
#include "widgets/flash_timer.h"
#include "widgets/ins_gradient.h"
#include "widgets/ins_value_ind.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include <array>
#include <chrono>
#include <cmath>
#include <ctime>

namespace {

// A window like the main one: a gradient background and 16 indicators.
struct TLiveWindow {
  QWidget window;
  std::array<TInsValueInd *, 16> ind{};

  TLiveWindow() {
    ApplyProgramFormats();
    window.resize(560, 461);
    auto *g = new TInsGradient(&window);
    g->setGeometry(0, 0, 560, 461);
    g->GradSettings().SetColorFrom(clSilver);
    g->GradSettings().SetColorTo(clTeal);
    g->GradSettings().SetStyle(gsHorizontal2);
    for (int i = 0; i < 16; ++i) {
      auto *w = new TInsValueInd(&window);
      w->BeginLoading();
      w->SetOptions({opName1, opUnit});
      w->SignalSettings().SetName1(QString("CANAL %1").arg(i + 1));
      w->SignalSettings().SetValueUnit(QString::fromUtf8("ºC"));
      w->SetFontValue(FormFont("System", 10));
      // As on the main window: the first two keep an (empty) automatic hint.
      w->SetHintOptions(i < 2 ? THintOptions{hoAutoHint} : THintOptions{});
      w->Loaded();
      w->move(2 + 75 * (i % 4), 103 + 41 * (i / 4));
      ind[i] = w;
    }
    window.show();
    QApplication::processEvents();
    QApplication::processEvents();
  }
};

// Only the value pipeline of a frame, no painting.
void BM_LiveFrameValuesOnly(benchmark::State &state) {
  TLiveWindow live;
  int frame = 0;
  for (auto _ : state) {
    ++frame;
    for (int i = 0; i < 16; ++i) live.ind[i]->SetValue(20.0f + float(std::fmod(frame * 0.1 + i, 30.0)));
  }
  QApplication::processEvents();
}
BENCHMARK(BM_LiveFrameValuesOnly)->Unit(benchmark::kMicrosecond);

// One live frame: 16 new values, then the window paints what changed.
void BM_LiveFrameIndicators(benchmark::State &state) {
  TLiveWindow live;
  for (TInsValueInd *w : live.ind) w->ResetPaintStats();
  int frame = 0;
  const auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state) {
    ++frame;
    for (int i = 0; i < 16; ++i) live.ind[i]->SetValue(20.0f + float(std::fmod(frame * 0.1 + i, 30.0)));
    QApplication::processEvents();
  }
  const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
  qint64 bodyArea = 0;
  int paints = 0, bodyPaints = 0;
  for (TInsValueInd *w : live.ind) {
    bodyArea += w->BodyPaintedArea();
    paints += w->ValuePaintCount();
    bodyPaints += w->BodyPaintCount();
  }
  state.counters["value_box_paints_per_frame"] = double(paints) / double(frame);
  state.counters["indicator_body_paints"] = bodyPaints;
  state.counters["indicator_body_area_per_frame"] = double(bodyArea) / double(frame);
  state.counters["wall_us_per_frame"] = us / frame;
}
BENCHMARK(BM_LiveFrameIndicators)->Unit(benchmark::kMicrosecond);

// The same frame repeated: equal values draw nothing.
void BM_RepeatedFrameIndicators(benchmark::State &state) {
  TLiveWindow live;
  for (int i = 0; i < 16; ++i) live.ind[i]->SetValue(21.5f + i);
  QApplication::processEvents();
  for (TInsValueInd *w : live.ind) w->ResetPaintStats();
  for (auto _ : state) {
    for (int i = 0; i < 16; ++i) live.ind[i]->SetValue(21.5f + i);
    QApplication::processEvents();
  }
  int paints = 0;
  for (TInsValueInd *w : live.ind) paints += w->ValuePaintCount() + w->BodyPaintCount();
  state.counters["paints"] = paints;
}
BENCHMARK(BM_RepeatedFrameIndicators)->Unit(benchmark::kMicrosecond);

// The blink service's tick with nothing blinking: two clocks listening for
// the second, as on the main window. Share of a core = tick time / 16 ms.
void BM_FlashTimerIdleTick(benchmark::State &state) {
  TInsFlashTimer &svc = TInsFlashTimer::Instance();
  svc.Stop();
  int clockA = 0, clockB = 0, seconds = 0;
  svc.Register(&clockA, TInsFlashTimer::kRateSecond, 0, [&](int64_t, bool) { ++seconds; });
  svc.Register(&clockB, TInsFlashTimer::kRateSecond, 0, [&](int64_t, bool) { ++seconds; });
  const auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state) svc.Tick();
  const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
  svc.Unregister(&clockA);
  svc.Unregister(&clockB);
  // One tick every 16 ms: its cost as a share of one core.
  state.counters["core_share_percent"] = ns / double(state.iterations()) / (TInsFlashTimer::kTickMs * 1e6) * 100.0;
}
BENCHMARK(BM_FlashTimerIdleTick)->Unit(benchmark::kNanosecond);

}  // namespace

namespace {

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

// The service as it really runs: a 16 ms timer on the event loop, two clocks
// listening, nothing blinking. Each iteration is one second of idle program.
void BM_FlashTimerIdleEventLoop(benchmark::State &state) {
  TInsFlashTimer &svc = TInsFlashTimer::Instance();
  int clockA = 0, clockB = 0, seconds = 0;
  svc.Register(&clockA, TInsFlashTimer::kRateSecond, 0, [&](int64_t, bool) { ++seconds; });
  svc.Register(&clockB, TInsFlashTimer::kRateSecond, 0, [&](int64_t, bool) { ++seconds; });
  svc.Start();
  double cpu = 0, wall = 0;
  const uint32_t ticks0 = svc.Counter();
  for (auto _ : state) {
    QEventLoop loop;
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    const double c0 = ProcessCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    loop.exec();
    cpu += ProcessCpuSeconds() - c0;
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  svc.Stop();
  svc.Unregister(&clockA);
  svc.Unregister(&clockB);
  state.counters["core_share_percent"] = cpu / wall * 100.0;
  state.counters["ticks_per_second"] = double(svc.Counter() - ticks0) / wall;
  state.counters["second_notifications"] = seconds;
}
BENCHMARK(BM_FlashTimerIdleEventLoop)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
