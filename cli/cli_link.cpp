#include "cli/cli_link.h"

#include "cli/cli_errors.h"
#include "logger/logger_line.h"
#include "serial/serial_port.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Set from a signal handler or another thread: a lock-free atomic is safe
// for both.
std::atomic<int> gInterrupt{0};
static_assert(std::atomic<int>::is_always_lock_free, "the interrupt flag must be usable in a signal handler");

// The running loop sleeps until something happens, so an interrupt must
// wake it: the handler writes a byte into a pipe the loop watches. The
// write end is read by the handler, hence atomic; -1 until the pipe exists
// (or when it could not be made: the loop then looks at the flag on a timer).
std::atomic<int> gWakeWrite{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the wake-up descriptor must be usable in a signal handler");
int gWakeRead = -1;

constexpr unsigned long kCloseGraceMs = 200;
constexpr int kFallbackWatchMs = 20;

void MakeWakePipe() {
  static std::once_flag once;
  std::call_once(once, [] {
    int p[2];
    if (::pipe2(p, O_CLOEXEC | O_NONBLOCK) != 0) return;
    gWakeRead = p[0];
    gWakeWrite = p[1];
  });
}

// Async-signal-safe: one write, errno left as it was.
void WakeLoop() {
  const int saved = errno;
  const int fd = gWakeWrite.load();
  if (fd >= 0) {
    const char byte = 1;
    // A full pipe already holds a wake-up: nothing is lost.
    (void)!::write(fd, &byte, 1);
  }
  errno = saved;
}

void DrainWakes() {
  if (gWakeRead < 0) return;
  char bytes[64];
  while (::read(gWakeRead, bytes, sizeof bytes) > 0) {
  }
}

extern "C" void OnInterruptSignal(int) {
  gInterrupt = 1;
  WakeLoop();
}

}  // namespace

void RequestCliInterrupt() {
  MakeWakePipe();
  gInterrupt = 1;
  WakeLoop();
}
bool CliInterruptRequested() { return gInterrupt != 0; }
void ClearCliInterrupt() {
  gInterrupt = 0;
  DrainWakes();
}

void InstallCliInterruptHandlers() {
  // Made before the handlers can run: the handler itself may not make it.
  MakeWakePipe();
  struct sigaction action {};
  action.sa_handler = OnInterruptSignal;
  sigemptyset(&action.sa_mask);
  // A second Ctrl+C ends the program at once, should it be stuck.
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

TCliLink::TCliLink(const std::string &port)
    : PortName_(port), Port_(std::make_unique<TSerialPort>()), Timers_(std::make_unique<QObject>()) {
  ConfigureLoggerLine(*Port_);
  Port_->SetPort(port);
  Port_->OnRxChar = [this](TCustomSerialPort *, int count) { Received(count); };
  Port_->OnLineLost = [this](TCustomSerialPort *) {
    Fail(std::make_exception_ptr(
        ECliFailure(exLineLost, "Se cortó la línea del puerto " + PortName_ +
                                    ": el dispositivo dejó de responder (¿se desconectó el cable o el adaptador?).")));
  };
}

TCliLink::~TCliLink() {
  // The event thread must be gone before the handlers it calls.
  Close();
}

void TCliLink::Open() { RaiseRtsAndOpen(*Port_); }

void TCliLink::Close() {
  if (!Port_ || !Port_->Connected()) return;
  // Closing purges the device's queues. The window keeps its port open after
  // a command; this program closes right after its last one, so the logger
  // is given time to take it first (the last bytes in a UART's FIFO, or a
  // pseudo-terminal's peer that has not read yet, would be lost otherwise).
  if (Port_->Handle() >= 0) QThread::msleep(kCloseGraceMs);
  LowerRtsAndClose(*Port_);
}

void TCliLink::Received(int count) {
  Guarded([&] {
    std::string text;
    Port_->ReadText(text, count);
    if (Done_ || Failure_) return;
    ++Reads_;
    if (Idle_ && Idle_->isActive()) Idle_->start();
    if (OnRead) OnRead(text);
  });
}

void TCliLink::Guarded(const std::function<void()> &step) {
  try {
    step();
  } catch (...) {
    // Carried out of the loop and raised there, where the command's own
    // clean-up runs.
    Fail(std::current_exception());
  }
}

void TCliLink::Finish() {
  Done_ = true;
  if (Loop_) Loop_->quit();
}

void TCliLink::Fail(std::exception_ptr failure) {
  if (!Failure_) Failure_ = std::move(failure);
  if (Loop_) Loop_->quit();
}

void TCliLink::After(int ms, std::function<void()> step) {
  auto *timer = new QTimer(Timers_.get());
  timer->setSingleShot(true);
  timer->setTimerType(Qt::PreciseTimer);
  QObject::connect(timer, &QTimer::timeout, timer, [this, timer, step = std::move(step)] {
    timer->deleteLater();
    if (!Done_ && !Failure_) Guarded(step);
  });
  timer->start(ms);
}

void TCliLink::Run(int idleMs, const std::function<std::string()> &idleMessage) {
  // A command may run the link in steps: each run goes on until its own Finish.
  Done_ = false;
  if (!Failure_) {
    QEventLoop loop;
    QTimer idle;
    idle.setSingleShot(true);
    idle.setInterval(idleMs);
    QObject::connect(&idle, &QTimer::timeout, &loop,
                     [&] { Fail(std::make_exception_ptr(ECliFailure(exNoData, idleMessage()))); });
    // Ctrl+C wakes the loop through the pipe; between frames an idle loop
    // has nothing else to wake for.
    MakeWakePipe();
    const auto interrupted = [this] {
      if (CliInterruptRequested()) Fail(std::make_exception_ptr(ECliFailure(exInterrupted, "Interrumpido.")));
    };
    std::unique_ptr<QSocketNotifier> wakes;
    QTimer watch;
    if (gWakeRead >= 0) {
      wakes = std::make_unique<QSocketNotifier>(gWakeRead, QSocketNotifier::Read);
      QObject::connect(wakes.get(), &QSocketNotifier::activated, &loop, [interrupted] {
        DrainWakes();
        interrupted();
      });
    } else {
      watch.setInterval(kFallbackWatchMs);
      QObject::connect(&watch, &QTimer::timeout, &loop, interrupted);
    }
    Loop_ = &loop;
    Idle_ = &idle;
    struct Forget {
      TCliLink &link;
      ~Forget() {
        link.Loop_ = nullptr;
        link.Idle_ = nullptr;
      }
    } forget{*this};
    idle.start();
    if (!wakes) watch.start();
    // One that came before this run, its wake-up taken by an earlier one.
    interrupted();
    if (!Failure_) loop.exec();
  }
  if (Failure_) std::rethrow_exception(Failure_);
}
