// The POSIX device's writes (bounded by the write limits, RTS raised around
// them when it toggles, ended at once by an abort), the drain of the
// kernel's input into our queue that reads and the event thread share, and
// the purge.

#include "serial/serial_port_posix_device.h"

#include <algorithm>

#include <termios.h>
#include <unistd.h>

using namespace serial_posix;

void TPosixSerialDevice::AbortWrite() {
  // Counted first: a writer woken by the descriptor must find it counted.
  CountWriteAbort();
  if (abortFd_ >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(abortFd_, &one, sizeof one);
  }
}

void TPosixSerialDevice::TakeAbortWakes() {
  if (abortFd_ < 0) return;
  std::uint64_t drained;
  [[maybe_unused]] const ssize_t n = ::read(abortFd_, &drained, sizeof drained);
}

void TPosixSerialDevice::ApplyRts(bool high) {
  if (!hasModemLines_) return;
  int bit = TIOCM_RTS;
  ::ioctl(fd_, high ? TIOCMBIS : TIOCMBIC, &bit);
}

int TPosixSerialDevice::Write(const char *bytes, int count, std::uint64_t ticket) {
  RunSerialWriteEntryHook();
  if (count <= 0) return 0;
  // Aborted on its way here: not one byte goes out.
  if (WriteAborted(ticket)) return 0;
  TDeviceTimeouts to;
  bool toggle;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    to = timeouts_;
    toggle = state_.RtsControl() == 3;
  }
  const bool limited = to.WriteTotalTimeoutMultiplier != 0 || to.WriteTotalTimeoutConstant != 0;
  const auto limitMs = static_cast<long long>(std::min<unsigned long long>(
      static_cast<unsigned long long>(to.WriteTotalTimeoutMultiplier) * static_cast<unsigned>(count) +
          to.WriteTotalTimeoutConstant,
      1ull << 40));
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  auto timeLeft = [&] { return limited ? MsLeft(deadline) : -1; };

  if (toggle) ApplyRts(true);
  struct RtsDown {
    TPosixSerialDevice *d;
    bool on;
    ~RtsDown() {
      if (on) d->ApplyRts(false);
    }
  } rtsDown{this, toggle};

  int written = 0;
  bool timedOut = false;
  while (written < count) {
    if (WriteAborted(ticket)) {
      timedOut = true;
      break;
    }
    const ssize_t n = ::write(fd_, bytes + written, static_cast<size_t>(count - written));
    if (n > 0) {
      written += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) Raise(ecWriteFailed, errno);
    const int wait = timeLeft();
    if (wait == 0) {
      timedOut = true;
      break;
    }
    pollfd p[2] = {{fd_, POLLOUT, 0}, {abortFd_, POLLIN, 0}};
    const int r = PollFor(p, abortFd_ >= 0 ? 2 : 1, wait);
    if (r < 0) Raise(ecWriteFailed, errno);
    if (r == 0) {
      timedOut = true;
      break;
    }
    if (abortFd_ >= 0 && (p[1].revents & POLLIN)) {
      // The wake of an abort meant for an earlier write: taken, then the
      // count is looked at again at the top, so one that came meanwhile
      // still ends this write.
      if (!WriteAborted(ticket)) TakeAbortWakes();
      continue;
    }
    if (p[0].revents & (POLLERR | POLLHUP | POLLNVAL)) Raise(ecWriteFailed, EIO);
  }
  // Wait for the bytes to leave the wire, never longer than the limit (a
  // plain tcdrain would wait for ever behind a stopped handshake).
  while (!timedOut) {
    int queued = 0;
    if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) break;
    if (WriteAborted(ticket)) {
      timedOut = true;
      break;
    }
    const int wait = timeLeft();
    if (wait == 0) {
      timedOut = true;
      break;
    }
    // Roughly the time the queued bytes need at the line rate (10 bits each).
    std::uint32_t rate;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      rate = state_.BaudRate ? state_.BaudRate : 9600;
    }
    int ms = static_cast<int>(static_cast<long long>(queued) * 10000 / rate);
    ms = std::max(1, std::min(ms, 50));
    if (wait > 0) ms = std::min(ms, wait);
    SleepMs(ms);
  }
  if (timedOut) {
    // What is still queued is abandoned, and not counted as written.
    int queued = 0;
    if (::ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0) {
      ::tcflush(fd_, TCOFLUSH);
      written = std::max(0, written - queued);
    }
  }
  return written;
}

TPosixSerialDevice::TDrain TPosixSerialDevice::Drain() {
  TDrain result;
  std::lock_guard<std::mutex> lock(mutex_);
  if (hungUp_) {
    result.hungUp = true;
    return result;
  }
  char chunk[4096];
  for (;;) {
    // A sender faster than the reader fills the queue while this loop holds
    // the lock; what does not fit stays in the kernel (holding a
    // pseudo-terminal's writer back, counted as an overrun by a real line's
    // driver) rather than being read only to be thrown away.
    const std::size_t room = RoomLocked();
    if (room == 0) {
      result.full = true;
      break;
    }
    const ssize_t n = ::read(fd_, chunk, std::min(sizeof chunk, room));
    if (n > 0) {
      TAdded added;
      AddLocked(chunk, static_cast<std::size_t>(n), added);
      result.bytes += added.bytes;
      result.eventChar = result.eventChar || added.eventChar;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) break;
    // End of file or a hard error: the device is gone (USB adapter pulled,
    // other end of a pseudo-terminal closed).
    HangUpLocked(n == 0 ? EIO : errno);
    result.hungUp = true;
    break;
  }
  return result;
}

void TPosixSerialDevice::DrainOrRaise(int code) {
  if (fd_ < 0) Raise(code, EBADF);
  TDrain d = Drain();
  (void)d;
  std::lock_guard<std::mutex> lock(mutex_);
  // A vanished device is not a failure of this call: what was received is
  // still ours, and the loss is reported once by the event thread.
  if (hungUp_ && hangUpError_ != EIO && hangUpError_ != ENXIO && hangUpError_ != ENODEV) Raise(code, hangUpError_);
}

void TPosixSerialDevice::WaitForInput(int ms) {
  pollfd p{fd_, POLLIN, 0};
  if (PollFor(&p, 1, ms) < 0) Raise(ecReadFailed, errno);
}

void TPosixSerialDevice::Purge(bool input, bool output) {
  if (!input && !output) {
    CheckOpen(ecPurgeFailed);
    return;
  }
  const int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
  std::lock_guard<std::mutex> lock(mutex_);
  if (Retry([&] { return ::tcflush(fd_, which); }) != 0 && !(hungUp_ && errno == EIO)) Raise(ecPurgeFailed, errno);
  if (input) queue_.clear();
}
