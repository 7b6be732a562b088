// Serial lock files on POSIX.
//
// Terminal programs (minicom, picocom, cu and the like) keep each other off a
// port with a lock file in the system's lock folder: LCK.. and the device's
// name, holding the holder's process id as ten characters, right-aligned,
// and a line feed. TIOCEXCL alone keeps out only programs that open the port
// after us, and nothing that runs as root; a terminal program that has the
// port open already would be overridden. So we look for their lock first,
// before the device is even opened (an open raises the modem lines under the
// other program), and leave ours for them.

#include "serial/serial_port_posix_device.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

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

}  // namespace

namespace serial_posix {

// Takes the device's lock file: its path, or empty when there is no lock to
// be had without refusing the port (see below). Raises ESerialPortInUse when
// a live process holds it.
std::string TakeLockFile(const std::string &devicePath) {
  std::string lockFile = SerialLockFileFor(devicePath);
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

}  // namespace serial_posix

std::string SerialLockFolder() {
  std::string chosen = ChosenSerialLockFolder();
  if (!chosen.empty()) return chosen;
  return IsFolder("/run/lock") ? "/run/lock" : "/var/lock";
}

std::string SerialLockFileFor(const std::string &devicePath) {
  char resolved[PATH_MAX];
  if (devicePath.empty() || ::realpath(devicePath.c_str(), resolved) == nullptr) return {};
  const char *slash = std::strrchr(resolved, '/');
  const std::string name = slash ? slash + 1 : resolved;
  if (name.empty()) return {};
  return SerialLockFolder() + "/LCK.." + name;
}
