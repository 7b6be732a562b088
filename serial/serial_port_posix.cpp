// The terminal device on POSIX, its opening and closing: the lock file
// taken before the device is opened, the modem lines set before anything
// else, and the exit step that lets every device still open go when the
// process ends. Its other parts are listed in serial_port_posix_device.h;
// the Windows build puts serial_port_win32.cpp in this file's place.

#include "serial/serial_port_posix_device.h"

#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <linux/serial.h>

using namespace serial_posix;

namespace {

// Devices still open when the process ends. exit() runs no destructor of the
// port: its window lives on main's stack, and the exit may come from deep
// inside a nested loop (Qt ends the program that way when its display goes
// away), with the event thread blocked in a delivery that will never finish.
// The logger must still see the port let go as the window's close lets it
// go (it drops RTS first, DTR is kept low): modem lines low, exclusive use
// lifted, descriptor closed, lock file removed. Slots hold descriptor + 1
// (0 is free); plain atomics need no lock and no destructor, so the exit
// step runs whatever the other threads hold.
constexpr int kExitSlots = 64;
std::atomic<int> g_openDevices[kExitSlots];
std::atomic<bool> g_exiting{false};

// The lock files of those devices, for the same exit step. A slot's state is
// 0 (free), 1 (its path being written) or 2 (held); the path is only read
// in state 2.
constexpr std::size_t kLockPathRoom = 512;
struct LockSlot {
  std::atomic<int> state{0};
  char path[kLockPathRoom];
};
LockSlot g_heldLocks[kExitSlots];

void ReleaseDevicesAtExit() {
  g_exiting = true;
  for (std::atomic<int> &slot : g_openDevices) {
    const int stored = slot.exchange(0);
    if (stored == 0) continue;
    const int fd = stored - 1;
    int lines = TIOCM_RTS | TIOCM_DTR;
    (void)::ioctl(fd, TIOCMBIC, &lines);  // a pseudo-terminal has none: nothing to drop
    (void)::ioctl(fd, TIOCNXCL);
    ::close(fd);  // also ends the flock
  }
  for (LockSlot &slot : g_heldLocks)
    if (slot.state.exchange(0) == 2) ReleaseLockFile(slot.path);
}

void RegisterExitStep() {
  static const int registered = std::atexit(ReleaseDevicesAtExit);
  (void)registered;
}

void RememberForExit(int fd) {
  RegisterExitStep();
  for (std::atomic<int> &slot : g_openDevices) {
    int expected = 0;
    if (slot.compare_exchange_strong(expected, fd + 1)) return;
  }
  // More devices than slots: the kernel still closes this one when the
  // process is gone.
}

// False when the exit step has taken the descriptor and closed it already.
bool ForgetForExit(int fd) {
  for (std::atomic<int> &slot : g_openDevices) {
    int expected = fd + 1;
    if (slot.compare_exchange_strong(expected, 0)) return true;
  }
  return !g_exiting;
}

// The slot that now holds the lock file's path, or -1 when none is free.
int RememberLockForExit(const std::string &path) {
  RegisterExitStep();
  if (path.size() >= kLockPathRoom) return -1;
  for (int i = 0; i < kExitSlots; ++i) {
    LockSlot &slot = g_heldLocks[i];
    int expected = 0;
    if (!slot.state.compare_exchange_strong(expected, 1)) continue;
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    slot.state = 2;
    return i;
  }
  return -1;
}

// False when the exit step has released the lock already.
bool ForgetLockForExit(int slot) {
  if (slot < 0) return !g_exiting;
  int expected = 2;
  return g_heldLocks[slot].state.compare_exchange_strong(expected, 0);
}

}  // namespace

std::shared_ptr<TSerialDevice> OpenSystemSerialDevice(const std::string &path, int dtr, int rts) {
  return std::make_shared<TPosixSerialDevice>(path, dtr, rts);
}

int SerialOsErrorNumber(TSerialOsError which) {
  switch (which) {
    case TSerialOsError::Closed: return EBADF;
    case TSerialOsError::Cancelled: return ECANCELED;
    case TSerialOsError::DeviceGone: return EIO;
    case TSerialOsError::Busy: return EBUSY;
  }
  return EIO;
}

TPosixSerialDevice::TPosixSerialDevice(const std::string &path, int dtr, int rts) {
  if (path.empty()) Raise(ecOpenFailed, ENOENT);
  const std::string lockFile = TakeLockFile(path);
  auto dropLock = [&lockFile] {
    if (!lockFile.empty()) ReleaseLockFile(lockFile.c_str());
  };
  const int fd = Retry([&] { return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
  if (fd < 0) {
    const int err = errno;
    dropLock();
    Raise(ecOpenFailed, err);
  }
  auto fail = [fd, &dropLock](int err) {
    ::close(fd);
    dropLock();
    Raise(ecOpenFailed, err);
  };
  // The flock refuses a second opener running as root or inside this same
  // program (TIOCEXCL below keeps out everybody else). It comes first so that
  // such an opener never touches the lines of the port it is refused.
  if (Retry([&] { return ::flock(fd, LOCK_EX | LOCK_NB); }) != 0) fail(errno == EWOULDBLOCK ? EBUSY : errno);

  // Control lines, before anything else. The kernel raises DTR and RTS inside
  // open() itself on a real UART whose termios holds a speed (it is how
  // modems learn a program has the line), so a pulse remains that no program
  // can avoid: from the kernel's raise to these calls, a few microseconds on
  // an idle machine, longer if we are scheduled out between the two. A
  // logger that resets on DTR sees that pulse; one that watches the level
  // sees DTR low from here on. Opened without being told the lines, the
  // port's settings follow at once: DTR goes low now (this program's line
  // description), RTS waits for them rather than dropping only to rise again
  // a moment later for a port that wants it on. A pseudo-terminal has no
  // modem lines and refuses both calls; so may a device that is about to
  // fail the steps below anyway: neither is an error here.
  if (dtr >= 0) (void)SetModemLine(fd, TIOCM_DTR, dtr == 1);
  if (rts >= 0) (void)SetModemLine(fd, TIOCM_RTS, rts == 1);
  // Without HUPCL the kernel leaves the lines alone at the last close: the
  // port lowers them when it is told to (the window drops RTS before it
  // closes, DTR stays as set), not behind the user's back, and a close does
  // not toggle a line that another descriptor of the device still relies on.
  // The flag stays cleared for the next program, like the rest of our
  // termios; each program sets the flags it cares about.
  termios t{};
  if (::isatty(fd) && Retry([&] { return ::tcgetattr(fd, &t); }) == 0 && (t.c_cflag & HUPCL)) {
    t.c_cflag &= ~HUPCL;
    (void)Retry([&] { return ::tcsetattr(fd, TCSANOW, &t); });
  }

  if (!::isatty(fd)) fail(ENOTTY);
  if (::ioctl(fd, TIOCEXCL) != 0) fail(errno);
  int bits = 0;
  hasModemLines_ = ::ioctl(fd, TIOCMGET, &bits) == 0;
  serial_icounter_struct counters{};
  hasCounters_ = ::ioctl(fd, TIOCGICOUNT, &counters) == 0;
  if (hasCounters_) {
    seenFrame_ = counters.frame;
    seenParity_ = counters.parity;
    seenOverrun_ = counters.overrun;
    seenBufOverrun_ = counters.buf_overrun;
    seenBreak_ = counters.brk;
  }
  fd_ = fd;
  abortFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);  // without it an abort waits for the next wake
  RememberForExit(fd);
  lockFile_ = lockFile;
  if (!lockFile_.empty()) lockSlot_ = RememberLockForExit(lockFile_);
}

TPosixSerialDevice::~TPosixSerialDevice() {
  Shutdown();
  if (abortFd_ >= 0) ::close(abortFd_);
}

namespace {

// Bytes WriteText reported as written may still wait in the driver's output
// queue; the last command before a close (a download's acknowledgement, a
// rate, the clock digits) must still reach the logger. Bounded, so a stalled
// line never holds the close for long. Returns the purge to do afterwards:
// output is thrown away only when it is really stuck (on a pseudo-terminal
// an output purge would throw away what the other side has not read yet).
int LetOutputLeave(int fd) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(500);
  for (;;) {
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0) return TCIFLUSH;
    if (Clock::now() >= deadline) return TCIOFLUSH;
    SleepMs(10);  // sleep_for goes on with the time left after a signal
  }
}

}  // namespace

void TPosixSerialDevice::Shutdown() {
  std::lock_guard<std::mutex> lock(mutex_);
  const int fd = fd_.exchange(-1);
  if (fd >= 0 && ForgetForExit(fd)) {
    // Whatever is still queued after that dies with the port, whether or not
    // an event thread was left to discard it.
    ::tcflush(fd, LetOutputLeave(fd));
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);  // never retried: on Linux the descriptor is gone even after EINTR
    queue_.clear();
  }
  // The lock goes after the device is closed, so nobody takes the port
  // while it is still ours.
  if (!lockFile_.empty() && ForgetLockForExit(lockSlot_)) ReleaseLockFile(lockFile_.c_str());
  lockFile_.clear();
  lockSlot_ = -1;
}

void TPosixSerialDevice::CheckOpen(int code) const {
  if (::fcntl(fd_, F_GETFL) == -1) Raise(code, errno);
}

void TPosixSerialDevice::DiscardQueues() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fd_ >= 0) {
    ::tcflush(fd_, LetOutputLeave(fd_));
  }
  queue_.clear();
}
