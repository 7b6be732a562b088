// The program against a logger line that misbehaves: hung up mid-download,
// already taken by someone else, not reading, interrupted by signals, noisy.
// Always the real serial code on a pseudo-terminal, the simulated logger or
// the test itself on the far end.

#include "app/main_window.h"
#include "app/program.h"
#include "app/rate_window.h"
#include "runtime/application.h"
#include "serial/serial_port.h"
#include "sim/logger_simulator.h"
#include "widgets/ins_rocker_switch.h"
#include "widgets/ins_value_ind.h"

#include "common/pty_pair.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEvent>
#include <QThread>
#include <QWindow>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char kLineLost[] = "Se perdió la conexión con el puerto serie.";

// Entries of a /proc folder with what each leads to: a descriptor closed and
// another opened under the same number is still seen as new.
std::set<std::string> Listing(const char *folder) {
  std::set<std::string> names;
  for (const auto &e : std::filesystem::directory_iterator(folder)) {
    std::error_code ec;
    const auto target = std::filesystem::read_symlink(e.path(), ec);
    names.insert(e.path().filename().string() + " " + (ec ? std::string() : target.string()));
  }
  return names;
}
// The descriptors a serial port may own: devices, pipes, event descriptors.
// (The listing's own and files Qt maps in on first use are not of them.)
std::set<std::string> OpenDescriptors() {
  std::set<std::string> fds;
  for (const std::string &e : Listing("/proc/self/fd"))
    if (e.find(" /proc/") == std::string::npos && e.find(" /usr/") == std::string::npos) fds.insert(e);
  return fds;
}
std::set<std::string> Threads() { return Listing("/proc/self/task"); }

// What `after` has that `before` had not.
std::vector<std::string> Added(const std::set<std::string> &before, const std::set<std::string> &after) {
  std::vector<std::string> added;
  for (const std::string &a : after)
    if (!before.count(a)) added.push_back(a);
  return added;
}

double CpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The whole program with message boxes and the setup dialog replaced by
// recorders, its port pointed at `path`.
class ProgramOnLine {
public:
  explicit ProgramOnLine(const std::string &path) {
    SetExceptionPresenter([this](const std::string &, const std::string &m) { messages.push_back(m); });
    TCustomSerialPort::SetupDialog = [](TCustomSerialPort &) { return false; };
    program = std::make_unique<TProgram>();
    program->CreateAllWindows();  // as after the first paint: the thermometers are fed too
    Main().SerialPort1->SetPort(path);
    Main().DownloadCommandGapMs = 200;
    Main().ShowDataWindow = [this] { ++dataShown; };
  }
  ~ProgramOnLine() {
    program.reset();
    TCustomSerialPort::SetupDialog = nullptr;
    SetExceptionPresenter(nullptr);
  }
  TForm1 &Main() { return program->Form1(); }
  void Connect() {
    RunHandler([this] { Main().InsRockerSwitch1Click(); });
    ASSERT_TRUE(Main().SerialPort1->Connected());
  }

  std::unique_ptr<TProgram> program;
  std::vector<std::string> messages;
  int dataShown = 0;
};

// The bytes the simulator sends for a download of what it holds now, up to
// the start of the record in progress (whose readings depend on the moment).
std::string DumpUpToRecordInProgress(const TLoggerSimulator &sim) {
  const std::string whole = MakeDump(sim.NextDumpHeader(), sim.Records(), TReadings{});
  return whole.substr(0, whole.size() - (kRecordLineDigits + 2));
}

TEST(LineFaults, HangUpMidDownloadIsToldOnceKeepsThePartialDumpAndLeavesNothingRunning) {
  TSimConfig config;
  config.StoredRecords = 300;
  config.RateCode = 2;
  config.DownloadChunkBytes = 512;
  config.DownloadChunkPauseMs = 2;
  config.HangupAfter = 6000;
  TLoggerSimulator sim(config);
  sim.Start();
  const std::string expected = DumpUpToRecordInProgress(sim).substr(0, 6000);
  {
    ProgramOnLine p(sim.SlavePath());
    const auto fdsBefore = OpenDescriptors();
    const auto threadsBefore = Threads();
    p.Connect();
    RunHandler([&] { p.Main().InsColBitBtn4Click(); });
    ASSERT_TRUE(PumpUntil([&] { return !p.messages.empty(); }, 15000));
    EXPECT_EQ(p.messages[0], kLineLost);
    // Every byte sent before the hang-up is in the dump, nothing else.
    EXPECT_EQ(p.Main().RichEdit1, expected);
    EXPECT_FALSE(p.Main().DESCARGANDO);
    EXPECT_FALSE(p.Main().DATOSLISTOS);
    EXPECT_EQ(p.dataShown, 0);
    EXPECT_FALSE(p.Main().SerialPort1->Connected());
    EXPECT_FALSE(p.Main().InsRockerSwitch1->Checked());
    EXPECT_EQ(p.Main().InsRockerSwitch1->Text(), "CONECTAR");

    // Once only, and the port's thread and descriptors are gone (the
    // simulator's own went with its hang-up; nothing may be new).
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(Added(fdsBefore, OpenDescriptors()), std::vector<std::string>{});
    EXPECT_EQ(Added(threadsBefore, Threads()), std::vector<std::string>{});

    // With the UI thread asleep, any CPU used is a thread spinning on the
    // dead line.
    const double before = CpuSeconds();
    QThread::msleep(300);
    EXPECT_LT(CpuSeconds() - before, 0.06) << "something spins after the hang-up";

    // The logger is gone for good: clicking on again says so and still
    // keeps what was received. A test running beside this one may have
    // been given the same pseudo-terminal number meanwhile: then there is
    // a line there again, and nothing of this to check.
    if (!std::filesystem::exists(sim.SlavePath())) {
      RunHandler([&] { p.Main().InsRockerSwitch1Click(); });
      EXPECT_FALSE(p.Main().SerialPort1->Connected());
      EXPECT_FALSE(p.Main().InsRockerSwitch1->Checked());
      EXPECT_EQ(p.messages.size(), 2u);
    }
    EXPECT_EQ(p.Main().RichEdit1, expected);
  }
  sim.Stop();
}

// Runs talvex-cli, built beside this test, and returns its exit status and
// standard error; -1 when the program is not there.
int RunCli(const std::vector<std::string> &args, std::string &err) {
  const std::string exe = std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/talvex-cli";
  if (::access(exe.c_str(), X_OK) != 0) return -1;
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipeFds[1], 2);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    std::vector<char *> argv{const_cast<char *>(exe.c_str())};
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(exe.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  char buf[512];
  ssize_t n;
  while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
    if (n > 0) err.append(buf, static_cast<size_t>(n));
  ::close(pipeFds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(LineFaults, ASecondOpenerIsRefusedAndTheFirstGoesOnUndisturbed) {
  TSimConfig config;
  config.FrameIntervalMs = 50;
  config.TimeAcceleration = 20;  // a second of logger time per frame
  TLoggerSimulator sim(config);
  sim.Start();
  {
    ProgramOnLine p(sim.SlavePath());
    p.Connect();
    ASSERT_TRUE(PumpUntil([&] { return !p.Main().Edit3->text().isEmpty(); }, 5000));

    // Another port object in this program.
    TSerialPort second;
    second.SetPort(sim.SlavePath());
    try {
      second.Open();
      ADD_FAILURE() << "the second open went through";
    } catch (const ESerialPort &e) {
      EXPECT_EQ(e.Code(), ecOpenFailed);
      EXPECT_EQ(e.OsCode(), EBUSY) << e.Message();
    }
    EXPECT_FALSE(second.Connected());

    // Another program.
    std::string err;
    const int status = RunCli({"live", "--port", sim.SlavePath(), "--count", "1"}, err);
    if (status >= 0) {
      EXPECT_EQ(status, 4) << err;
      EXPECT_NE(err.find(sim.SlavePath()), std::string::npos) << err;
    }

    // The first one still shows every new frame.
    const QString seen = p.Main().Edit3->text();
    EXPECT_TRUE(PumpUntil([&] { return !p.Main().Edit3->text().isEmpty() && p.Main().Edit3->text() != seen; }, 3000));
    EXPECT_TRUE(p.Main().SerialPort1->Connected());
    EXPECT_TRUE(p.messages.empty());
  }
  sim.Stop();
}

// Counts the paints the window and its parts receive.
class PaintCounter : public QObject {
public:
  explicit PaintCounter(QWidget &window) : window_(window) { qApp->installEventFilter(this); }
  ~PaintCounter() override { qApp->removeEventFilter(this); }
  int paints = 0;
  bool eventFilter(QObject *o, QEvent *e) override {
    if (e->type() == QEvent::Paint && o->isWidgetType() &&
        (o == &window_ || window_.isAncestorOf(static_cast<QWidget *>(o))))
      ++paints;
    return false;
  }

private:
  QWidget &window_;
};

TEST(LineFaults, APeerThatStopsReadingDoesNotFreezeTheWindow) {
  PtyPair pty;  // the test never reads its master: the line fills up
  ProgramOnLine p(pty.SlavePath());
  p.Main().show();
  p.Connect();
  // Fill the line towards the logger from a second descriptor (root passes
  // the exclusive mode; the lock is the port's own).
  const int filler = ::open(pty.SlavePath().c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(filler, 0);
  // The kernel moves what was written on towards the master a little later,
  // making room again: full is when a pause frees nothing.
  const std::string block(4096, 'z');
  bool full = false;
  for (int round = 0; round < 200 && !full; ++round) {
    long wrote = 0;
    for (std::size_t size : {block.size(), std::size_t{1}}) {
      ssize_t n;
      while ((n = ::write(filler, block.data(), size)) > 0) wrote += n;
      ASSERT_EQ(errno, EAGAIN);
    }
    full = wrote == 0;
    QThread::msleep(20);
  }
  ::close(filler);
  ASSERT_TRUE(full);

  ASSERT_TRUE(PumpUntil([&] { return p.Main().windowHandle() && p.Main().windowHandle()->isExposed(); }, 3000));
  PumpUntil([] { return false; }, 100);
  PaintCounter counter(p.Main());
  QElapsedTimer clock;
  clock.start();
  p.Main().HORAPENDIENTE = true;
  RunHandler([&] { p.Main().Timer3Timer(); });  // the clock set: thirteen writes
  const qint64 blockedMs = clock.elapsed();
  // One write's limit is 1.1 s here; waiting it out for every digit would
  // hold the window for a quarter of a minute. And the user hears of it.
  EXPECT_LT(blockedMs, 4000) << "the window was held while every write timed out";
  ASSERT_EQ(p.messages.size(), 1u);
  EXPECT_EQ(p.messages[0], "El registrador no recibe: la orden no salió por el puerto a tiempo.");
  EXPECT_FALSE(p.Main().HORAPENDIENTE);
  p.Main().update();
  EXPECT_TRUE(PumpUntil([&] { return counter.paints > 0; }, 2000));
  EXPECT_TRUE(p.Main().SerialPort1->Connected());

  // A rate change and the end-of-download acknowledgement are told alike;
  // the download still ends and its records are shown.
  p.program->Form7().RadioGroup1->SetItemIndex(1);
  ASSERT_EQ(p.messages.size(), 2u);
  EXPECT_EQ(p.messages[1], p.messages[0]);
  p.Main().DESCARGANDO = true;
  pty.Write("A");
  ASSERT_TRUE(PumpUntil([&] { return p.dataShown == 1; }, 5000));
  ASSERT_EQ(p.messages.size(), 3u);
  EXPECT_EQ(p.messages[2], p.messages[0]);
  EXPECT_TRUE(p.Main().DATOSLISTOS);
  EXPECT_FALSE(p.Main().DESCARGANDO);
}

volatile sig_atomic_t gSignals = 0;
void CountSignal(int) { gSignals = gSignals + 1; }

// Signals without SA_RESTART hit every thread's system calls with EINTR.
class SignalStorm {
public:
  explicit SignalStorm(int intervalUs) {
    struct sigaction sa {};
    sa.sa_handler = CountSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    ::sigaction(SIGALRM, &sa, &oldAlrm_);
    ::sigaction(SIGUSR1, &sa, &oldUsr1_);
    itimerval t{};
    t.it_interval.tv_usec = intervalUs;
    t.it_value.tv_usec = intervalUs;
    ::setitimer(ITIMER_REAL, &t, nullptr);
  }
  ~SignalStorm() {
    itimerval off{};
    ::setitimer(ITIMER_REAL, &off, nullptr);
    ::sigaction(SIGALRM, &oldAlrm_, nullptr);
    ::sigaction(SIGUSR1, &oldUsr1_, nullptr);
  }

private:
  struct sigaction oldAlrm_ {
  }, oldUsr1_{};
};

TEST(LineFaults, SignalsDuringADownloadLoseNothing) {
  TSimConfig config;
  config.StoredRecords = 400;
  config.RateCode = 2;
  config.DownloadChunkBytes = 256;
  config.DownloadChunkPauseMs = 1;
  TLoggerSimulator sim(config);
  sim.Start();
  const std::string expected = DumpUpToRecordInProgress(sim);
  {
    ProgramOnLine p(sim.SlavePath());
    p.Connect();
    gSignals = 0;
    {
      SignalStorm storm(500);
      RunHandler([&] { p.Main().InsColBitBtn4Click(); });
      ASSERT_TRUE(PumpUntil([&] { return p.dataShown == 1; }, 20000)) << p.Main().RichEdit1.size() << " bytes";
      // A few more through the acknowledgement.
      ::kill(::getpid(), SIGUSR1);
      ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return s.AcksReceived == 1; }, 5000));
    }
    EXPECT_GT(gSignals, 50);
    const std::string &dump = p.Main().RichEdit1;
    ASSERT_EQ(dump.size(), expected.size() + kRecordLineDigits + 2 + 1);
    EXPECT_EQ(dump.substr(0, expected.size()), expected);
    EXPECT_EQ(dump.back(), 'A');
    EXPECT_TRUE(p.Main().DATOSLISTOS);
    EXPECT_TRUE(p.messages.empty());
  }
  sim.Stop();
}

// A logger that pours out more than a megabyte at the pseudo-terminal's
// speed outruns the window's reads; the port must hold the rest back, not
// drop it.
TEST(LineFaults, ADumpFasterThanTheWindowReadsLosesNothing) {
  TSimConfig config;
  config.Capacity = 15000;
  config.StoredRecords = 15000;
  config.RateCode = 1;
  config.DownloadDelayMs = 1000;
  config.DownloadChunkBytes = 0;
  config.DownloadChunkPauseMs = 0;
  TLoggerSimulator sim(config);
  sim.Start();
  const std::string expected = DumpUpToRecordInProgress(sim);
  ASSERT_GT(expected.size(), 1400000u);
  {
    ProgramOnLine p(sim.SlavePath());
    p.Connect();
    RunHandler([&] { p.Main().InsColBitBtn4Click(); });
    ASSERT_TRUE(PumpUntil([&] { return p.dataShown == 1; }, 60000)) << p.Main().RichEdit1.size() << " bytes";
    const std::string &dump = p.Main().RichEdit1;
    ASSERT_EQ(dump.size(), expected.size() + kRecordLineDigits + 2 + 1);
    EXPECT_TRUE(dump.compare(0, expected.size(), expected) == 0);
    EXPECT_TRUE(p.messages.empty());
  }
  sim.Stop();
}

TEST(LineFaults, EveryGoodFrameAmongNoisyOnesIsShown) {
  TSimConfig config;
  config.FrameIntervalMs = 15;
  config.TimeAcceleration = 1000.0 / 15;  // each frame one logger second on
  config.CorruptEvery = 3;
  config.Seed = 7;
  TLoggerSimulator sim(config);
  sim.Start();
  {
    // Declared before the program: closing it may still show a frame.
    std::vector<QString> shown;
    bool outOfRange = false;
    ProgramOnLine p(sim.SlavePath());
    const QMetaObject::Connection watch =
        QObject::connect(p.Main().Edit3, &QLineEdit::textChanged, [&](const QString &t) {
          if (t.isEmpty()) return;
          shown.push_back(t);
          for (int k = 1; k <= 16; ++k) {
            const float v = p.Main().ChannelIndicator(k)->Value();
            if (!(v > 0.0f && v < 70.0f)) outOfRange = true;
          }
        });
    p.Connect();
    ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return s.FramesSent >= 5; }, 5000));
    const TSimSnapshot start = sim.Snapshot();
    const size_t shownAtStart = shown.size();
    PumpUntil([] { return false; }, 1500);
    const TSimSnapshot mid = sim.Snapshot();
    const long good = (mid.FramesSent - mid.CorruptFramesSent) - (start.FramesSent - start.CorruptFramesSent);
    ASSERT_GT(mid.CorruptFramesSent - start.CorruptFramesSent, 10);
    // What was sent by `mid` arrives soon after; nothing more than the good
    // frames ever shows.
    EXPECT_TRUE(PumpUntil([&] { return static_cast<long>(shown.size() - shownAtStart) >= good - 1; }, 3000))
        << shown.size() - shownAtStart << " of " << good;
    const TSimSnapshot end = sim.Snapshot();
    EXPECT_LE(static_cast<long>(shown.size()), end.FramesSent - end.CorruptFramesSent);
    EXPECT_FALSE(outOfRange);
    // No shown time twice: every show was a frame of its own.
    EXPECT_EQ(std::set<QString>(shown.begin(), shown.end()).size(), shown.size());
    EXPECT_TRUE(p.messages.empty());
    QObject::disconnect(watch);
  }
  sim.Stop();
}

}  // namespace
