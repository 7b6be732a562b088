#include "data/text_file_writer.h"

#include "data/dump_decoder.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <random>

const char TEXT_FILE_HEADER[] =
    "FECHA        HORA     CH1   CH2   CH3   CH4   CH5   CH6   CH7   CH8   CH9   CH10   "
    "CH11  CH12  CH13  CH14  CH15  CH16  ";

namespace {

constexpr char CRLF[] = "\r\n";
constexpr int WrittenColumns = 18;  // date, time, 16 channels

[[noreturn]] void Fail(int osCode) { throw EInOutError(InOutErrorMessage(osCode), osCode); }

// Nobody has the FIFO open for reading: ENXIO when we open it, EPIPE when its
// reader goes away half-way. "I/O error 6" or "32" would tell the user nothing.
constexpr char NO_READER[] = "No program is reading the pipe";

// The folder part of a path, "." for a bare name.
std::string FolderOf(const std::string &path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string &path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Replacing a symbolic link by a plain file would cut the user's link; the
// new content goes where the link points instead.
std::string ResolveTarget(const std::string &path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved)) return resolved;
  return path;  // a dangling link: replace the link itself
}

// Opens a fresh file beside the target. Its name starts with a dot so a
// folder listing does not show it in the short moment it lives.
int CreateTemporary(const std::string &target, std::string &tempPath) {
  const std::string folder = FolderOf(target);
  const std::string base = NameOf(target);
  std::random_device seed;
  std::mt19937 gen(seed() ^ static_cast<unsigned>(getpid()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = folder;
    tempPath.append("/.").append(base).append(".tmp").append(std::to_string(gen() % 1000000000u));
    // 0666 less the user's umask, as any new file of the user would get.
    const int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) Fail(errno);
  }
  Fail(EEXIST);
}

void WriteAll(int fd, std::string_view bytes) {
  const char *p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
    }
    if (n == 0) Fail(EIO);
    p += n;
    left -= static_cast<size_t>(n);
  }
}

// Closes the file however the save ends, and removes `path` (the temporary
// file; empty when saving in place) unless the rename took it over.
class OpenFile {
public:
  OpenFile(int fd, std::string path) : Fd_(fd), Path_(std::move(path)) {}
  ~OpenFile() {
    if (Fd_ >= 0) close(Fd_);
    if (!Path_.empty()) unlink(Path_.c_str());
  }
  // Closes now and reports a failed close, which on some file systems is the
  // first word of a failed write.
  void Close() {
    const int fd = Fd_;
    Fd_ = -1;
    if (close(fd) != 0 && errno != EINTR) Fail(errno);
  }
  void Release() { Path_.clear(); }
  int Fd() const { return Fd_; }

private:
  int Fd_;
  std::string Path_;
};

// Makes the rename itself survive a power cut. The new file is already in
// place whatever this says, so a folder that cannot be synced (some network
// and FUSE folders refuse) is no reason to report the save as failed.
void SyncFolder(const std::string &folder) {
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

// A new file is ours, with the mode the umask gives. Before it takes the old
// one's place it gets the old owner and group, then the old permissions (in
// that order: a change of owner clears the set-id bits). False when the owner,
// group or permissions cannot be kept: an ordinary user may not give a file
// away, and the refusal (EPERM) only matters if the ids really differ.
bool TakeOverOwnerAndMode(int fd, const struct stat &old) {
  if (fchown(fd, old.st_uid, old.st_gid) != 0) {
    struct stat now;
    if (fstat(fd, &now) != 0) Fail(errno);
    if (now.st_uid != old.st_uid || now.st_gid != old.st_gid) return false;
  }
  // A replacement left more open than the original (a 0600 file coming back
  // 0644) would be worse than giving up the atomic save.
  return fchmod(fd, old.st_mode & 07777) == 0;
}

// The atomic save. `old` is the file being replaced, null for a new name.
// False, with nothing changed, when the replacement could not be made to
// look like the old file.
bool ReplaceFile(const std::string &target, std::string_view bytes, const struct stat *old) {
  std::string tempPath;
  const int fd = CreateTemporary(target, tempPath);
  OpenFile temp(fd, tempPath);
  if (old && !TakeOverOwnerAndMode(fd, *old)) return false;
  WriteAll(fd, bytes);
  if (fsync(fd) != 0 && errno != EINVAL) Fail(errno);
  temp.Close();
  if (rename(tempPath.c_str(), target.c_str()) != 0) Fail(errno);
  temp.Release();
  SyncFolder(FolderOf(target));
  return true;
}

// A FIFO whose reader leaves half-way answers the next write with SIGPIPE,
// which would end the whole program; held back here, the write fails with
// EPIPE instead and the user is told. A SIGPIPE our writes raised is taken
// off again before the signal mask is restored, so it is never delivered
// late; one that was already waiting is left alone.
class HoldBrokenPipe {
public:
  HoldBrokenPipe() {
    sigemptyset(&Pipe_);
    sigaddset(&Pipe_, SIGPIPE);
    sigset_t pending;
    WasPending_ = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &Pipe_, &Old_);
  }
  ~HoldBrokenPipe() {
    sigset_t pending;
    if (!WasPending_ && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
      const timespec now{0, 0};
      while (sigtimedwait(&Pipe_, nullptr, &now) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &Old_, nullptr);
  }
  HoldBrokenPipe(const HoldBrokenPipe &) = delete;
  HoldBrokenPipe &operator=(const HoldBrokenPipe &) = delete;

private:
  sigset_t Pipe_;
  sigset_t Old_;
  bool WasPending_ = false;
};

// Writes into the existing `target` itself, as a plain save would. `old` says
// what it is.
void WriteInPlace(const std::string &target, std::string_view bytes, const struct stat &old) {
  const bool regular = S_ISREG(old.st_mode);
  // O_NONBLOCK for everything that is not a plain file: a FIFO nobody reads
  // would otherwise keep the open, and the window, waiting for ever (here it
  // fails with ENXIO), and so would a serial line waiting for its carrier.
  // O_NOCTTY: saving to a terminal must not make it ours.
  const int flags = O_WRONLY | O_CLOEXEC | O_NOCTTY | (regular ? O_TRUNC : O_NONBLOCK);
  const int fd = open(target.c_str(), flags);
  if (fd < 0) {
    const int cause = errno;
    if (cause == ENXIO && S_ISFIFO(old.st_mode)) throw EInOutError(NO_READER, cause);
    Fail(cause);
  }
  OpenFile file(fd, std::string());
  // Once open, writes wait for room as they would in any plain save: a FIFO's
  // reader may be slower than we are.
  if (!regular) {
    const int now = fcntl(fd, F_GETFL);
    if (now < 0 || fcntl(fd, F_SETFL, now & ~O_NONBLOCK) != 0) Fail(errno);
  }
  {
    HoldBrokenPipe hold;
    WriteAll(fd, bytes);
  }
  // FIFOs, terminals and most character devices have nothing to sync and say
  // EINVAL; a device on a read-only mount may say EROFS although it took the
  // bytes.
  if (fsync(fd) != 0 && errno != EINVAL && errno != EROFS) Fail(errno);
  file.Close();
}

}  // namespace

std::string InOutErrorMessage(int osCode) {
  switch (osCode) {
    case ENOENT:
    case ENOTDIR: return "Path not found";
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: return "File access denied";
    case ENOSPC:
    case EDQUOT:
    case EFBIG:  // over the size the system lets this user write: no room left all the same
      return "Disk full";
    case ENAMETOOLONG: return "Invalid file name";
    case EPIPE: return NO_READER;
    default: return "I/O error " + std::to_string(osCode);
  }
}

std::string BuildTextFile(const TDataTable &table, int records, const std::vector<int> &columnAtPosition) {
  std::string out;
  const size_t headerLength = sizeof TEXT_FILE_HEADER - 1;
  out.reserve(headerLength + 4 + static_cast<size_t>(records > 0 ? records : 0) * 128);
  out.append(TEXT_FILE_HEADER, headerLength);
  out += CRLF;
  out += CRLF;
  int column[WrittenColumns + 1];
  for (int p = 1; p <= WrittenColumns; ++p)
    column[p] = p < static_cast<int>(columnAtPosition.size()) ? columnAtPosition[p] : p;
  for (int r = 1; r <= records; ++r) {
    for (int p = 1; p <= WrittenColumns; ++p) {
      out += table.Cells(column[p], r);
      out += "  ";
    }
    out += CRLF;
  }
  return out;
}

void WriteFileAtomically(const std::string &path, std::string_view bytes) {
  if (path.empty()) Fail(ENOENT);
  const std::string target = ResolveTarget(path);

  struct stat old;
  if (stat(target.c_str(), &old) != 0) {
    if (errno != ENOENT) Fail(errno);
    ReplaceFile(target, bytes, nullptr);  // a new name: nothing to keep, never refused
    return;
  }
  if (S_ISDIR(old.st_mode)) Fail(EISDIR);
  if (S_ISSOCK(old.st_mode)) throw EInOutError("Cannot write to a socket", ENXIO);
  // A file the user made read-only stays protected: renaming over it would
  // get round what the user meant.
  if (S_ISREG(old.st_mode) && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) Fail(errno);

  // Only an ordinary file with this one name, whose folder lets us put a new
  // file in its place, can be replaced without the user losing anything.
  const bool replaceable = S_ISREG(old.st_mode) && old.st_nlink == 1 &&
                           faccessat(AT_FDCWD, FolderOf(target).c_str(), W_OK | X_OK, AT_EACCESS) == 0;
  if (replaceable && ReplaceFile(target, bytes, &old)) return;
  WriteInPlace(target, bytes, old);
}

void SaveTextFile(const std::string &path, const TDataTable &table, int records,
                  const std::vector<int> &columnAtPosition) {
  WriteFileAtomically(path, BuildTextFile(table, records, columnAtPosition));
}
