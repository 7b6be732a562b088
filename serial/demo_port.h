#pragma once

// The built-in demo port: the logger simulator on a fresh pseudo-terminal
// inside the program. The port opens the terminal's slave side through the
// ordinary device code, so live frames, commands and downloads all run on the
// real path; a newcomer sees the whole program work without a logger.

#include "serial/port_list.h"
#include "sim/logger_simulator.h"

#include <memory>
#include <string>

// True for the demo port's name, in any letter case.
bool IsDemoPortName(const std::string &port);

// The simulator settings of the demo: a frame every second, a few hundred
// records already stored, the logger clock starting at the PC's time and
// running a minute per second so that a new record is stored every 15
// seconds at the 15-minute rate.
TSimConfig DemoSimulatorConfig();

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
