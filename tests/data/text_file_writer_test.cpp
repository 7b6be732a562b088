#include "data/text_file_writer.h"
#include "data/dump_decoder.h"
#include "dump_samples.h"

#include "common/test_files.h"
#include "runtime/format_settings.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

using namespace dump_samples;

namespace {

void PutFile(const std::string &path, const std::string &bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::vector<std::string> FolderEntries(const std::string &folder) {
  std::vector<std::string> names;
  if (DIR *d = opendir(folder.c_str())) {
    while (dirent *e = readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A fresh folder per test, removed afterwards.
class TempFolder : public ::testing::Test {
protected:
  void SetUp() override {
    ApplyProgramFormats();
    char tmpl[] = "/tmp/talvex-save-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    folder = tmpl;
  }
  void TearDown() override { std::system(("rm -rf '" + folder + "'").c_str()); }
  std::string folder;
};

// A decoded table of `records` records, all values 25,0 on 15/03/2004 from
// 10:35:00 on.
TDataTable Table(int records) {
  ApplyProgramFormats();
  static std::string dump;
  std::vector<std::string> recs(records + 1, Record("002238", "002238"));
  dump = Dump(Header(4, 3, 15, 0, 30, 10, 2), recs);
  TDataTable t(DataColumns, records + 1);
  TDumpHeader h;
  DOSCANALESLM35(SplitDumpLines(dump), t, h);
  return t;
}

std::vector<std::string> SplitCrLf(const std::string &bytes) {
  std::vector<std::string> lines;
  size_t start = 0, at;
  while ((at = bytes.find("\r\n", start)) != std::string::npos) {
    lines.push_back(bytes.substr(start, at - start));
    start = at + 2;
  }
  EXPECT_EQ(start, bytes.size()) << "every line, the last included, ends in CR LF";
  return lines;
}

TEST(TextFile, HeaderIsExactly119Characters) {
  const std::string header = TEXT_FILE_HEADER;
  EXPECT_EQ(header.size(), 119u);
  EXPECT_EQ(header.substr(0, 22), "FECHA        HORA     ");
  // CH10 is one blank wider than its neighbours; everything after it sits
  // one column further right.
  EXPECT_EQ(header.find("CH10"), 22u + 9 * 6);
  EXPECT_EQ(header.find("CH11"), 22u + 9 * 6 + 7);
  EXPECT_EQ(header.substr(113), "CH16  ");
}

TEST(TextFile, EmptyTableGivesHeaderAndEmptyLine) {
  const TDataTable t = Table(0);
  for (int records : {0, -1, -2}) {
    EXPECT_EQ(BuildTextFile(t, records), std::string(TEXT_FILE_HEADER) + "\r\n\r\n") << records;
  }
}

TEST(TextFile, RecordLinesCarryEveryFieldWithTwoBlanks) {
  const auto lines = SplitCrLf(BuildTextFile(Table(3), 3));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], TEXT_FILE_HEADER);
  EXPECT_EQ(lines[1], "");
  std::string expected = "15/03/2004  10:35:00  ";
  for (int k = 0; k < 16; ++k) expected += "25,0  ";
  EXPECT_EQ(lines[2], expected);
  EXPECT_EQ(lines[2].size(), 118u);
  EXPECT_EQ(lines[4].substr(0, 22), "15/03/2004  10:45:00  ");
}

TEST(TextFile, FieldsAreWrittenAsTheyStandWithoutAlignment) {
  TDataTable t = Table(1);
  t.SetCells(3, 1, "-10,0");
  t.SetCells(4, 1, "0,0");
  t.SetCells(0, 1, "999");  // the running number is never written
  const auto lines = SplitCrLf(BuildTextFile(t, 1));
  EXPECT_EQ(lines[2].substr(0, 35), "15/03/2004  10:35:00  -10,0  0,0  2");
  EXPECT_EQ(lines[2].find("999"), std::string::npos);
}

TEST(TextFile, DraggedColumnsAreWrittenInTheirShownPlace) {
  TDataTable t = Table(1);
  t.SetCells(3, 1, "1,0");
  t.SetCells(18, 1, "16,0");
  // Position 1 shows channel 1, position 3 the date: as if the user dragged
  // the CH1 column to the front.
  std::vector<int> order(DataColumns);
  for (int p = 0; p < DataColumns; ++p) order[p] = p;
  order[1] = 3;
  order[2] = 1;
  order[3] = 2;
  const auto lines = SplitCrLf(BuildTextFile(t, 1, order));
  EXPECT_EQ(lines[2].substr(0, 28), "1,0  15/03/2004  10:35:00  2");
  EXPECT_EQ(lines[2].substr(lines[2].size() - 6), "16,0  ");
}

TEST(TextFile, MessagesNameTheCause) {
  EXPECT_EQ(InOutErrorMessage(EACCES), "File access denied");
  EXPECT_EQ(InOutErrorMessage(ENOSPC), "Disk full");
  EXPECT_EQ(InOutErrorMessage(ENOENT), "Path not found");
  EXPECT_EQ(InOutErrorMessage(EIO), "I/O error 5");
  EXPECT_EQ(InOutErrorMessage(EPIPE), "No program is reading the pipe");
}

TEST_F(TempFolder, SaveWritesTheBytesAndLeavesNothingElse) {
  const std::string path = folder + "/datos.txt";
  const TDataTable t = Table(20);
  SaveTextFile(path, t, 20);
  EXPECT_EQ(ReadFile(path), BuildTextFile(t, 20));
  EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"datos.txt"});
}

TEST_F(TempFolder, ReplacingKeepsNoTailOfTheLongerOldFile) {
  const std::string path = folder + "/datos.txt";
  PutFile(path, std::string(100000, 'x'));
  chmod(path.c_str(), 0640);
  WriteFileAtomically(path, "short\r\n");
  EXPECT_EQ(ReadFile(path), "short\r\n");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u) << "the user's permissions stay";
}

TEST_F(TempFolder, SymbolicLinkKeepsPointingAtItsTarget) {
  const std::string target = folder + "/real.txt";
  const std::string link = folder + "/link.txt";
  PutFile(target, "old");
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  WriteFileAtomically(link, "new");
  struct stat st;
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFile(target), "new");
}

TEST_F(TempFolder, MissingFolderAndFolderTargetFail) {
  try {
    WriteFileAtomically(folder + "/nope/datos.txt", "x");
    ADD_FAILURE() << "no failure";
  } catch (const EInOutError &e) {
    EXPECT_EQ(e.Message(), "Path not found");
  }
  try {
    WriteFileAtomically(folder, "x");
    ADD_FAILURE() << "no failure";
  } catch (const EInOutError &e) {
    EXPECT_EQ(e.Message(), "File access denied");
  }
}

// The file size limit makes the write fail half-way like a full disk; with
// SIGXFSZ ignored the write returns EFBIG instead of killing the process.
class SizeLimit {
public:
  explicit SizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &Old_);
    OldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim = Old_;
    lim.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lim);
  }
  ~SizeLimit() {
    setrlimit(RLIMIT_FSIZE, &Old_);
    std::signal(SIGXFSZ, OldHandler_);
  }

private:
  rlimit Old_;
  void (*OldHandler_)(int);
};

TEST_F(TempFolder, FailedWriteLeavesTheOldFileExactlyAsItWas) {
  const std::string path = folder + "/datos.txt";
  const std::string old = BuildTextFile(Table(5), 5);
  PutFile(path, old);
  const TDataTable big = Table(200);
  std::string message;
  {
    SizeLimit limit(4096);
    try {
      SaveTextFile(path, big, 200);
    } catch (const EInOutError &e) {
      message = e.Message();
    }
  }
  EXPECT_EQ(message, "Disk full");
  EXPECT_EQ(ReadFile(path), old);
  EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"datos.txt"}) << "no temporary file left";
  // And the same save goes through once there is room.
  SaveTextFile(path, big, 200);
  EXPECT_EQ(ReadFile(path), BuildTextFile(big, 200));
}

// Bigger than a pipe holds, so a save into a FIFO has to wait for its reader.
const std::string &Payload() {
  static const std::string bytes = [] {
    std::string b;
    for (int i = 0; b.size() < 256 * 1024; ++i) b += "linea " + std::to_string(i) + "\r\n";
    return b;
  }();
  return bytes;
}

// The far end of a FIFO. It is opened before the save without waiting for a
// writer, then a thread reads until the writer closes, or walks away after
// `leaveAfter` bytes. Until a writer has come and gone, poll() does not call
// the FIFO hung up, so the thread simply waits for the save; Finish() wakes a
// thread whose save never opened the FIFO.
class FifoReader {
public:
  explicit FifoReader(const std::string &path, size_t leaveAfter = SIZE_MAX) {
    Fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_GE(Fd_, 0);
    EXPECT_EQ(pipe2(Stop_, O_CLOEXEC), 0);
    Thread_ = std::thread([this, leaveAfter] { Read(leaveAfter); });
  }
  ~FifoReader() { Finish(); }
  // What arrived. Called once the save is over, when all it wrote is in the
  // FIFO already.
  std::string Finish() {
    if (Thread_.joinable()) {
      EXPECT_EQ(write(Stop_[1], "", 1), 1);
      Thread_.join();
      close(Stop_[0]);
      close(Stop_[1]);
    }
    return Received_;
  }

private:
  void Read(size_t leaveAfter) {
    char buffer[4096];
    pollfd ready[2] = {{Fd_, POLLIN, 0}, {Stop_[0], POLLIN, 0}};
    while (Fd_ >= 0 && Received_.size() < leaveAfter) {
      if (poll(ready, 2, -1) < 0 && errno != EINTR) break;
      const ssize_t n = read(Fd_, buffer, std::min(sizeof buffer, leaveAfter - Received_.size()));
      if (n > 0) {
        Received_.append(buffer, static_cast<size_t>(n));
        continue;
      }
      if (n == 0 || ready[1].revents != 0 || (errno != EAGAIN && errno != EINTR)) break;
    }
    if (Fd_ >= 0) close(Fd_);
  }

  int Fd_ = -1;
  int Stop_[2] = {-1, -1};
  std::string Received_;
  std::thread Thread_;
};

// Sets or clears the immutable flag of a folder: the one way to keep root
// from adding or renaming files in it.
bool SetImmutable(const std::string &folder, bool on) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  close(fd);
  return ok;
}

// What one case builds in its folder.
struct Scene {
  std::string folder;
  std::string skip;            // why the case cannot run here
  std::function<void()> undo;  // lifts what would keep the folder from being removed
  std::unique_ptr<FifoReader> reader;
};

// A FIFO with a reader that takes up to `readerTakes` bytes; 0: no reader.
std::string MakeFifo(Scene &s, size_t readerTakes) {
  std::string path = s.folder + "/tubo";
  EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
  if (readerTakes > 0) s.reader = std::make_unique<FifoReader>(path, readerTakes);
  return path;
}

enum class Way { Replaced, InPlace };

struct SaveCase {
  const char *name;
  std::string (*make)(Scene &);  // returns the name the user picks
  Way way;
  const char *message;  // "" for a save that goes through
  void (*check)(const Scene &) = nullptr;
};

const SaveCase kSaveCases[] = {
    {"OrdinaryFileIsReplacedKeepingItsMode",
     [](Scene &s) {
       std::string path = s.folder + "/datos.txt";
       PutFile(path, "old");
       EXPECT_EQ(chmod(path.c_str(), 0640), 0);
       return path;
     },
     Way::Replaced, ""},
    {"ReplacedFileKeepsAnotherUsersOwnership",
     [](Scene &s) {
       std::string path = s.folder + "/datos.txt";
       PutFile(path, "old");
       if (geteuid() != 0 || chown(path.c_str(), 4321, 4321) != 0)
         s.skip = "only root can give a file to another user to begin with";
       return path;
     },
     Way::Replaced, ""},
    {"HardLinkIsWrittenInPlaceUnderBothNames",
     [](Scene &s) {
       std::string path = s.folder + "/datos.txt";
       PutFile(path, "old");
       EXPECT_EQ(link(path.c_str(), (s.folder + "/otro.txt").c_str()), 0);
       return path;
     },
     Way::InPlace, "",
     // Split from it, the other name would still hold the old bytes.
     [](const Scene &s) { EXPECT_EQ(ReadFile(s.folder + "/otro.txt"), Payload()); }},
    {"FileInAFolderWeMayNotWriteIsWrittenInPlace",
     [](Scene &s) {
       std::string path = s.folder + "/datos.txt";
       PutFile(path, "old");
       if (geteuid() == 0) {
         // Root writes in a mode 555 folder all the same.
         if (!SetImmutable(s.folder, true)) s.skip = "running as root, and this file system has no immutable flag";
         s.undo = [folder = s.folder] { SetImmutable(folder, false); };
       } else {
         EXPECT_EQ(chmod(s.folder.c_str(), 0555), 0);
         s.undo = [folder = s.folder] { chmod(folder.c_str(), 0700); };
       }
       return path;
     },
     Way::InPlace, ""},
    {"FifoWithAReaderGetsTheBytes", [](Scene &s) { return MakeFifo(s, SIZE_MAX); }, Way::InPlace, ""},
    {"FifoWithNobodyReadingFailsAtOnce", [](Scene &s) { return MakeFifo(s, 0); }, Way::InPlace,
     "No program is reading the pipe"},
    {"FifoWhoseReaderLeavesFailsWithoutEndingTheProgram", [](Scene &s) { return MakeFifo(s, 4096); }, Way::InPlace,
     "No program is reading the pipe"},
    {"FullDeviceBehindALinkSaysDiskFull",
     [](Scene &s) {
       // Root gets a node of its own with the numbers of /dev/full: a save
       // that goes wrong could otherwise replace the system's device.
       std::string device = "/dev/full";
       if (geteuid() == 0) {
         device = s.folder + "/full";
         if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
           s.skip = "running as root, and this folder cannot hold a device node";
       } else if (access(device.c_str(), W_OK) != 0) {
         s.skip = "no writable /dev/full here";
       }
       std::string path = s.folder + "/lleno";
       EXPECT_EQ(symlink(device.c_str(), path.c_str()), 0);
       return path;
     },
     Way::InPlace, "Disk full"},
    {"SocketIsRefused",
     [](Scene &s) {
       std::string path = s.folder + "/enchufe";
       sockaddr_un address{};
       address.sun_family = AF_UNIX;
       path.copy(address.sun_path, sizeof address.sun_path - 1);
       const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
       EXPECT_EQ(bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
       close(fd);
       return path;
     },
     Way::InPlace, "Cannot write to a socket"},
};

void PrintTo(const SaveCase &c, std::ostream *out) { *out << c.name; }

class SaveTo : public TempFolder, public ::testing::WithParamInterface<SaveCase> {
protected:
  void TearDown() override {
    if (scene.undo) scene.undo();
    scene.reader.reset();
    TempFolder::TearDown();
  }
  Scene scene;
};

// Whatever the target, the save must leave the name the same kind of thing
// with the same owner, group and permissions, and no stray file beside it;
// only an ordinary file with one name may become a new file.
TEST_P(SaveTo, KeepsWhatTheTargetIs) {
  const SaveCase &c = GetParam();
  scene.folder = folder;
  const std::string path = c.make(scene);
  if (!scene.skip.empty()) GTEST_SKIP() << scene.skip;
  struct stat name, before;
  ASSERT_EQ(lstat(path.c_str(), &name), 0);
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  const auto entries = FolderEntries(folder);

  std::string message;
  try {
    WriteFileAtomically(path, Payload());
  } catch (const EInOutError &e) {
    message = e.Message();
  }
  // Reading back a FIFO nobody writes would wait for ever, a full device never ends.
  const bool holdsBytes = S_ISREG(before.st_mode) || scene.reader;
  const std::string received = scene.reader ? scene.reader->Finish() : holdsBytes ? ReadFile(path) : "";

  EXPECT_EQ(message, c.message);
  struct stat nameAfter, after;
  ASSERT_EQ(lstat(path.c_str(), &nameAfter), 0);
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(nameAfter.st_mode & S_IFMT, name.st_mode & S_IFMT) << "the name the user picked changed kind";
  EXPECT_EQ(after.st_mode, before.st_mode) << "kind or permissions of the target";
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_EQ(after.st_rdev, before.st_rdev);
  if (c.way == Way::InPlace) {
    EXPECT_EQ(after.st_ino, before.st_ino) << "written in place";
  } else {
    EXPECT_NE(after.st_ino, before.st_ino) << "replaced by a new file";
  }
  EXPECT_EQ(FolderEntries(folder), entries);
  if (message.empty() && holdsBytes) {
    EXPECT_EQ(received, Payload());
  }
  if (c.check) c.check(scene);
}

INSTANTIATE_TEST_SUITE_P(Targets, SaveTo, ::testing::ValuesIn(kSaveCases),
                         [](const ::testing::TestParamInfo<SaveCase> &info) { return info.param.name; });

// An ordinary user saving over a file of someone else's, in a folder open to
// all: a new file could only be the user's, so the save goes in place and the
// file stays its owner's.
TEST_F(TempFolder, SomeoneElsesFileStaysTheirsWhenAnOrdinaryUserSaves) {
  if (geteuid() != 0) GTEST_SKIP() << "making a file of another user to save over needs root";
  const std::string path = folder + "/datos.txt";
  PutFile(path, "old");
  chmod(path.c_str(), 0666);
  chmod(folder.c_str(), 0777);
  struct stat before;
  ASSERT_EQ(stat(path.c_str(), &before), 0);

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    try {
      WriteFileAtomically(path, "new\r\n");
    } catch (const EInOutError &) {
      _exit(1);
    }
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_NE(WEXITSTATUS(status), 2) << "could not become an ordinary user";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the save failed";

  struct stat after;
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(ReadFile(path), "new\r\n");
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"datos.txt"});
}

}  // namespace
