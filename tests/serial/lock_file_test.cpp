// The port and the system's serial lock files: a port that a terminal
// program has locked is refused with that program's process id, a lock left
// by a process that is gone is taken over, and ours goes when the port
// closes.

#include "serial/serial_device.h"
#include "serial/serial_port.h"

#include "common/test_files.h"
#include "pty_peer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string UucpContent(long pid) {
  char text[16];
  std::snprintf(text, sizeof text, "%10ld\n", pid);
  return text;
}

// The older UUCP form: the process id as 4 binary bytes.
std::string BinaryContent(std::int32_t pid) { return std::string(reinterpret_cast<const char *>(&pid), sizeof pid); }

void WriteFile(const std::string &path, const std::string &content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

bool Exists(const std::string &path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// A process that is alive until the test ends it.
class SleepingChild {
public:
  SleepingChild() {
    pid_ = ::fork();
    if (pid_ == 0) {
      for (;;) ::pause();
    }
  }
  ~SleepingChild() { End(); }
  pid_t Pid() const { return pid_; }
  void End() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

private:
  pid_t pid_ = -1;
};

// The id of a process that has come and gone.
pid_t GonePid() {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(0);
  ::waitpid(pid, nullptr, 0);
  return pid;
}

class SerialLockFile : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(peer.Ok());
    if (::access(SerialLockFolder().c_str(), W_OK) != 0)
      GTEST_SKIP() << SerialLockFolder() << " is not writable here: the port opens without a lock";
    lockFile = SerialLockFileFor(peer.Path());
    ASSERT_FALSE(lockFile.empty());
    // The name of the last part alone, as older programs (ours too) wrote it.
    oldLockFile = SerialLockFolder() + "/LCK.." + peer.Path().substr(peer.Path().rfind('/') + 1);
    ::unlink(lockFile.c_str());  // from an earlier run that was killed
    ::unlink(oldLockFile.c_str());
    port.SetPort(peer.Path());
    port.SetEvents({});
  }
  void TearDown() override {
    port.Close();
    if (!lockFile.empty()) ::unlink(lockFile.c_str());
    if (!oldLockFile.empty()) ::unlink(oldLockFile.c_str());
  }

  // The pid of the ESerialPortInUse that Open raised; -1 when it opened or
  // raised something else.
  int RefusedBy() {
    try {
      port.Open();
    } catch (const ESerialPortInUse &e) {
      EXPECT_EQ(e.Code(), ecOpenFailed);
      EXPECT_EQ(e.OsCode(), EBUSY);
      return e.HolderPid();
    } catch (const ESerialPort &e) {
      ADD_FAILURE() << e.Message();
    }
    return -1;
  }

  PtyPeer peer;
  TSerialPort port;
  std::string lockFile, oldLockFile;
};

}  // namespace

TEST_F(SerialLockFile, APortLockedByALiveProcessIsRefusedNamingIt) {
  SleepingChild holder;
  ASSERT_GT(holder.Pid(), 0);
  WriteFile(lockFile, UucpContent(holder.Pid()));
  try {
    port.Open();
    FAIL() << "opened a port another program holds";
  } catch (const ESerialPort &e) {
    EXPECT_EQ(e.Code(), ecOpenFailed);
    EXPECT_EQ(e.OsCode(), EBUSY);
    EXPECT_NE(e.Message().find(std::to_string(holder.Pid())), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(ReadFile(lockFile), UucpContent(holder.Pid())) << "the holder's lock was touched";

  // Once its holder is gone, the lock is stale and the port ours.
  holder.End();
  port.Open();
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(ReadFile(lockFile), UucpContent(::getpid()));
}

TEST_F(SerialLockFile, AStaleLockIsTakenOver) {
  const struct {
    const char *what;
    std::string content;
  } cases[] = {
      {"a process that is gone", UucpContent(GonePid())},
      {"a process that is gone, in binary", BinaryContent(GonePid())},
      {"no number", "ttyS0 locked\n"},
      {"nothing at all", ""},
      {"process id 0", UucpContent(0)},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(lockFile, c.content);
    port.Open();
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(ReadFile(lockFile), UucpContent(::getpid()));
    port.Close();
    EXPECT_FALSE(Exists(lockFile));
  }
}

// Through a link, as the simulator's /dev/ttyV0 or a null-modem pair: the
// lock names the device the link leads to, so every program agrees on it.
TEST_F(SerialLockFile, OurLockNamesTheDeviceAndGoesAtClose) {
  char folder[] = "/tmp/talvex-link-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string link = std::string(folder) + "/ttyV0";
  ASSERT_EQ(::symlink(peer.Path().c_str(), link.c_str()), 0);
  // As terminal programs name it: the path below /dev, '/' as '_'.
  std::string name = peer.Path().substr(std::string("/dev/").size());
  std::replace(name.begin(), name.end(), '/', '_');
  EXPECT_EQ(name.compare(0, 4, "pts_"), 0) << name;
  EXPECT_EQ(SerialLockFileFor(link), SerialLockFolder() + "/LCK.." + name);

  port.SetPort(link);
  port.Open();
  ASSERT_TRUE(port.Connected());
  struct stat st {};
  ASSERT_EQ(::lstat(lockFile.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_EQ(ReadFile(lockFile), UucpContent(::getpid()));

  // A second opener in this same program meets our lock.
  TSerialPort other;
  other.SetPort(peer.Path());
  other.SetEvents({});
  try {
    other.Open();
    FAIL();
  } catch (const ESerialPort &e) {
    EXPECT_EQ(e.OsCode(), EBUSY);
  }
  EXPECT_TRUE(Exists(lockFile)) << "the refused opener took our lock away";

  port.Close();
  EXPECT_FALSE(Exists(lockFile));
  ::unlink(link.c_str());
  ::rmdir(folder);
}

TEST_F(SerialLockFile, ALiveHoldersLockCountsUnderEitherNameAndInEitherForm) {
  SleepingChild holder;
  ASSERT_GT(holder.Pid(), 0);
  const struct {
    const char *what;
    std::string file, content;
  } cases[] = {
      {"our name, binary", lockFile, BinaryContent(holder.Pid())},
      {"the older name, text", oldLockFile, UucpContent(holder.Pid())},
      {"the older name, binary", oldLockFile, BinaryContent(holder.Pid())},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(c.file, c.content);
    EXPECT_EQ(RefusedBy(), holder.Pid());
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(ReadFile(c.file), c.content) << "the holder's lock was touched";
    if (c.file != lockFile) {
      EXPECT_FALSE(Exists(lockFile)) << "ours was left behind";
    }
    ::unlink(c.file.c_str());
  }
  // Gone, the older name's lock is stale: the port opens, and that file is
  // not ours to take.
  WriteFile(oldLockFile, UucpContent(holder.Pid()));
  holder.End();
  port.Open();
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(ReadFile(lockFile), UucpContent(::getpid()));
}

TEST_F(SerialLockFile, ALockWeCannotReadIsHeld) {
  for (const std::string &file : {lockFile, oldLockFile}) {
    SCOPED_TRACE(file);
    // Mode 0 keeps everybody but root out; a folder in its place cannot be
    // read by anybody.
    const bool root = ::geteuid() == 0;
    if (root) {
      ASSERT_EQ(::mkdir(file.c_str(), 0755), 0);
    } else {
      WriteFile(file, UucpContent(::getpid()));
      ASSERT_EQ(::chmod(file.c_str(), 0), 0);
    }
    EXPECT_EQ(RefusedBy(), 0);
    EXPECT_FALSE(port.Connected());
    EXPECT_TRUE(Exists(file));
    if (file != lockFile) {
      EXPECT_FALSE(Exists(lockFile)) << "ours was left behind";
    }
    if (root) ::rmdir(file.c_str());
    else ::unlink(file.c_str());
  }
}

// Terminal programs open the port without a lock when they cannot make one;
// refusing would leave a user outside the lock group without a logger.
TEST_F(SerialLockFile, AFolderWeCannotWriteOpensWithoutALock) {
  SetSerialLockFolder("/nonexistent-lock-folder");
  const std::shared_ptr<TSerialDevice> device = OpenSerialDevice(peer.Path());
  EXPECT_TRUE(device->LockFile().empty());
  EXPECT_FALSE(Exists(lockFile));
  SetSerialLockFolder("");
  EXPECT_EQ(SerialLockFileFor(peer.Path()), lockFile);
}

namespace {

std::string g_exitLockFile;

// Registered before the port opens, so it runs after the port's own exit
// step.
void CheckTheLockWasReleased() { ::_exit(Exists(g_exitLockFile) ? 3 : 0); }

void ExitWithThePortOpen() {
  ::alarm(20);
  PtyPeer peer;
  g_exitLockFile = SerialLockFileFor(peer.Path());
  if (g_exitLockFile.empty()) ::_exit(5);
  std::atexit(CheckTheLockWasReleased);
  auto *port = new TSerialPort;  // never destroyed, like the program's at exit()
  port->SetPort(peer.Path());
  port->Open();
  if (!Exists(g_exitLockFile)) ::_exit(4);
  std::exit(1);
}

}  // namespace

TEST(SerialLockFileAtExit, AProcessEndingWithThePortOpenLeavesNoLock) {
  if (::access(SerialLockFolder().c_str(), W_OK) != 0) GTEST_SKIP() << "no lock to leave";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(ExitWithThePortOpen(), ::testing::ExitedWithCode(0), "");
}
