#pragma once

// A logger played by the test on the master side of a pty, on its own thread,
// while talvex-cli runs on the test's (UI) thread.

#include "cli/cli_commands.h"
#include "cli/cli_link.h"

#include "common/pty_pair.h"
#include "sim/logger_simulator.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <unistd.h>

class ScriptedLogger {
public:
  using Clock = std::chrono::steady_clock;

  explicit ScriptedLogger(PtyPair &pty) : pty_(pty) {}
  ~ScriptedLogger() { Join(); }

  // Runs the script on the logger's thread.
  void Play(std::function<void(ScriptedLogger &)> script) {
    thread_ = std::thread([this, script = std::move(script)] { script(*this); });
  }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

  // Reads until `received` holds `count` bytes in all or timeoutMs passed;
  // true when they came. The arrival time of every byte is kept.
  bool ReceiveUntil(std::size_t count, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Received().size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
      if (left <= 0) return false;
      pollfd p{pty_.MasterFd(), POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(std::min<long long>(left, 20))) <= 0) continue;
      char buf[256];
      const ssize_t n = ::read(pty_.MasterFd(), buf, sizeof buf);
      if (n <= 0) continue;
      std::lock_guard<std::mutex> lock(mutex_);
      for (ssize_t i = 0; i < n; ++i) {
        received_ += buf[i];
        arrivals_.push_back(Clock::now());
      }
    }
    return true;
  }
  // Reads whatever comes for ms milliseconds.
  void ReceiveFor(int ms) { ReceiveUntil(static_cast<std::size_t>(-1), ms); }

  void Send(const std::string &bytes) { pty_.Write(bytes); }
  // One write, then a pause so that the next write is a read of its own.
  void SendAlone(const std::string &bytes, int pauseMs = 150) {
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    pty_.Write(bytes);
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
  }
  static void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

  std::string Received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }
  // Milliseconds between the arrival of byte a and byte b.
  long long Between(std::size_t a, std::size_t b) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::chrono::duration_cast<std::chrono::milliseconds>(arrivals_.at(b) - arrivals_.at(a)).count();
  }

private:
  PtyPair &pty_;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::string received_;
  std::vector<Clock::time_point> arrivals_;
};

// talvex-cli run in-process with its output captured.
struct CliRun {
  int Code = -1;
  std::string Out, Err;
};

inline CliRun RunCliCaptured(const std::vector<std::string> &args, bool errIsTerminal = false) {
  std::ostringstream out, err;
  CliRun run;
  run.Code = RunCli(args, TCliStreams{out, err, errIsTerminal});
  run.Out = out.str();
  run.Err = err.str();
  return run;
}

// A live frame of a logger whose memory holds `records`.
inline std::string CountFrame(long records) {
  TLoggerState state;
  state.MemoryCount = records;
  return MakeLiveFrame(state);
}

// 104-character live frame: minutes 30, hour 14, 25/12/03, seconds 07.
inline std::string CliFrame(const std::string &channel1 = "02238", char rate = '5', const std::string &battery = "180",
                            const std::string &memory = "000095") {
  std::string f = "301425120307" + battery + "0" + rate + channel1;
  for (int k = 2; k <= 16; ++k) f += "00500";
  return f + memory + "\n";
}
