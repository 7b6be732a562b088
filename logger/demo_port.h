#pragma once

// The built-in demo port: the logger simulator on a fresh pseudo-terminal
// inside the program. The program registers its name with the serial code,
// which opens the terminal's slave side through the ordinary device code, so
// live frames, commands and downloads all run on the real path; a newcomer
// sees the whole program work without a logger.

#include "sim/logger_simulator.h"

#include <memory>
#include <string>

// The demo port's name, last in the port listing.
extern const char kDemoPortName[];  // "DEMO"

// True for the demo port's name, in any letter case.
bool IsDemoPortName(const std::string &port);

// Adds the demo port to the names the serial code lists and opens. Both
// programs do it at start-up; doing it again changes nothing.
void RegisterDemoPort();

// The simulator settings of the demo: a frame every second, a few hundred
// records already stored, the logger's clock in real time but starting
// kDemoClockAheadMs ahead of the PC's and gaining kDemoDriftSecondsPerDay.
TSimConfig DemoSimulatorConfig();
constexpr std::int64_t kDemoClockAheadMs = 37000;
constexpr double kDemoDriftSecondsPerDay = 20;

class TDemoPort {
public:
  // Starts the simulator; raises ESerialPort code 1 (with the system's error
  // number when there is one) when no pseudo-terminal can be had.
  explicit TDemoPort(const TSimConfig &config = DemoSimulatorConfig());
  ~TDemoPort();  // stops the simulator
  TDemoPort(const TDemoPort &) = delete;
  TDemoPort &operator=(const TDemoPort &) = delete;

  // The terminal the port opens.
  std::string DevicePath() const;
  TLoggerSimulator &Simulator() { return *simulator_; }

  // How many demo simulators are running in this program.
  static int Running();

private:
  std::unique_ptr<TLoggerSimulator> simulator_;
};
