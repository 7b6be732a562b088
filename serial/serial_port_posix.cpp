// The terminal device on POSIX. Every operating-system header of the serial
// code is included here and nowhere else: termios, the modem-control and
// counter ioctls and the kernel's termios2 record clash with each other and
// with Qt if they leak, so the rest of the port only sees TSerialDevice.
// The Windows build puts serial_port_win32.cpp in this file's place.
//
// errno is captured right at the failing call and travels in the exception.

#include "serial/serial_device_base.h"
#include "serial/serial_device_posix.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <linux/serial.h>

namespace {

using Clock = std::chrono::steady_clock;

// The kernel's termios2, for rates that have no B constant (14400, 56000,
// 128000, 256000 and custom ones). Declared here under our own name because
// <asm/termbits.h> cannot be included next to <termios.h>.
struct KernelTermios2 {
  tcflag_t c_iflag;
  tcflag_t c_oflag;
  tcflag_t c_cflag;
  tcflag_t c_lflag;
  cc_t c_line;
  cc_t c_cc[19];
  speed_t c_ispeed;
  speed_t c_ospeed;
};
const unsigned long kGetTermios2 = _IOR('T', 0x2A, KernelTermios2);
const unsigned long kSetTermios2 = _IOW('T', 0x2B, KernelTermios2);
constexpr tcflag_t kOtherBaud = 0010000;  // BOTHER

// Retries a call interrupted by a signal.
template <typename F>
auto Retry(F f) -> decltype(f()) {
  decltype(f()) r;
  do {
    r = f();
  } while (r == -1 && errno == EINTR);
  return r;
}

speed_t StandardSpeed(std::uint32_t rate) {
  switch (rate) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    default: return B0;
  }
}

// The line bits we set and expect to read back unchanged.
constexpr tcflag_t kCflagChecked = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
constexpr tcflag_t kIflagChecked = IXON | IXOFF | INPCK;

[[noreturn]] void Raise(int code, int err) { throw ESerialPort(code, err); }

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int MsLeft(Clock::time_point deadline) { return SerialMsLeft(deadline); }

// poll() that ends at the deadline its timeout sets, however often a signal
// interrupts it. Re-issuing poll() with the same timeout after EINTR would
// start the count again each time: a signal every 10 ms, from a timer of the
// program or a debugger, kept a 300 ms read waiting as long as the signals
// went on. timeoutMs < 0: no limit. Returns what poll() returns; 0 when the
// time is up.
int PollFor(pollfd *fds, nfds_t count, int timeoutMs) {
  if (timeoutMs < 0) return Retry([&] { return ::poll(fds, count, -1); });
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int wait = timeoutMs;
  for (;;) {
    const int r = ::poll(fds, count, wait);
    if (r >= 0 || errno != EINTR) return r;
    wait = MsLeft(deadline);
    if (wait == 0) {
      for (nfds_t i = 0; i < count; ++i) fds[i].revents = 0;
      return 0;
    }
  }
}

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

void ReleaseLockFile(const char *path);

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

// --- serial lock files ----------------------------------------------------------
//
// Terminal programs (minicom, picocom, cu and the like) keep each other off a
// port with a lock file in the system's lock folder: LCK.. and the device's
// name, holding the holder's process id as ten characters, right-aligned,
// and a line feed. TIOCEXCL alone keeps out only programs that open the port
// after us, and nothing that runs as root; a terminal program that has the
// port open already would be overridden. So we look for their lock first,
// before the device is even opened (an open raises the modem lines under the
// other program), and leave ours for them.

std::mutex g_lockFolderMutex;
std::string &LockFolderOverride() {
  static std::string folder;
  return folder;
}

bool IsFolder(const char *path) {
  struct stat st{};
  return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// The process id a lock file names; 0 when its content is not one (a file
// left half-written, or the binary form of old programs), -1 when it cannot
// be read at all.
pid_t LockHolder(const std::string &lockFile) {
  // A holder that has just created the file may not have written it yet;
  // give it a moment before calling an empty file stale.
  for (int attempt = 0;; ++attempt) {
    const int fd = Retry([&] { return ::open(lockFile.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC); });
    if (fd < 0) return errno == ENOENT ? 0 : -1;
    char text[64];
    const ssize_t n = Retry([&] { return ::read(fd, text, sizeof text - 1); });
    ::close(fd);
    if (n < 0) return -1;
    if (n == 0 && attempt < 10) {
      SleepMs(10);
      continue;
    }
    text[n] = '\0';
    const char *p = text;
    while (*p == ' ') ++p;
    long long pid = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9' && digits < 12; ++p, ++digits) pid = pid * 10 + (*p - '0');
    while (*p == ' ' || *p == '\n' || *p == '\r') ++p;
    if (digits == 0 || *p != '\0' || pid <= 0 || pid > std::numeric_limits<pid_t>::max()) return 0;
    return static_cast<pid_t>(pid);
  }
}

bool ProcessAlive(pid_t pid) {
  // EPERM: it exists, it belongs to somebody else.
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

// Takes the device's lock file: its path, or empty when there is no lock to
// be had without refusing the port (see below). Raises ESerialPortInUse when
// a live process holds it.
std::string TakeLockFile(const std::string &devicePath) {
  const std::string lockFile = SerialLockFileFor(devicePath);
  if (lockFile.empty()) return {};  // nothing to resolve: the open reports why
  char content[16];
  std::snprintf(content, sizeof content, "%10d\n", static_cast<int>(::getpid()));
  for (int attempt = 0; attempt < 5; ++attempt) {
    const int fd = ::open(lockFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) {
      (void)::fchmod(fd, 0644);  // whatever our umask, others must read it
      const ssize_t n = Retry([&] { return ::write(fd, content, 11); });
      ::close(fd);
      if (n == 11) return lockFile;
      ::unlink(lockFile.c_str());  // a lock nobody can read would look stale to the others
      return {};
    }
    if (errno != EEXIST) {
      // A lock folder we may not write (a user outside the lock group on a
      // system whose folder is not open to all, a read-only or missing
      // folder): terminal programs open the port anyway and so do we.
      // TIOCEXCL still keeps out other programs that come after us.
      return {};
    }
    const pid_t holder = LockHolder(lockFile);
    if (holder < 0) return {};  // there, but unreadable to us: as above
    if (holder > 0 && ProcessAlive(holder)) throw ESerialPortInUse(static_cast<int>(holder), lockFile);
    // Stale: its holder is gone, or it names nobody. Another program may be
    // doing the same at this moment; O_EXCL decides which of us gets it.
    if (::unlink(lockFile.c_str()) != 0 && errno != ENOENT) return {};  // not ours to remove: as above
  }
  // Someone else keeps taking it the moment it is free.
  throw ESerialPort(ecOpenFailed, EBUSY);
}

// Removes a lock file if it is still ours: one that another program took
// after calling ours stale is left alone. Runs in the exit step too, so it
// uses nothing but plain system calls.
void ReleaseLockFile(const char *path) {
  const int fd = ::open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  char text[64];
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return;
  text[n] = '\0';
  if (std::strtol(text, nullptr, 10) == static_cast<long>(::getpid())) ::unlink(path);
}

}  // namespace

std::string SerialLockFolder() {
  {
    std::lock_guard<std::mutex> lock(g_lockFolderMutex);
    if (!LockFolderOverride().empty()) return LockFolderOverride();
  }
  return IsFolder("/run/lock") ? "/run/lock" : "/var/lock";
}

void SetSerialLockFolder(const std::string &folder) {
  std::lock_guard<std::mutex> lock(g_lockFolderMutex);
  LockFolderOverride() = folder;
}

std::string SerialLockFileFor(const std::string &devicePath) {
  char resolved[PATH_MAX];
  if (devicePath.empty() || ::realpath(devicePath.c_str(), resolved) == nullptr) return {};
  const char *slash = std::strrchr(resolved, '/');
  const std::string name = slash ? slash + 1 : resolved;
  if (name.empty()) return {};
  return SerialLockFolder() + "/LCK.." + name;
}

namespace {

// How the modem lines stand once the port is open, in the mapping SetState
// uses: handshake raises a line and lets the driver drive it, RTS toggle
// keeps it low except while a write goes out.
bool DtrWantedHigh(const TDeviceState &s) { return s.DtrControl() != 0; }
bool RtsWantedHigh(const TDeviceState &s) { return s.RtsControl() == 1 || s.RtsControl() == 2; }

// Sets one modem line; false where the device has none (a pseudo-terminal
// answers ENOTTY or EINVAL) or cannot say.
bool SetModemLine(int fd, int line, bool high) {
  return ::ioctl(fd, high ? TIOCMBIS : TIOCMBIC, &line) == 0;
}


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
  int Write(const char *bytes, int count) override;
  void AbortWrite() override;
  void Purge(bool input, bool output) override;
  void CheckOpen(int code) const override;
  int PendingInput() override;
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

  std::atomic<int> fd_{-1};
  // Wakes a Write waiting for room in the line when it is aborted; it lives
  // as long as the object, as a Write may still be polling it at Shutdown.
  int abortFd_ = -1;
  std::atomic<bool> abortWrite_{false};
  std::string lockFile_;
  int lockSlot_ = -1;  // where the exit step finds lockFile_, when it has room
  bool hasModemLines_ = false;
  bool hasCounters_ = false;
  // Error counters already reported by TakeErrors.
  int seenFrame_ = 0, seenParity_ = 0, seenOverrun_ = 0, seenBufOverrun_ = 0, seenBreak_ = 0;
};

}  // namespace

std::shared_ptr<TSerialDevice> OpenSerialDevice(const std::string &path) {
  return std::make_shared<TPosixSerialDevice>(path, 0, -1);
}

std::shared_ptr<TSerialDevice> OpenSerialDevice(const std::string &path, const TDeviceState &lines) {
  return std::make_shared<TPosixSerialDevice>(path, DtrWantedHigh(lines) ? 1 : 0, RtsWantedHigh(lines) ? 1 : 0);
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

void TPosixSerialDevice::AbortWrite() {
  abortWrite_ = true;
  if (abortFd_ >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(abortFd_, &one, sizeof one);
  }
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

void TPosixSerialDevice::SetQueueSizes(std::int32_t input, std::int32_t output) {
  // The kernel's queues have a fixed size; the input size still sets when the
  // queue counts as 80 % full. A negative size is nonsense to any driver.
  if (input < 0 || output < 0) Raise(ecSetupFailed, EINVAL);
  CheckOpen(ecSetupFailed);
  std::lock_guard<std::mutex> lock(mutex_);
  inputSize_ = input;
}

void TPosixSerialDevice::SetState(const TDeviceState &s) {
  // A record the device does not take leaves the line as it was: the whole
  // termios, custom rates included, goes back before the failure is raised.
  KernelTermios2 before{};
  const bool restorable = ::ioctl(fd_, kGetTermios2, &before) == 0;
  auto refuse = [&](int err) {
    if (restorable) (void)Retry([&] { return ::ioctl(fd_, kSetTermios2, &before); });
    Raise(ecSetStateFailed, err);
  };
  termios t{};
  if (Retry([&] { return ::tcgetattr(fd_, &t); }) != 0) Raise(ecSetStateFailed, errno);
  ::cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cflag &= ~HUPCL;  // see Open
  t.c_cflag &= ~kCflagChecked;
  switch (s.ByteSize) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: Raise(ecSetStateFailed, EINVAL);
  }
  switch (s.Parity) {
    case 0: break;
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: Raise(ecSetStateFailed, EINVAL);
  }
  // There is no 1.5 on a POSIX line; a UART sends 1.5 stop bits for CSTOPB
  // with 5 data bits anyway, which is the only size where 1.5 exists.
  if (s.StopBits != 0) t.c_cflag |= CSTOPB;
  if ((s.Flags & TDeviceState::fOutxCtsFlow) || s.RtsControl() == 2) t.c_cflag |= CRTSCTS;
  t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK | ISTRIP);
  if (s.Flags & TDeviceState::fParity) t.c_iflag |= INPCK;
  if (s.Flags & TDeviceState::fOutX) t.c_iflag |= IXON;
  if (s.Flags & TDeviceState::fInX) t.c_iflag |= IXOFF;
  t.c_cc[VSTART] = static_cast<cc_t>(s.XonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(s.XoffChar);
  // VMIN 1 makes an empty non-blocking read say EAGAIN; with 0 it would
  // return 0, which we must be able to take for end of file (hang-up).
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;

  const speed_t standard = StandardSpeed(s.BaudRate);
  if (s.BaudRate == 0) Raise(ecSetStateFailed, EINVAL);
  if (standard != B0) {
    ::cfsetispeed(&t, standard);
    ::cfsetospeed(&t, standard);
  }
  if (Retry([&] { return ::tcsetattr(fd_, TCSANOW, &t); }) != 0) refuse(errno);
  if (standard == B0) {
    KernelTermios2 t2{};
    if (::ioctl(fd_, kGetTermios2, &t2) != 0) refuse(errno);
    t2.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << 16));
    t2.c_cflag |= kOtherBaud | (kOtherBaud << 16);
    t2.c_ispeed = s.BaudRate;
    t2.c_ospeed = s.BaudRate;
    if (Retry([&] { return ::ioctl(fd_, kSetTermios2, &t2); }) != 0) refuse(errno);
  }

  // tcsetattr succeeds when any one of the changes took; read back to see
  // that all of them did.
  termios back{};
  if (Retry([&] { return ::tcgetattr(fd_, &back); }) != 0) refuse(errno);
  if ((back.c_cflag & kCflagChecked) != (t.c_cflag & kCflagChecked) ||
      (back.c_iflag & kIflagChecked) != (t.c_iflag & kIflagChecked))
    refuse(EINVAL);
  if (standard != B0) {
    if (::cfgetospeed(&back) != standard) refuse(EINVAL);
  } else {
    KernelTermios2 t2{};
    if (::ioctl(fd_, kGetTermios2, &t2) != 0) refuse(errno);
    // Drivers round odd rates to what their divisor can do; within 3 % the
    // line still works, further off it does not.
    const double ratio = static_cast<double>(t2.c_ospeed) / s.BaudRate;
    if (ratio < 0.97 || ratio > 1.03) refuse(EINVAL);
  }

  if (hasModemLines_) {
    if (!SetModemLine(fd_, TIOCM_DTR, DtrWantedHigh(s))) Raise(ecSetStateFailed, errno);
    if (!SetModemLine(fd_, TIOCM_RTS, RtsWantedHigh(s))) Raise(ecSetStateFailed, errno);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  state_ = s;
}

void TPosixSerialDevice::SetTimeouts(const TDeviceTimeouts &timeouts) {
  CheckOpen(ecSetTimeoutsFailed);
  std::lock_guard<std::mutex> lock(mutex_);
  timeouts_ = timeouts;
}

void TPosixSerialDevice::ApplyRts(bool high) {
  if (!hasModemLines_) return;
  int bit = TIOCM_RTS;
  ::ioctl(fd_, high ? TIOCMBIS : TIOCMBIC, &bit);
}

int TPosixSerialDevice::Write(const char *bytes, int count) {
  if (count <= 0) return 0;
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

  // An abort meant for an earlier write is not this one's.
  abortWrite_ = false;
  if (abortFd_ >= 0) {
    std::uint64_t drained;
    [[maybe_unused]] const ssize_t n = ::read(abortFd_, &drained, sizeof drained);
  }
  int written = 0;
  bool timedOut = false;
  while (written < count) {
    if (abortWrite_) {
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
    if (r == 0 || abortWrite_) {
      timedOut = true;
      break;
    }
    if (p[0].revents & (POLLERR | POLLHUP | POLLNVAL)) Raise(ecWriteFailed, EIO);
  }
  // Wait for the bytes to leave the wire, never longer than the limit (a
  // plain tcdrain would wait for ever behind a stopped handshake).
  while (!timedOut) {
    int queued = 0;
    if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) break;
    if (abortWrite_) {
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
  if (hungUp_ && hangUpError_ != EIO && hangUpError_ != ENXIO && hangUpError_ != ENODEV)
    Raise(code, hangUpError_);
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

void TPosixSerialDevice::DiscardQueues() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fd_ >= 0) {
    ::tcflush(fd_, LetOutputLeave(fd_));
  }
  queue_.clear();
}

int TPosixSerialDevice::PendingInput() {
  DrainOrRaise(ecClearErrorFailed);
  return QueuedInput();
}

TLineSignals TPosixSerialDevice::Signals() {
  CheckOpen(ecModemStatusFailed);
  TLineSignals s;
  if (!hasModemLines_) return s;  // a pseudo-terminal: every line reads off
  int bits = 0;
  if (::ioctl(fd_, TIOCMGET, &bits) != 0) Raise(ecModemStatusFailed, errno);
  if (bits & TIOCM_CTS) s.Include(lsCTS);
  if (bits & TIOCM_DSR) s.Include(lsDSR);
  if (bits & TIOCM_RI) s.Include(lsRing);
  if (bits & TIOCM_CD) s.Include(lsRLSD);
  return s;
}

TSerialErrors TPosixSerialDevice::TakeErrors(bool parityCheck) {
  CheckOpen(ecClearErrorFailed);
  TSerialErrors errors;
  std::lock_guard<std::mutex> lock(mutex_);
  serial_icounter_struct c{};
  if (hasCounters_ && !hungUp_ && ::ioctl(fd_, TIOCGICOUNT, &c) == 0) {
    if (c.frame != seenFrame_) errors.Include(erFraming);
    if (c.parity != seenParity_ && parityCheck) errors.Include(erParity);
    if (c.overrun != seenOverrun_) errors.Include(erOverrun);
    if (c.buf_overrun != seenBufOverrun_) errors.Include(erRxOverflow);
    if (c.brk != seenBreak_) errors.Include(erBreak);
    seenFrame_ = c.frame;
    seenParity_ = c.parity;
    seenOverrun_ = c.overrun;
    seenBufOverrun_ = c.buf_overrun;
    seenBreak_ = c.brk;
  }
  TakeOwnErrorsLocked(errors);
  return errors;
}

bool TPosixSerialDevice::Sample(TLineSample &out) const {
  bool any = false;
  if (hasModemLines_ && ::ioctl(fd_, TIOCMGET, &out.modemBits) == 0) any = true;
  serial_icounter_struct c{};
  if (hasCounters_ && ::ioctl(fd_, TIOCGICOUNT, &c) == 0) {
    out.rings = c.rng;
    out.breaks = c.brk;
    out.errors = c.frame + c.parity + c.overrun + c.buf_overrun;
    any = true;
  }
  return any;
}

TSerialWaiter::TSerialWaiter() {
  stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopFd_ < 0) Raise(ecWaitFailed, errno);
  txFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (txFd_ < 0) {
    const int err = errno;
    ::close(stopFd_);
    Raise(ecWaitFailed, err);
  }
}

TSerialWaiter::~TSerialWaiter() {
  ::close(stopFd_);
  ::close(txFd_);
}

void TSerialWaiter::Stop() {
  const std::uint64_t one = 1;
  // The counter cannot overflow with our few writes; EAGAIN would still
  // leave it readable, which is all the wait needs.
  (void)Retry([&] { return ::write(stopFd_, &one, sizeof one); });
}

void TSerialWaiter::TxFinished() {
  const std::uint64_t one = 1;
  (void)Retry([&] { return ::write(txFd_, &one, sizeof one); });
}

TSerialWaiter::TResult TSerialWaiter::Wait(int deviceFd, bool wantInput, int timeoutMs) {
  TResult result;
  pollfd p[3] = {{stopFd_, POLLIN, 0}, {txFd_, POLLIN, 0}, {deviceFd, static_cast<short>(wantInput ? POLLIN : 0), 0}};
  const int r = PollFor(p, 3, timeoutMs);
  if (r < 0) {
    result.failed = true;
    result.err = errno;
    return result;
  }
  // The stop signal stays set: a stopped thread never waits again.
  if (p[0].revents & POLLIN) result.stop = true;
  if (p[1].revents & POLLIN) {
    std::uint64_t count = 0;
    (void)Retry([&] { return ::read(txFd_, &count, sizeof count); });
    result.txFinished = true;
  }
  if (p[2].revents & POLLIN) result.input = true;
  if (p[2].revents & (POLLHUP | POLLERR | POLLNVAL)) result.hangUp = true;
  return result;
}

// --- the event watch ------------------------------------------------------------

namespace {

bool AnyOf(TSerialEvents set, std::initializer_list<TSerialEvent> events) {
  for (TSerialEvent e : events)
    if (set.Contains(e)) return true;
  return false;
}

class TPosixSerialWatch final : public TSerialWatch {
public:
  TPosixSerialWatch(TPosixSerialDevice &device, TSerialEvents events)
      : device_(device), wantInput_(AnyOf(events, {evRxChar, evRxFlag, evRx80Full})) {
    // Modem lines and error counters have no descriptor to wait on; they are
    // sampled, but only when somebody asked for such events and the device
    // has them. A pseudo-terminal has neither, so there the thread only ever
    // sleeps in poll().
    sampling_ = AnyOf(events, {evCTS, evDSR, evRLSD, evRing, evError, evBreak}) &&
                (device_.HasModemLines() || device_.HasErrorCounters());
    if (sampling_) sampling_ = device_.Sample(previous_);
  }

  void Stop() override { waiter_.Stop(); }
  void TxFinished() override { waiter_.TxFinished(); }

  TSerialWatchResult Wait() override {
    TSerialWatchResult out;
    const TSerialWaiter::TResult r = waiter_.Wait(device_.Fd(), wantInput_, sampling_ ? kSerialSampleMs : -1);
    if (r.stop) {
      out.stop = true;
      return out;
    }
    out.lost = r.failed || r.hangUp;
    if (r.txFinished) out.events.Include(evTxEmpty);
    if (wantInput_ && (r.input || r.hangUp)) {
      // Take everything now: whatever we hold survives a hang-up.
      device_.ReportDrain(device_.Drain(), out);
    }
    if (sampling_ && !out.lost) {
      TPosixSerialDevice::TLineSample now;
      if (device_.Sample(now)) {
        const int changed = now.modemBits ^ previous_.modemBits;
        if (changed & TIOCM_CTS) out.events.Include(evCTS);
        if (changed & TIOCM_DSR) out.events.Include(evDSR);
        if (changed & TIOCM_CD) out.events.Include(evRLSD);
        if (now.rings != previous_.rings || (now.modemBits & ~previous_.modemBits & TIOCM_RI))
          out.events.Include(evRing);
        if (now.breaks != previous_.breaks) out.events.Include(evBreak);
        if (now.errors != previous_.errors || now.breaks != previous_.breaks) out.events.Include(evError);
        previous_ = now;
      }
    }
    return out;
  }

private:
  TPosixSerialDevice &device_;
  const bool wantInput_;
  bool sampling_ = false;
  TPosixSerialDevice::TLineSample previous_;
  TSerialWaiter waiter_;
};

}  // namespace

std::unique_ptr<TSerialWatch> TPosixSerialDevice::Watch(TSerialEvents events) {
  return std::make_unique<TPosixSerialWatch>(*this, events);
}

void ApplyThreadPriority(TThreadPriority priority) {
  static const int kNice[] = {19, 10, 5, 0, -5, -10, -20};
  const int p = static_cast<int>(priority);
  if (p < 0 || p > 6 || kNice[p] == 0) return;
  // On Linux a thread's niceness is set through its own thread id.
  (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kNice[p]);
}
