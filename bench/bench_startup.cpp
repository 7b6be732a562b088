// Start-up and memory of the program against a bare Qt Widgets window, and
// the memory the main window gains over a long run of live frames.
//
// Start-up is measured on fresh processes: this program runs itself again
// with TALVEX_STARTUP_CHILD set, and the child starts the program as its own
// main does (or shows an empty window, or a window with one line of text),
// waits for the first paint, and reports how long after the parent spawned it
// that was and how much memory it then holds. All children are the same
// executable, so the differences are the windows' own work, not the loading
// of a bigger file.
#include "app/main_window.h"
#include "app/program.h"
#include "runtime/application.h"
#include "serial/serial_port.h"
#include "sim/logger_simulator.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QWidget>
#include <QWindow>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

namespace {

long NowNs() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000000000L + t.tv_nsec;
}

// Resident memory in kB (VmRSS) or its peak (VmHWM).
long StatusKb(const char *field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::size_t n = std::strlen(field);
  while (std::getline(in, line))
    if (line.compare(0, n, field) == 0 && line[n] == ':') return std::atol(line.c_str() + n + 1);
  return -1;
}

bool Pump(const std::function<bool()> &done, int timeoutMs) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

// --- the child --------------------------------------------------------------

// The child runs the harness's own main() (its QApplication included, as
// the program's main has one) with only this step selected; it reports and
// ends the process.
// Shows the window and waits for its first paint. The time is taken right
// after the event-loop pass that painted it (a window's first paint is
// flushed in that same pass), before any work the window left for later.
bool ShowAndWaitForPaint(QWidget &w) {
  // A window wholly covered by its children gets no paint of its own: any
  // paint in it counts.
  struct TPaintSeen : QObject {
    QWidget *Window = nullptr;
    bool Seen = false;
    bool eventFilter(QObject *o, QEvent *e) override {
      if (e->type() == QEvent::Paint && o->isWidgetType() && static_cast<QWidget *>(o)->window() == Window) Seen = true;
      return false;
    }
  } watch;
  watch.Window = &w;
  QCoreApplication::instance()->installEventFilter(&watch);
  w.show();
  w.activateWindow();
  QElapsedTimer t;
  t.start();
  while (!watch.Seen && t.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents);
  QCoreApplication::instance()->removeEventFilter(&watch);
  return watch.Seen && w.windowHandle() && w.windowHandle()->isExposed();
}

[[noreturn]] void RunStartupChild(const char *kind, long spawnedAtNs) {
  bool shown = false;
  if (std::strcmp(kind, "talvex") == 0) {
    // As the program's own start, with the port setup dialog answered at
    // once (it is a modal dialog waiting for a person).
    TCustomSerialPort::SetupDialog = [](TCustomSerialPort &) { return false; };
    auto *program = new TProgram;  // left to the process' end, as the program's
    shown = ShowAndWaitForPaint(program->Form1());
  } else if (std::strcmp(kind, "label") == 0) {
    auto *w = new QLabel("TALVEX  V 2.0 -- 16 CANALES DE TEMPERATURA");
    w->resize(560, 461);
    shown = ShowAndWaitForPaint(*w);
  } else {
    auto *w = new QWidget;
    w->resize(560, 461);
    shown = ShowAndWaitForPaint(*w);
  }
  const long shownNs = NowNs();
  std::printf("%ld %ld %d\n", shownNs - spawnedAtNs, StatusKb("VmRSS"), shown ? 1 : 0);
  std::fflush(stdout);
  std::_Exit(0);
}

struct ChildGate {
  ChildGate() {
    if (std::getenv("TALVEX_STARTUP_CHILD") && std::getenv("TALVEX_STARTUP_AT"))
      benchmark::RegisterBenchmark("startup_child", [](benchmark::State &) {
        RunStartupChild(std::getenv("TALVEX_STARTUP_CHILD"), std::atol(std::getenv("TALVEX_STARTUP_AT")));
      });
  }
} childGate;

// --- the parent -------------------------------------------------------------

struct TStartup {
  double Ms = 0;
  long RssKb = 0;
  bool Ok = false;
};

TStartup SpawnChild(const char *kind) {
  std::string exe(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", exe.data(), exe.size() - 1);
  if (n <= 0) return {};
  exe.resize(static_cast<std::size_t>(n));
  int out[2];
  if (::pipe(out) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const std::string kindVar = std::string("TALVEX_STARTUP_CHILD=") + kind;
  std::string atVar;
  std::vector<std::string> env;
  for (char **e = environ; *e; ++e)
    if (std::strncmp(*e, "TALVEX_STARTUP_", 15) != 0) env.emplace_back(*e);
  env.push_back(kindVar);
  char filter[] = "--benchmark_filter=^startup_child$";
  char *argv[] = {exe.data(), filter, nullptr};
  const long at = NowNs();
  env.push_back("TALVEX_STARTUP_AT=" + std::to_string(at));
  std::vector<char *> envp;
  envp.reserve(env.size() + 1);
  for (std::string &s : env) envp.push_back(s.data());
  envp.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  std::string text;
  char buf[256];
  ssize_t r;
  while ((r = ::read(out[0], buf, sizeof buf)) > 0 || (r < 0 && errno == EINTR))
    if (r > 0) text.append(buf, static_cast<std::size_t>(r));
  ::close(out[0]);
  if (rc != 0) return {};
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  TStartup s;
  long ns = 0, kb = 0;
  int ok = 0;
  if (std::sscanf(text.c_str(), "%ld %ld %d", &ns, &kb, &ok) == 3) {
    s.Ms = ns / 1e6;
    s.RssKb = kb;
    s.Ok = ok == 1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  return s;
}

// Both kinds in turn in every iteration, so that both see the same machine;
// the reported time is the program's, the counters put it beside the bare
// window's.
void BM_StartupToMainWindowShown(benchmark::State &state) {
  double talvexMs = 0, bareMs = 0, labelMs = 0;
  long talvexKb = 0, bareKb = 0;
  int runs = 0;
  for (auto _ : state) {
    const TStartup bare = SpawnChild("bare");
    const TStartup label = SpawnChild("label");
    const TStartup program = SpawnChild("talvex");
    if (!bare.Ok || !label.Ok || !program.Ok) {
      state.SkipWithError("a child did not show its window");
      return;
    }
    state.SetIterationTime(program.Ms / 1000.0);
    talvexMs += program.Ms;
    bareMs += bare.Ms;
    labelMs += label.Ms;
    talvexKb += program.RssKb;
    bareKb += bare.RssKb;
    ++runs;
  }
  if (runs == 0) return;
  state.counters["talvex_ms"] = talvexMs / runs;
  state.counters["bare_ms"] = bareMs / runs;
  state.counters["time_ratio"] = talvexMs / bareMs;  // aim: at most 1.5
  // A window showing one line of text pays for the fonts (fontconfig, glyph
  // loading) that an empty window never touches: the floor of any window with
  // words in it.
  state.counters["label_ms"] = labelMs / runs;
  state.counters["label_ratio"] = labelMs / bareMs;
  // Averaged in megabytes, not in whole kilobytes first.
  state.counters["talvex_rss_MB"] = talvexKb / 1024.0 / runs;
  state.counters["bare_rss_MB"] = bareKb / 1024.0 / runs;
  state.counters["extra_MB"] = (talvexKb - bareKb) / 1024.0 / runs;  // aim: at most 30
}
BENCHMARK(BM_StartupToMainWindowShown)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

// The main window connected to a logger that sends frames as fast as it can
// (one a millisecond), for TALVEX_SOAK_SECONDS (20 by default): the resident
// memory after a warm-up against the memory at the end. Aim: under 1 MB.
void BM_LiveFramesMemoryGrowth(benchmark::State &state) {
  const char *env = std::getenv("TALVEX_SOAK_SECONDS");
  const int seconds = env ? std::max(3, std::atoi(env)) : 20;
  TSimConfig config;
  config.FrameIntervalMs = 1;
  config.TimeAcceleration = 1000;  // a logger second per frame: every frame differs
  config.Capacity = 1000000;
  TLoggerSimulator sim(config);
  sim.Start();
  SetExceptionPresenter([&state](const std::string &, const std::string &m) { state.SkipWithError(m.c_str()); });
  TCustomSerialPort::SetupDialog = [](TCustomSerialPort &) { return false; };
  {
    TProgram program;
    program.CreateAllWindows();  // as after the first paint: the thermometers are fed too
    TForm1 &main = program.Form1();
    main.show();
    main.SerialPort1->SetPort(sim.SlavePath());
    RunHandler([&] { main.InsRockerSwitch1Click(); });
    long shown = 0;
    QObject::connect(main.Edit3, &QLineEdit::textChanged, [&shown](const QString &t) {
      if (!t.isEmpty()) ++shown;
    });
    for (auto _ : state) {
      Pump([] { return false; }, 2000);  // warm-up: caches, fonts, buffers
      const long startKb = StatusKb("VmRSS");
      const long startShown = shown;
      const long startFrames = sim.Snapshot().FramesSent;
      const auto t0 = std::chrono::steady_clock::now();
      Pump([] { return false; }, seconds * 1000);
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      state.SetIterationTime(elapsed);
      state.counters["seconds"] = elapsed;
      state.counters["frames_sent"] = static_cast<double>(sim.Snapshot().FramesSent - startFrames);
      state.counters["frames_shown"] = static_cast<double>(shown - startShown);
      state.counters["growth_kB"] = static_cast<double>(StatusKb("VmRSS") - startKb);  // aim: under 1024
    }
    RunHandler([&] { main.InsRockerSwitch1Click(); });
  }
  TCustomSerialPort::SetupDialog = nullptr;
  SetExceptionPresenter(nullptr);
  sim.Stop();
}
BENCHMARK(BM_LiveFramesMemoryGrowth)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
