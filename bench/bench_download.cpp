// How fast the main window takes in a download when the logger sends it
// without pauses: the simulated logger on a pseudo-terminal writes the whole
// dump as fast as the line takes it, the real port and receive handler
// collect it. The serial line itself carries 11,520 bytes a second; the
// program should keep up with a hundred times that.
#include "app/main_window.h"
#include "app/program.h"
#include "runtime/application.h"
#include "serial/serial_port.h"
#include "sim/logger_simulator.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>
#include <functional>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kLineBytesPerSecond = 11520.0;

bool Pump(const std::function<bool()> &done, int timeoutMs) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  }
  return true;
}

void BM_DownloadIntake(benchmark::State &state) {
  const long records = state.range(0);
  TSimConfig config;
  config.Capacity = records;
  config.StoredRecords = records;
  config.RateCode = 1;
  config.FrameIntervalMs = 1000;
  // The window empties the dump 450 ms after the request (whatever came
  // before it is not the dump), so the logger must start well after that.
  config.DownloadDelayMs = 1000;
  config.DownloadChunkBytes = 0;  // the whole dump in one go
  config.DownloadChunkPauseMs = 0;
  config.EndMarkPauseMs = 50;
  TLoggerSimulator sim(config);
  sim.Start();

  SetExceptionPresenter([&state](const std::string &, const std::string &m) { state.SkipWithError(m.c_str()); });
  TCustomSerialPort::SetupDialog = [](TCustomSerialPort &) { return false; };
  {
    TProgram program;
    TForm1 &main = program.Form1();
    main.DownloadCommandGapMs = 200;
    int downloads = 0;
    main.ShowDataWindow = [&downloads] { ++downloads; };
    main.SerialPort1->SetPort(sim.SlavePath());
    RunHandler([&] { main.InsRockerSwitch1Click(); });
    if (!main.SerialPort1->Connected()) {
      state.SkipWithError("no connection");
      return;
    }
    // The dump proper, without the record in progress' line and the end mark.
    const std::size_t dumpBytes = MakeDump(sim.NextDumpHeader(), sim.Records(), TReadings{}).size();
    std::size_t taken = 0;
    for (auto _ : state) {
      main.DATOSLISTOS = false;
      RunHandler([&] { main.InsColBitBtn4Click(); });
      // From the logger's first byte of the dump to the program holding the
      // last: the request's own waits are the logger's, not the program's.
      const long started = sim.Snapshot().DownloadsStarted;
      if (!Pump([&] { return sim.Snapshot().DownloadsStarted > started; }, 10000)) {
        state.SkipWithError("the dump never started");
        break;
      }
      const auto t0 = Clock::now();
      if (!Pump([&] { return main.RichEdit1.size() >= dumpBytes; }, 60000)) {
        const TSimSnapshot s = sim.Snapshot();
        const std::string why = "the dump never ended: " + std::to_string(main.RichEdit1.size()) + " of " +
                                std::to_string(dumpBytes) + " bytes taken, " + std::to_string(s.DownloadBytesSent) +
                                " sent, mode " + std::to_string(static_cast<int>(s.Mode));
        state.SkipWithError(why.c_str());
        break;
      }
      const auto t1 = Clock::now();
      state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
      taken += main.RichEdit1.size();
      const int before = downloads;
      if (!Pump([&] { return downloads > before; }, 10000)) {
        state.SkipWithError("the end mark never came");
        break;
      }
      const long acks = sim.Snapshot().AcksReceived;
      sim.WaitFor([acks](const TSimSnapshot &s) { return s.AcksReceived >= acks && s.Mode == TSimMode::smLive; }, 5000);
    }
    state.SetBytesProcessed(static_cast<int64_t>(taken));
    state.counters["dump_bytes"] = static_cast<double>(dumpBytes);
    // The rate over the line rate; at least 100 is the aim.
    state.counters["x_line_rate"] =
        benchmark::Counter(static_cast<double>(taken) / kLineBytesPerSecond, benchmark::Counter::kIsRate);
    RunHandler([&] { main.InsRockerSwitch1Click(); });
  }
  TCustomSerialPort::SetupDialog = nullptr;
  SetExceptionPresenter(nullptr);
  sim.Stop();
}
BENCHMARK(BM_DownloadIntake)->Arg(2000)->Arg(20000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
