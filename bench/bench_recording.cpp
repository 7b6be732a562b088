// GRABAR's cost on the window's thread: what keeping a live reading asks of
// it (the frame handed to the recording's thread, the archive's result
// taken in, the count shown). The batch written to the queue on disk and
// the archive's commit happen on other threads; the CPU column is the
// window's thread alone.

#include "app/live_recording.h"
#include "app/main_window.h"
#include "app/program.h"
#include "serial/serial_port.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdlib>
#include <memory>

namespace {

TLiveFrame Frame(int second) {
  TLiveFrame f;
  f.Year = 26, f.Month = 12, f.Day = 8, f.Hours = 14, f.Minutes = (second / 60) % 60, f.Seconds = second % 60;
  for (int k = 0; k < 16; ++k) f.Channels[static_cast<size_t>(k)] = 20.0 + k * 0.7;
  return f;
}

// Settings, archive and queue of the benchmark's own, never the user's.
QTemporaryDir &OwnFolders() {
  static QTemporaryDir dir;
  static bool set = [] {
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
      setenv(name, QFile::encodeName(dir.filePath(name)).constData(), 1);
    setenv("TALVEX_DB", QFile::encodeName(dir.filePath("archivo.sqlite")).constData(), 1);
    return true;
  }();
  (void)set;
  return dir;
}

// A reading kept from the main window, into a real archive through the
// program's writer: the frame handed over, the count shown, and whatever
// the recording's and the writer's threads post back to the window (their
// results, the count) handled, one reading per iteration. Time: until the
// archive committed it; CPU: the window's thread.
void BM_KeepReadingFromTheWindow(benchmark::State &state) {
  OwnFolders();
  TCustomSerialPort::SetupDialog = [](TCustomSerialPort &) { return false; };
  {
    TProgram program;
    program.CreateAllWindows();
    TForm1 &form = program.Form1();
    form.show();
    QApplication::processEvents();
    TLiveRecording &recording = *form.LiveRecording();
    recording.BatchSeconds = 1;  // a batch, and a commit, per reading
    recording.Start("/dev/ttyBENCH", 1);
    std::int64_t pcMs = 1'765'000'000'000;
    int second = 0;
    // Wakes the loop now and then, should the archive never answer.
    QTimer wake;
    wake.start(100);
    QElapsedTimer clock;
    clock.start();
    for (auto _ : state) {
      pcMs += 1000;
      recording.Frame(Frame(++second), pcMs);
      form.ShowRecordCount();
      // Until the archive committed it and the window was told: blocked,
      // not spinning, so the CPU column holds the window's own work.
      while (recording.Kept() < second && clock.elapsed() < 60000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
      QApplication::processEvents();
    }
    recording.Finish();
    state.counters["kept"] = static_cast<double>(recording.Kept());
  }
  TCustomSerialPort::SetupDialog = nullptr;
}
BENCHMARK(BM_KeepReadingFromTheWindow)->Unit(benchmark::kMicrosecond)->Iterations(300);

}  // namespace
