// talvex-cli on a port a terminal program has locked: it says which process
// holds it, and opens the port again once that process is gone.

#include "cli/cli_errors.h"
#include "serial/serial_device.h"

#include "cli_test_peer.h"
#include "common/pty_pair.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(CliPortLock, ALockedPortNamesItsHolder) {
  PtyPair pty;
  const std::string lockFile = SerialLockFileFor(pty.SlavePath());
  if (lockFile.empty() || ::access(SerialLockFolder().c_str(), W_OK) != 0) GTEST_SKIP() << "no lock folder to write";
  const pid_t holder = ::fork();
  if (holder == 0) {
    for (;;) ::pause();
  }
  ASSERT_GT(holder, 0);
  char content[16];
  std::snprintf(content, sizeof content, "%10d\n", static_cast<int>(holder));
  std::ofstream(lockFile, std::ios::trunc) << content;

  const CliRun busy = RunCliCaptured({"set-rate", "--port", pty.SlavePath(), "30"});
  EXPECT_EQ(busy.Code, exPortBusy);
  EXPECT_NE(busy.Err.find("en uso"), std::string::npos) << busy.Err;
  EXPECT_NE(busy.Err.find("proceso " + std::to_string(holder)), std::string::npos) << busy.Err;

  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  const CliRun freed = RunCliCaptured({"set-rate", "--port", pty.SlavePath(), "30"});
  EXPECT_NE(freed.Code, exPortBusy) << freed.Err;
  EXPECT_NE(::access(lockFile.c_str(), F_OK), 0) << "talvex-cli left its lock behind";
  ::unlink(lockFile.c_str());
}
