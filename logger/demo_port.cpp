#include "logger/demo_port.h"

#include "serial/port_registry.h"
#include "serial/serial_port.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <ctime>

const char kDemoPortName[] = "DEMO";

namespace {
std::atomic<int> runningDemos{0};

}  // namespace

void RegisterDemoPort() {
  RegisterPortName(kDemoPortName, [] {
    // Held by the port while it is open: closing it stops the simulator.
    auto demo = std::make_shared<TDemoPort>();
    const std::string path = demo->DevicePath();
    return TProvidedDevice{path, std::move(demo)};
  });
}

bool IsDemoPortName(const std::string &port) {
  const std::string demo = kDemoPortName;
  if (port.size() != demo.size()) return false;
  for (std::size_t i = 0; i < port.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(port[i])) != demo[i]) return false;
  return true;
}

TSimConfig DemoSimulatorConfig() {
  TSimConfig cfg;
  cfg.FrameIntervalMs = 1000;
  cfg.StoredRecords = 300;  // a download of a few seconds, a graph with shape
  cfg.Capacity = kDefaultCapacity;
  cfg.RateCode = 4;  // 15 minutes: one the main window shows
  // A logger left in the field: its clock a little fast and gaining, so the
  // clock-set window has a drift to tell and a clock set is seen to take.
  cfg.Start = TSimDateTime::FromMs(TSimDateTime::Now().ToMs() + kDemoClockAheadMs);
  cfg.DriftSecondsPerDay = kDemoDriftSecondsPerDay;
  // The logger sends a two-digit year.
  if (cfg.Start.Year < 2000 || cfg.Start.Year > 2099) cfg.Start.Year = 2004;
  // Real time otherwise: the logger's clock beside the PC's clock must keep
  // step, or a newcomer setting the clock would think it broken.
  cfg.TimeAcceleration = 1.0;
  cfg.Seed = static_cast<std::uint64_t>(std::time(nullptr));
  return cfg;
}

TDemoPort::TDemoPort(const TSimConfig &config) : simulator_(std::make_unique<TLoggerSimulator>(config)) {
  try {
    simulator_->Start();
  } catch (const ESimulator &e) {
    // Reported the way every failed open is, with the system's number.
    throw ESerialPort(ecOpenFailed, e.OsCode() != 0 ? e.OsCode() : ENODEV);
  }
  ++runningDemos;
}

TDemoPort::~TDemoPort() {
  simulator_->Stop();
  --runningDemos;
}

std::string TDemoPort::DevicePath() const { return simulator_->SlavePath(); }

int TDemoPort::Running() { return runningDemos.load(); }
