#pragma once

// The simulated logger's state, shared by its two halves and nothing else:
// logger_simulator.cpp (start, stop and what callers read of it) and
// logger_simulator_thread.cpp (the thread that plays the logger on the pty
// master).

#include "sim/logger_simulator.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <unistd.h>

using TClock = std::chrono::steady_clock;
using TTimePoint = TClock::time_point;
using std::chrono::milliseconds;

namespace logger_sim {

inline void CloseFd(int &fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace logger_sim

struct TLoggerSimulator::TImpl {
  // One run of the logger on the thread (logger_simulator_thread.cpp).
  class TSession;

  int Master = -1;
  int Slave = -1;  // held open so the master works before anyone opens it
  int StopRead = -1, StopWrite = -1;
  std::string SlavePath;
  bool LinkMade = false;
  bool Running = false;

  TTimePoint T0;
  std::int64_t LastTick = -1;
  std::int64_t SimBaseMs = 0;     // simulated time at tick 0
  std::int64_t SimNowMs = 0;      // simulated time at LastTick
  std::int64_t ElapsedSimMs = 0;  // since start, for the battery
  std::int64_t AnchorMs = 0;      // when the record in progress began
  int RateCode = 4;
  int Battery = 0;
  std::vector<TReadings> Records;

  TSimSnapshot Stats;  // counters and received bytes; mode kept here too

  TTimePoint ModeDeadline{};
  bool CollectingClock = false;
  std::string ClockDigits;
  TTimePoint ClockDeadline{};

  std::string Out;  // bytes queued for the master, sent up to OutPos
  size_t OutPos = 0;
  TTimePoint LastProgress{};

  std::string Dump;
  size_t DumpPos = 0;
  TTimePoint NextChunk{};
  bool Drained = false;
  TTimePoint DrainedAt{};
  int LastPending = 0;

  TTimePoint HupUntil{};

  std::vector<std::string> Events;  // told to OnEvent outside the lock

  std::int64_t StepMs() const { return RateStepMinutes(RateCode) * 60000LL; }
  long Count() const { return static_cast<long>(Records.size()); }
  TSimDumpHeader Header() const {
    return TSimDumpHeader{TSimDateTime::FromMs(AnchorMs - Count() * StepMs()), RateCode};
  }
};
