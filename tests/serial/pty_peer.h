#pragma once

// The far end of a serial line for tests: the master side of a fresh
// pseudo-terminal, with the port under test opening its slave path.

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <functional>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

class PtyPeer {
public:
  PtyPeer() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
      char name[128];
      if (::ptsname_r(master_, name, sizeof name) == 0) path_ = name;
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPeer() { Close(); }
  PtyPeer(const PtyPeer &) = delete;
  PtyPeer &operator=(const PtyPeer &) = delete;

  bool Ok() const { return master_ >= 0 && !path_.empty(); }
  const std::string &Path() const { return path_; }
  int Fd() const { return master_; }

  // Writes everything (waiting for room as needed).
  void Write(const std::string &bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else {
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 100);
      }
    }
  }

  // Reads until `count` bytes came or `ms` passed.
  std::string Read(std::size_t count, int ms = 2000) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
      pollfd p{master_, POLLIN, 0};
      ::poll(&p, 1, 20);
      char buf[4096];
      const ssize_t n = ::read(master_, buf, std::min(sizeof buf, count - out.size()));
      if (n > 0) out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
  }

  void Close() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

private:
  int master_ = -1;
  std::string path_;
};

// Runs the UI thread's event loop until pred holds or ms passed.
inline bool PumpUntil(const std::function<bool()> &pred, int ms = 3000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::usleep(200);
  }
  return true;
}

// Waits, without running the event loop, until the event thread has taken
// everything off the device (it then blocks handing it to the UI thread).
inline bool TakenOffTheLine(int fd) {
  for (int i = 0; i < 5000; ++i) {
    // poll() first pushes what the far end wrote into the line's queue, so
    // "nothing readable" really means taken, not "not there yet".
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) == 0) {
      QThread::msleep(20);  // and gone on into its hand-over
      return true;
    }
    QThread::msleep(1);
  }
  return false;
}

// Runs the event loop for a while, whatever happens.
inline void PumpFor(int ms) {
  PumpUntil([] { return false; }, ms);
}
