// The process ending with the port open, from inside a receive handler the
// event thread is waiting for: as when Qt calls exit() because the display
// went away while a window opened by the handler was up.

#include "serial/serial_port.h"

#include "common/pty_pair.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

std::string g_device;

// Registered before the port opens, so it runs after the port's own exit
// step: the device must be free again, for anybody, exclusively.
void CheckThePortWasLetGo() {
  const int fd = ::open(g_device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  int exclusive = 1;
  const bool free =
      fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive == 0;
  ::_exit(free ? 0 : 3);
}

void ExitInsideTheReceiveHandler() {
  ::alarm(20);  // an exit that hangs is ended by the alarm's signal instead
  PtyPair pty;
  g_device = pty.SlavePath();
  std::atexit(CheckThePortWasLetGo);
  auto *port = new TSerialPort;  // never destroyed, like the program's at exit()
  port->SetPort(g_device);
  port->OnRxChar = [](TCustomSerialPort *, int) { std::exit(1); };
  port->Open();
  pty.Write("x");
  PumpUntil([] { return false; }, 15000);
  ::_exit(4);  // the handler never ran
}

TEST(ExitWithThePortOpen, EndsFromInsideTheReceiveHandlerAndLetsThePortGo) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(ExitInsideTheReceiveHandler(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
