#include "data/text_file_writer.h"

#include "data/dump_decoder.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

const char TEXT_FILE_HEADER[] =
    "FECHA        HORA     CH1   CH2   CH3   CH4   CH5   CH6   CH7   CH8   CH9   CH10   "
    "CH11  CH12  CH13  CH14  CH15  CH16  ";

namespace {

constexpr char CRLF[] = "\r\n";
constexpr int WrittenColumns = 18;  // date, time, 16 channels

[[noreturn]] void Fail(int osCode) { throw EInOutError(InOutErrorMessage(osCode), osCode); }

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
    tempPath = folder + "/." + base + ".tmp" + std::to_string(gen() % 1000000000u);
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

// Removes the temporary file unless the rename took it over.
class TemporaryGuard {
public:
  TemporaryGuard(int fd, std::string path) : Fd_(fd), Path_(std::move(path)) {}
  ~TemporaryGuard() {
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

}  // namespace

std::string InOutErrorMessage(int osCode) {
  switch (osCode) {
    case ENOENT:
    case ENOTDIR:
      return "Path not found";
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return "File access denied";
    case ENOSPC:
    case EDQUOT:
    case EFBIG:  // over the size the system lets this user write: no room left all the same
      return "Disk full";
    case ENAMETOOLONG:
      return "Invalid file name";
    default:
      return "I/O error " + std::to_string(osCode);
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
  const bool existed = stat(target.c_str(), &old) == 0;
  if (existed && S_ISDIR(old.st_mode)) Fail(EISDIR);
  // A file the user made read-only stays protected: renaming over it would
  // get round what the user meant.
  if (existed && access(target.c_str(), W_OK) != 0) Fail(errno);

  std::string tempPath;
  const int fd = CreateTemporary(target, tempPath);
  TemporaryGuard temp(fd, tempPath);

  // The replacement keeps what the user allowed on the old file.
  if (existed) fchmod(fd, old.st_mode & 07777);
  WriteAll(fd, bytes);
  if (fsync(fd) != 0 && errno != EINVAL) Fail(errno);
  temp.Close();
  if (rename(tempPath.c_str(), target.c_str()) != 0) Fail(errno);
  temp.Release();

  // Makes the rename itself survive a power cut. The new file is already in
  // place whatever this says, so a folder that cannot be synced (some network
  // and FUSE folders refuse) is no reason to report the save as failed.
  const int dir = open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

void SaveTextFile(const std::string &path, const TDataTable &table, int records,
                  const std::vector<int> &columnAtPosition) {
  WriteFileAtomically(path, BuildTextFile(table, records, columnAtPosition));
}
