#pragma once

// The terminal device on POSIX, shared by the files that make it:
// serial_port_posix.cpp (open, close and the exit step),
// serial_port_posix_locks.cpp (lock files), serial_port_posix_settings.cpp
// (termios), serial_port_posix_transfers.cpp (writes, the drain into our
// queue, purge) and serial_port_posix_watch.cpp (modem lines, error
// counters, the waits and the event watch). Every operating-system header of
// the serial code is included by these files and nowhere else: termios, the
// modem-control and counter ioctls and the kernel's termios2 record clash
// with each other and with Qt if they leak, so the rest of the port only
// sees TSerialDevice. The Windows build puts the serial_port_win32 files in
// their place.
//
// errno is captured right at the failing call and travels in the exception.

#include "serial/serial_device_base.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/ioctl.h>

namespace serial_posix {

using Clock = std::chrono::steady_clock;

// Retries a call interrupted by a signal.
template <typename F>
auto Retry(F f) -> decltype(f()) {
  decltype(f()) r;
  do {
    r = f();
  } while (r == -1 && errno == EINTR);
  return r;
}

[[noreturn]] inline void Raise(int code, int err) { throw ESerialPort(code, err); }

inline void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

inline int MsLeft(Clock::time_point deadline) { return SerialMsLeft(deadline); }

// poll() that ends at the deadline its timeout sets, however often a signal
// interrupts it (serial_port_posix_watch.cpp).
int PollFor(pollfd *fds, nfds_t count, int timeoutMs);

// Sets one modem line; false where the device has none (a pseudo-terminal
// answers ENOTTY or EINVAL) or cannot say.
inline bool SetModemLine(int fd, int line, bool high) { return ::ioctl(fd, high ? TIOCMBIS : TIOCMBIC, &line) == 0; }

// The lock files (serial_port_posix_locks.cpp). The names a device's lock
// goes by, the one we write first; empty when the path does not resolve.
std::vector<std::string> SerialLockFileNames(const std::string &devicePath);
std::string TakeLockFile(const std::string &devicePath);
void ReleaseLockFile(const char *path);

// --- the device ---------------------------------------------------------------

class TPosixSerialDevice final : public TSerialDeviceBase {
public:
  // dtr, rts: 1 high, 0 low, -1 as the kernel left it.
  TPosixSerialDevice(const std::string &path, int dtr, int rts);
  ~TPosixSerialDevice() override;

  std::intptr_t Handle() const override { return fd_.load(); }
  void Shutdown() override;
  bool HasModemLines() const override { return hasModemLines_; }
  std::string LockFile() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return lockFile_;
  }
  bool HasErrorCounters() const { return hasCounters_; }

  void SetQueueSizes(std::int32_t input, std::int32_t output) override;
  void SetState(const TDeviceState &state) override;
  void SetTimeouts(const TDeviceTimeouts &timeouts) override;
  using TSerialDevice::Write;
  int Write(const char *bytes, int count, std::uint64_t ticket) override;
  void AbortWrite() override;
  void Purge(bool input, bool output) override;
  void CheckOpen(int code) const override;
  TLineSignals Signals() override;
  TSerialErrors TakeErrors(bool parityCheck) override;
  void DiscardQueues() override;
  std::unique_ptr<TSerialWatch> Watch(TSerialEvents events) override;

  int Fd() const { return fd_.load(); }

  // Moves everything the kernel holds into our queue, as far as the queue has
  // room. Never blocks, never raises: failures are reported as hungUp (with
  // the errno kept for TakeErrors) so the event thread can end cleanly.
  TDrain Drain();

  // Modem lines and error counters for the event watch's sampling.
  struct TLineSample {
    int modemBits = 0;  // TIOCM_* bits
    int rings = 0, breaks = 0, errors = 0;
  };
  bool Sample(TLineSample &out) const;  // false when the device cannot say

protected:
  void DrainOrRaise(int code) override;
  void WaitForInput(int ms) override;

private:
  void ApplyRts(bool high);
  // Empties the abort descriptor.
  void TakeAbortWakes();

  std::atomic<int> fd_{-1};
  // Wakes a Write waiting for room in the line when it is aborted; it lives
  // as long as the object, as a Write may still be polling it at Shutdown.
  // Only a wake: whether the abort is the waiting write's own, the count
  // says.
  int abortFd_ = -1;
  std::string lockFile_;
  int lockSlot_ = -1;  // where the exit step finds lockFile_, when it has room
  bool hasModemLines_ = false;
  bool hasCounters_ = false;
  // Error counters already reported by TakeErrors.
  int seenFrame_ = 0, seenParity_ = 0, seenOverrun_ = 0, seenBufOverrun_ = 0, seenBreak_ = 0;
};

}  // namespace serial_posix
