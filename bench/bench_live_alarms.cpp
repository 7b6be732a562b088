// The alarms' cost on the window's thread per live frame: the frame shown
// with no limits, with limits on every channel and all inside, and with
// every channel in alarm (the hints made afresh, the extremes moving); and
// one blink phase of sixteen channels in alarm, which comes twice a second.

#include "app/main_window.h"
#include "app/program.h"
#include "serial/serial_port.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

TLiveFrame Frame(int second, double base) {
  TLiveFrame f;
  f.Year = 26, f.Month = 12, f.Day = 8, f.Hours = 14, f.Minutes = (second / 60) % 60, f.Seconds = second % 60;
  for (int k = 0; k < 16; ++k) f.Channels[static_cast<size_t>(k)] = base + k * 0.7 + (second % 7) * 0.1;
  return f;
}

// Settings and archive of the benchmark's own, never the user's.
void OwnFolders() {
  static QTemporaryDir dir;
  static bool set = [] {
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
      setenv(name, QFile::encodeName(dir.filePath(name)).constData(), 1);
    setenv("TALVEX_DB", QFile::encodeName(dir.filePath("archivo.sqlite")).constData(), 1);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    return true;
  }();
  (void)set;
}

TAlarmLimitSet EveryChannel(std::int32_t high) {
  TAlarmLimitSet limits{};
  for (TAlarmLimits &l : limits) {
    l.Low = -300;
    l.High = high;
  }
  return limits;
}

// state.range(0): 0 no limits, 1 limits all inside, 2 every channel in alarm.
void BM_ShowFrame(benchmark::State &state) {
  OwnFolders();
  TCustomSerialPort::SetupDialog = [](TCustomSerialPort &) { return false; };
  TProgram program;
  program.CreateAllWindows();
  TForm1 &form = program.Form1();
  form.show();
  QApplication::processEvents();
  if (state.range(0) > 0) form.SetAlarmLimits("BANCO", EveryChannel(state.range(0) == 1 ? 900 : 100));
  int second = 0;
  for (auto _ : state) {
    form.ShowFrame(Frame(++second, 20.0));
    // The repaints the frame asked for, as the event loop would do them.
    QApplication::processEvents();
  }
  state.counters["in_alarm"] = form.LiveAlarms().AnyActive() ? 1 : 0;
}
BENCHMARK(BM_ShowFrame)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void BM_BlinkPhaseOfSixteenAlarms(benchmark::State &state) {
  OwnFolders();
  TCustomSerialPort::SetupDialog = [](TCustomSerialPort &) { return false; };
  TProgram program;
  program.CreateAllWindows();
  TForm1 &form = program.Form1();
  form.show();
  QApplication::processEvents();
  form.SetAlarmLimits("BANCO", EveryChannel(100));
  form.ShowFrame(Frame(1, 20.0));
  bool phase = false;
  for (auto _ : state) {
    form.AlarmBlink(phase = !phase);
    QApplication::processEvents();
  }
}
BENCHMARK(BM_BlinkPhaseOfSixteenAlarms)->Unit(benchmark::kMicrosecond);

}  // namespace
