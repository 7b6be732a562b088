#include "app/main_window.h"
#include "app/program.h"
#include "app/thermometer_window.h"
#include "logger/live_frame.h"
#include "runtime/format_settings.h"
#include "serial/serial_port.h"

#include <benchmark/benchmark.h>
#include <QApplication>

#include <string>

namespace {

std::string MakeFrame(int variant) {
  std::string f =
      "301425120307180"
      "0"
      "5";
  for (int k = 0; k < 16; ++k) {
    const int reading = 700 + ((variant * 7 + k * 13) % 200);
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d%03d", reading / 256, reading % 256);
    f += buf;
  }
  return f + "000095" + "\n";
}

void BM_DecodeLiveFrame(benchmark::State &state) {
  const std::string frame = MakeFrame(1);
  for (auto _ : state) {
    auto decoded = DecodeLiveFrame(frame);
    benchmark::DoNotOptimize(decoded);
  }
}
BENCHMARK(BM_DecodeLiveFrame);

// One frame as the receive handler takes it, with the 16 indicators and the
// 16 thermometers updated and painted on visible (offscreen) windows.
void BM_FrameThroughReceiveHandler(benchmark::State &state) {
  ApplyProgramFormats();
  // No setup dialog: the activation of a shown window would open it modally.
  TCustomSerialPort::SetupDialog = [](TCustomSerialPort &) { return false; };
  TProgram program;
  program.CreateAllWindows();  // as after the first paint: the thermometers are fed too
  TForm1 &form = program.Form1();
  form.show();
  program.Form4().show();
  QApplication::processEvents();
  std::string frames[2] = {MakeFrame(1), MakeFrame(2)};
  int i = 0;
  for (auto _ : state) {
    form.LiveText(frames[i++ & 1]);
    QApplication::processEvents();  // the repaints the values asked for
  }
  program.Form4().hide();
}
BENCHMARK(BM_FrameThroughReceiveHandler)->Unit(benchmark::kMicrosecond);

}  // namespace
