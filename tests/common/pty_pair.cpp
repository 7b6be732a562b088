#include "pty_pair.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#include <stdexcept>

#include <cerrno>

PtyPair::PtyPair() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) throw std::runtime_error("no pty");
  slavePath_ = ptsname(master_);
  keepSlave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  termios t{};
  if (keepSlave_ >= 0 && tcgetattr(keepSlave_, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(keepSlave_, TCSANOW, &t);
  }
}

PtyPair::~PtyPair() {
  if (keepSlave_ >= 0) close(keepSlave_);
  CloseMaster();
}

void PtyPair::CloseMaster() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

void PtyPair::Write(const std::string &bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      throw std::runtime_error("pty write failed");
    } else {
      pollfd p{master_, POLLOUT, 0};
      poll(&p, 1, 50);
    }
  }
}

std::string PtyPair::ReadCount(std::size_t count, int timeoutMs) {
  std::string out;
  QElapsedTimer clock;
  clock.start();
  while (out.size() < count && clock.elapsed() < timeoutMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    char buf[4096];
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n > 0) out.append(buf, static_cast<std::size_t>(n));
    else QThread::msleep(1);
  }
  return out;
}

std::string PtyPair::ReadFor(int timeoutMs) { return ReadCount(static_cast<std::size_t>(-1), timeoutMs); }

bool PumpUntil(const std::function<bool()> &done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
  return true;
}
