// A simulator started by root hands its device to a group, so that the
// group's ordinary users can open it, and nobody else can.

#include "sim/logger_simulator.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Whether an ordinary user (nobody's number) in the supplementary groups
// given can open the device for reading and writing; errno's value else.
int OpenAsOrdinaryUser(const std::string &device, const std::vector<gid_t> &groups) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ::_exit(fd >= 0 ? 0 : errno);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(SimDevice, HandedToAGroupReadAndWriteForIt) {
  const group *own = ::getgrgid(::getegid());
  ASSERT_NE(own, nullptr);
  TSimConfig cfg;
  cfg.DeviceGroup = own->gr_name;
  TLoggerSimulator sim(cfg);
  sim.Start();
  struct stat st {};
  ASSERT_EQ(::stat(sim.SlavePath().c_str(), &st), 0);
  EXPECT_EQ(st.st_gid, ::getegid());
  EXPECT_EQ(st.st_mode & 07777, 0660u);
  sim.Stop();

  if (::geteuid() != 0) GTEST_SKIP() << "only root can hand a device to a group it is not in";
  // A group by number, as a user of it would be: its members open the
  // device, other ordinary users are refused.
  cfg.DeviceGroup = "54321";
  TLoggerSimulator rootSim(cfg);
  rootSim.Start();
  ASSERT_EQ(::stat(rootSim.SlavePath().c_str(), &st), 0);
  EXPECT_EQ(st.st_gid, 54321u);
  EXPECT_EQ(OpenAsOrdinaryUser(rootSim.SlavePath(), {54321}), 0);
  EXPECT_EQ(OpenAsOrdinaryUser(rootSim.SlavePath(), {}), EACCES);
}

TEST(SimDevice, AnUnknownGroupIsRefusedBeforeAnythingIsMade) {
  TSimConfig cfg;
  cfg.DeviceGroup = "no-such-group-talvex";
  cfg.LinkPath = "/tmp/talvex-sim-group-test-link";
  TLoggerSimulator sim(cfg);
  try {
    sim.Start();
    FAIL() << "started with a group that does not exist";
  } catch (const ESimulator &e) {
    EXPECT_NE(std::string(e.what()).find("No existe el grupo no-such-group-talvex"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(sim.Running());
  struct stat st {};
  EXPECT_NE(::lstat(cfg.LinkPath.c_str(), &st), 0) << "a link was left";
}
