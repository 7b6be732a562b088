// Serial lock files on POSIX.
//
// Terminal programs (minicom, picocom, cu and the like) keep each other off a
// port with a lock file in the system's lock folder: LCK.. and the device's
// path below /dev, holding the holder's process id as ten characters,
// right-aligned, and a line feed. TIOCEXCL alone keeps out only programs
// that open the port after us, and nothing that runs as root; a terminal
// program that has the port open already would be overridden. So we look
// for their lock first, before the device is even opened (an open raises
// the modem lines under the other program), and leave ours for them.

#include "serial/serial_port_posix_device.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace serial_posix;

namespace {

bool IsFolder(const char *path) {
  struct stat st {};
  return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// The process id a lock file names; 0 when its content is not one (a file
// left half-written, say), -1 when it cannot be read at all. Two forms are
// in use: ten characters of text and a line feed, and, from older UUCP
// programs, the id itself as 4 binary bytes.
pid_t LockHolder(const std::string &lockFile) {
  // A holder that has just created the file may not have written it yet;
  // give it a moment before calling an empty file stale.
  for (int attempt = 0;; ++attempt) {
    // Not blocking: a FIFO put there must not hold the open for ever.
    const int fd = Retry([&] { return ::open(lockFile.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); });
    if (fd < 0) return errno == ENOENT ? 0 : -1;
    char text[64];
    const ssize_t n = Retry([&] { return ::read(fd, text, sizeof text - 1); });
    ::close(fd);
    if (n < 0) return -1;
    if (n == 0 && attempt < 10) {
      SleepMs(10);
      continue;
    }
    const bool isText = std::all_of(
        text, text + n, [](char c) { return (c >= '0' && c <= '9') || c == ' ' || c == '\n' || c == '\r'; });
    if (!isText && n == static_cast<ssize_t>(sizeof(std::int32_t))) {
      // A process id never fills the top byte, so the binary form always
      // holds a byte that text would not.
      std::int32_t pid = 0;
      std::memcpy(&pid, text, sizeof pid);
      return pid > 0 ? static_cast<pid_t>(pid) : 0;
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

}  // namespace

namespace serial_posix {

// Refuses the port when lockFile names a live process, or cannot be read:
// a lock we may not read is somebody's, and not ours to call stale.
void RefuseIfHeld(const std::string &lockFile) {
  const pid_t holder = LockHolder(lockFile);
  if (holder < 0) throw ESerialPortInUse(0, lockFile);
  if (holder > 0 && ProcessAlive(holder)) throw ESerialPortInUse(static_cast<int>(holder), lockFile);
}

// Takes the device's lock file: its path, or empty when there is no lock to
// be had without refusing the port (see below). Raises ESerialPortInUse when
// a live process holds it, under either of the names in use for it.
std::string TakeLockFile(const std::string &devicePath) {
  const std::vector<std::string> names = SerialLockFileNames(devicePath);
  if (names.empty()) return {};  // nothing to resolve: the open reports why
  const std::string &lockFile = names.front();
  // The other name is only looked at, after ours is made: a program that
  // takes it meanwhile then finds ours, or we find its.
  auto refuseIfOthersHold = [&names] {
    for (std::size_t i = 1; i < names.size(); ++i) RefuseIfHeld(names[i]);
  };
  char content[16];
  std::snprintf(content, sizeof content, "%10d\n", static_cast<int>(::getpid()));
  for (int attempt = 0; attempt < 5; ++attempt) {
    const int fd = ::open(lockFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) {
      (void)::fchmod(fd, 0644);  // whatever our umask, others must read it
      const ssize_t n = Retry([&] { return ::write(fd, content, 11); });
      ::close(fd);
      if (n != 11) {
        ::unlink(lockFile.c_str());  // a lock nobody can read would look stale to the others
        refuseIfOthersHold();
        return {};
      }
      try {
        refuseIfOthersHold();
      } catch (...) {
        ReleaseLockFile(lockFile.c_str());
        throw;
      }
      return lockFile;
    }
    if (errno != EEXIST) {
      // A lock folder we may not write (a user outside the lock group on a
      // system whose folder is not open to all, a read-only or missing
      // folder): terminal programs open the port anyway and so do we, unless
      // a lock there says the port is taken. TIOCEXCL still keeps out other
      // programs that come after us.
      refuseIfOthersHold();
      return {};
    }
    RefuseIfHeld(lockFile);
    // Stale: its holder is gone, or it names nobody. Another program may be
    // doing the same at this moment; O_EXCL decides which of us gets it.
    if (::unlink(lockFile.c_str()) != 0 && errno != ENOENT) {
      refuseIfOthersHold();
      return {};  // not ours to remove: as above
    }
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

}  // namespace serial_posix

std::string SerialLockFolder() {
  std::string chosen = ChosenSerialLockFolder();
  if (!chosen.empty()) return chosen;
  return IsFolder("/run/lock") ? "/run/lock" : "/var/lock";
}

std::vector<std::string> serial_posix::SerialLockFileNames(const std::string &devicePath) {
  char resolved[PATH_MAX];
  if (devicePath.empty() || ::realpath(devicePath.c_str(), resolved) == nullptr) return {};
  const std::string path = resolved;
  const std::string base = path.substr(path.rfind('/') + 1);
  if (base.empty()) return {};
  // Terminal programs name the lock after the path below /dev, '/' written
  // as '_' (LCK..pts_3 for /dev/pts/3); only the last part (LCK..3) was the
  // older way, ours included, and is still looked for.
  std::string below = base;
  static const std::string kDev = "/dev/";
  if (path.compare(0, kDev.size(), kDev) == 0) {
    below = path.substr(kDev.size());
    std::replace(below.begin(), below.end(), '/', '_');
  }
  const std::string folder = SerialLockFolder();
  std::vector<std::string> names{folder + "/LCK.." + below};
  if (below != base) names.push_back(folder + "/LCK.." + base);
  return names;
}

std::string SerialLockFileFor(const std::string &devicePath) {
  const std::vector<std::string> names = SerialLockFileNames(devicePath);
  return names.empty() ? std::string() : names.front();
}
