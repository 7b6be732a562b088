// talvex-cli's loop between frames: asleep until the line, a timer or an
// interrupt has something for it, and woken at once by a real signal.

#include "cli/cli_link.h"
#include "cli/cli_errors.h"

#include "common/pty_pair.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>

#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Times the calling thread has gone to sleep and been woken again.
long ThreadWakes() {
  std::ifstream status("/proc/self/task/" + std::to_string(::syscall(SYS_gettid)) + "/status");
  long wakes = 0;
  for (std::string line; std::getline(status, line);)
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0) wakes = std::stol(line.substr(line.find(':') + 1));
  return wakes;
}

// The handlers talvex-cli installs, for the length of a test.
class CliSignals {
public:
  CliSignals() {
    ::sigaction(SIGINT, nullptr, &oldInt_);
    ::sigaction(SIGTERM, nullptr, &oldTerm_);
    ClearCliInterrupt();
    InstallCliInterruptHandlers();
  }
  ~CliSignals() {
    ::sigaction(SIGINT, &oldInt_, nullptr);
    ::sigaction(SIGTERM, &oldTerm_, nullptr);
    ClearCliInterrupt();
  }

private:
  struct sigaction oldInt_ {};
  struct sigaction oldTerm_ {};
};

int RunUntilFailure(TCliLink &link, int idleMs) {
  try {
    link.Run(idleMs, [] { return std::string("nada"); });
  } catch (const ECliFailure &e) {
    return e.Code();
  }
  return exOk;
}

}  // namespace

TEST(CliLink, AQuietLineLeavesTheLoopAsleep) {
  ClearCliInterrupt();
  PtyPair pty;
  TCliLink link(pty.SlavePath());
  link.Open();
  link.After(1500, [&link] { link.Finish(); });
  const long before = ThreadWakes();
  EXPECT_EQ(RunUntilFailure(link, 10000), exOk);
  // Looking for Ctrl+C on a timer wakes it 75 times in these 1.5 s; the
  // loop itself needs a handful (the timer, the port's start).
  EXPECT_LT(ThreadWakes() - before, 20);
}

TEST(CliLink, ASignalWakesTheSleepingLoopAtOnce) {
  for (const int sig : {SIGINT, SIGTERM}) {
    CliSignals signals;
    PtyPair pty;
    TCliLink link(pty.SlavePath());
    link.Open();
    // Raised on another thread, as a terminal's Ctrl+C may be delivered to
    // any thread of the process; the idle limit stands well beyond it.
    std::thread raiser([sig] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      ::kill(::getpid(), sig);
    });
    EXPECT_EQ(RunUntilFailure(link, 20000), exInterrupted) << sig;
    raiser.join();
    EXPECT_TRUE(CliInterruptRequested());
  }
}
