#include "cli/cli_link.h"

#include "cli/cli_errors.h"
#include "logger/logger_line.h"
#include "serial/serial_port.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <utility>

namespace {

// Set from a signal handler or another thread: a lock-free atomic is safe
// for both.
std::atomic<int> gInterrupt{0};
static_assert(std::atomic<int>::is_always_lock_free, "the interrupt flag must be usable in a signal handler");

constexpr unsigned long kCloseGraceMs = 200;

extern "C" void OnInterruptSignal(int) { gInterrupt = 1; }

}  // namespace

void RequestCliInterrupt() { gInterrupt = 1; }
bool CliInterruptRequested() { return gInterrupt != 0; }
void ClearCliInterrupt() { gInterrupt = 0; }

void InstallCliInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = OnInterruptSignal;
  sigemptyset(&action.sa_mask);
  // A second Ctrl+C ends the program at once, should it be stuck.
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

TCliLink::TCliLink(const std::string &port)
    : portName_(port), port_(std::make_unique<TSerialPort>()), timers_(std::make_unique<QObject>()) {
  ConfigureLoggerLine(*port_);
  port_->SetPort(port);
  port_->OnRxChar = [this](TCustomSerialPort *, int count) { Received(count); };
  port_->OnLineLost = [this](TCustomSerialPort *) {
    Fail(std::make_exception_ptr(
        ECliFailure(exLineLost, "Se cortó la línea del puerto " + portName_ +
                                    ": el dispositivo dejó de responder (¿se desconectó el cable o el adaptador?).")));
  };
}

TCliLink::~TCliLink() {
  // The event thread must be gone before the handlers it calls.
  Close();
}

void TCliLink::Open() { RaiseRtsAndOpen(*port_); }

void TCliLink::Close() {
  if (!port_ || !port_->Connected()) return;
  // Closing purges the device's queues. The window keeps its port open after
  // a command; this program closes right after its last one, so the logger
  // is given time to take it first (the last bytes in a UART's FIFO, or a
  // pseudo-terminal's peer that has not read yet, would be lost otherwise).
  if (port_->Handle() >= 0) QThread::msleep(kCloseGraceMs);
  LowerRtsAndClose(*port_);
}

void TCliLink::Received(int count) {
  Guarded([&] {
    std::string text;
    port_->ReadText(text, count);
    if (done_ || failure_) return;
    ++reads_;
    if (idle_ && idle_->isActive()) idle_->start();
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
  done_ = true;
  if (loop_) loop_->quit();
}

void TCliLink::Fail(std::exception_ptr failure) {
  if (!failure_) failure_ = std::move(failure);
  if (loop_) loop_->quit();
}

void TCliLink::After(int ms, std::function<void()> step) {
  auto *timer = new QTimer(timers_.get());
  timer->setSingleShot(true);
  timer->setTimerType(Qt::PreciseTimer);
  QObject::connect(timer, &QTimer::timeout, timer, [this, timer, step = std::move(step)] {
    timer->deleteLater();
    if (!done_ && !failure_) Guarded(step);
  });
  timer->start(ms);
}

void TCliLink::Run(int idleMs, const std::function<std::string()> &idleMessage) {
  // A command may run the link in steps: each run goes on until its own Finish.
  done_ = false;
  if (!failure_) {
    QEventLoop loop;
    QTimer idle;
    idle.setSingleShot(true);
    idle.setInterval(idleMs);
    QObject::connect(&idle, &QTimer::timeout, &loop,
                     [&] { Fail(std::make_exception_ptr(ECliFailure(exNoData, idleMessage()))); });
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
      if (CliInterruptRequested()) Fail(std::make_exception_ptr(ECliFailure(exInterrupted, "Interrumpido.")));
    });
    loop_ = &loop;
    idle_ = &idle;
    struct Forget {
      TCliLink &link;
      ~Forget() {
        link.loop_ = nullptr;
        link.idle_ = nullptr;
      }
    } forget{*this};
    idle.start();
    watch.start();
    loop.exec();
  }
  if (failure_) std::rethrow_exception(failure_);
}
