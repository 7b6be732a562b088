#pragma once

// talvex-cli's connection to the logger: the port set up as the main window
// sets it, its receive events handed over as text, and an event loop that
// runs until the command is done, fails, the line is lost, the user presses
// Ctrl+C or nothing has arrived for too long.

#include <exception>
#include <functional>
#include <memory>
#include <string>

class TSerialPort;
class QEventLoop;
class QObject;
class QTimer;

// Ctrl+C (or SIGTERM): the signal handler only raises a flag and wakes the
// running loop through a pipe it watches; the loop ends with exInterrupted.
// RequestCliInterrupt does the same from any thread.
void RequestCliInterrupt();
bool CliInterruptRequested();
void ClearCliInterrupt();
// Installs the handlers for SIGINT and SIGTERM.
void InstallCliInterruptHandlers();

class TCliLink {
public:
  explicit TCliLink(const std::string &port);
  ~TCliLink();  // lowers RTS and closes
  TCliLink(const TCliLink &) = delete;
  TCliLink &operator=(const TCliLink &) = delete;

  TSerialPort &Port() { return *Port_; }
  const std::string &PortName() const { return PortName_; }

  void Open();
  void Close();

  // The text of each receive event, in order. What it throws ends Run with
  // that failure.
  std::function<void(const std::string &read)> OnRead;

  // Runs the event loop until Finish; a later Run goes on again. Raises what OnRead or a step threw,
  // ECliFailure exLineLost when the device goes away, exInterrupted on
  // Ctrl+C, and exNoData with the text idleMessage gives once idleMs pass
  // with no read.
  void Run(int idleMs, const std::function<std::string()> &idleMessage);
  void Finish();
  // Ends Run with this failure (the first one reported wins).
  void Fail(std::exception_ptr failure);

  // Runs step once, ms from now, on the loop (the window's timers do this).
  // What it throws ends Run.
  void After(int ms, std::function<void()> step);

  // Reads received so far, and the time of the first one.
  long Reads() const { return Reads_; }

private:
  void Received(int count);
  void Guarded(const std::function<void()> &step);

  std::string PortName_;
  std::unique_ptr<TSerialPort> Port_;
  // Owns the timers of After, so that none outlives the link.
  std::unique_ptr<QObject> Timers_;
  QEventLoop *Loop_ = nullptr;  // while Run runs
  QTimer *Idle_ = nullptr;      // while Run runs
  bool Done_ = false;
  std::exception_ptr Failure_;
  long Reads_ = 0;
};
